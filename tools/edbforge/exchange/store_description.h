#pragma once

// What an Exchange store holds, described by its column tag names and values: mailboxes, their
// folder trees, the items of each folder and the items' attachments. Tests build these in code;
// the JSON scenarios of edbforge read into the same structures.
//
//   StoreDescription store;
//   store.layout = StoreLayout::kOlder;
//   MailboxDescription& mailbox = store.AddMailbox(u"Alice", u"/o=Org/cn=alice");
//   FolderDescription& inbox = mailbox.AddFolder(u"Inbox", u"IPF.Note");
//   inbox.AddItem(u"IPM.Note").Set(u"Se1d", Text(u"Hello")).Set(u"Te06", Time(ticks));
//   BuildStore(store, "out.edb");

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/edbforge/ese/schema.h"
#include "tools/edbforge/ese/value.h"
#include "tools/edbforge/exchange/identifier.h"

namespace tarvex::edbforge {

enum class StoreLayout { kOlder, k2010 };
enum class StoreKind { kPrivate, kPublic };

enum class CellKind { kText, kBytes, kInteger, kBoolean, kTime, kIdentifier };

enum class Compression {
  kNone,
  kSevenBit,         // the engine's 7-bit packing
  kLzxpress,         // the engine's LZXPRESS
  kRtf,              // text turned into a compressed RTF stream ("LZFu")
  kRtfUncompressed,  // text wrapped as an uncompressed RTF stream ("MELA")
};

struct CellValue {
  CellKind kind = CellKind::kText;
  std::u16string text;         // kText
  std::vector<uint8_t> bytes;  // kBytes
  int64_t integer = 0;         // kInteger
  bool boolean = false;        // kBoolean
  uint64_t time = 0;           // kTime: FILETIME ticks
  Identifier id;               // kIdentifier
  Compression compression = Compression::kNone;
  LongValuePlacement placement = LongValuePlacement::kAutomatic;
};

CellValue Text(std::u16string text, Compression compression = Compression::kNone);
CellValue Bytes(std::vector<uint8_t> bytes);
CellValue Integer(int64_t value);
CellValue Flag(bool value);
CellValue Time(uint64_t filetime);
CellValue Id(Identifier id);

// A column of a row: one value, or several for a multi-valued column.
struct Cell {
  std::u16string column;
  std::vector<CellValue> values;
};

class Cells {
 public:
  // Adds the column (a second Set of the same column is a duplicate, which the builder refuses).
  Cells& Set(std::u16string column, CellValue value);
  Cells& SetMulti(std::u16string column, std::vector<CellValue> values);
  const Cell* Find(std::u16string_view column) const;
  bool Has(std::u16string_view column) const { return Find(column) != nullptr; }

  std::vector<Cell>& cells() { return cells_; }
  const std::vector<Cell>& cells() const { return cells_; }

 private:
  std::vector<Cell> cells_;
};

struct AttachmentDescription {
  std::u16string name;        // "S3001"; empty leaves the column out
  std::vector<uint8_t> data;  // "N3701"
  std::optional<Identifier> id;
  Cells cells;
};

// How an item's rows stand in the file: live in their tables' trees, flagged deleted on their
// pages (the engine's state until cleanup), or only on leaf pages released to free space.
enum class ItemState { kLive, kDeleted, kReleased };

struct ItemDescription {
  std::u16string message_class;  // "S1a"
  std::optional<Identifier> id;  // "N67b0"; numbered by the builder when absent
  Cells cells;
  ItemState state = ItemState::kLive;
  // An older copy of the item's rows, with these cells in place of the item's own (only cells
  // the item sets), left on a released page under the same keys.
  std::optional<Cells> earlier_cells;
  std::vector<AttachmentDescription> attachments;

  ItemDescription& Set(std::u16string column, CellValue value) {
    cells.Set(std::move(column), std::move(value));
    return *this;
  }
  AttachmentDescription& AddAttachment(std::u16string name, std::vector<uint8_t> data);
};

struct FolderDescription {
  std::u16string name;             // "S3001"
  std::u16string container_class;  // "S3613"; empty leaves the column out
  std::optional<Identifier> id;    // "Q6748"; numbered by the builder when absent
  Cells cells;
  std::vector<ItemDescription> items;
  std::vector<FolderDescription> folders;

  FolderDescription& AddFolder(std::u16string folder_name, std::u16string folder_class = u"");
  ItemDescription& AddItem(std::u16string item_class);
};

struct MailboxDescription {
  std::u16string name;           // "S3001"
  std::u16string owner;          // "S6773"
  std::optional<Identifier> id;  // "Q6764"
  // 2010 layout: the suffix of the mailbox's "Folders-", "MsgHeader-" and "Body-" tables.
  std::u16string table_suffix;
  Cells cells;
  std::vector<FolderDescription> folders;  // below the mailbox's root folder

  FolderDescription& AddFolder(std::u16string folder_name, std::u16string folder_class = u"");
};

// How a column is declared; without an entry the column's prefix decides (README).
struct ColumnDeclaration {
  ColumnType type = ColumnType::kBinary;
  ColumnStorage storage = ColumnStorage::kTagged;
  uint32_t code_page = kCodePageUnicode;
  uint32_t fixed_size = 8;  // fixed Binary and Text columns
};

struct StoreDescription {
  StoreLayout layout = StoreLayout::kOlder;
  StoreKind kind = StoreKind::kPrivate;
  uint32_t format_revision = 12;
  uint32_t page_size = 4096;
  // Long values laid out for libesedb instead of as the engine does (DatabaseOptions).
  bool libesedb_long_value_layout = false;
  // Older layout: the table carrying the attachment callback, and the content tables' template.
  std::u16string attachment_table = u"Attachment";
  std::u16string template_table = u"FolderTemplate";
  std::map<std::u16string, ColumnDeclaration> columns;
  std::vector<MailboxDescription> mailboxes;  // private store
  std::vector<FolderDescription> folders;     // public store: the folders below its root

  MailboxDescription& AddMailbox(std::u16string name, std::u16string owner);
};

}  // namespace tarvex::edbforge
