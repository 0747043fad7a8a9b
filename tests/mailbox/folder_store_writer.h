#pragma once

// Writes small ESE stores with the tables the folder hierarchy reads: "Mailbox", "Folders" and
// "Folders-<n>", holding the columns "Q6764", "Q6748", "Q6749" (8-byte identifiers), "S3001",
// "S3613", "S6707", "S6773" (text) and "L3602". Each table starts with a column "Id", so that no
// read column sits at position 0 (which the directory takes for "absent").

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarvex::testing {

// An identifier column's value: a number stored big-endian in a Binary column, a number in a
// Currency column (stored little-endian), or bytes stored as they are with the compressed flag.
struct IdValue {
  enum class Form { kBinary, kCurrency, kFlaggedBytes };
  Form form = Form::kBinary;
  std::uint64_t number = 0;
  std::vector<std::uint8_t> bytes;
};
IdValue Id(std::uint64_t number);
IdValue CurrencyId(std::uint64_t number);
// Bytes the readers take as they are (the value is flagged compressed): "0" gives the text 0.
IdValue FlaggedId(std::string_view text);

struct MailboxRowShape {
  std::optional<IdValue> number;
  std::optional<std::u16string> display_name;
  std::optional<std::u16string> owner;
};

struct FolderRowShape {
  std::optional<IdValue> folder_id;
  std::optional<IdValue> parent_id;
  std::optional<IdValue> mailbox_number;
  std::optional<std::u16string> display_name;
  std::optional<std::u16string> container_class;
  std::optional<std::u16string> url_path;
};

struct FolderTableShape {
  std::u16string name;
  std::vector<FolderRowShape> rows;
  // Leaves out a column, as a damaged or foreign table might.
  std::vector<std::u16string> missing_columns;
};

struct FolderStoreShape {
  std::uint32_t format_revision = 14;  // 16 or less: the older layout; 17 or more: 2010
  bool private_store = true;           // writes the "Mailbox" table
  std::vector<MailboxRowShape> mailboxes;
  std::vector<FolderTableShape> folder_tables;  // in catalogue order
};

// Throws on a writer error (the test then fails).
void WriteFolderStore(const std::filesystem::path& path, const FolderStoreShape& shape);

}  // namespace tarvex::testing
