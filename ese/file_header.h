#pragma once

// The database file header: format, page size and state, from the first header copy whose
// signature and page size make sense (the shadow copy when the first is damaged).

#include <cstdint>
#include <optional>
#include <span>

namespace tarvex::ese {

struct FileHeader {
  std::uint32_t format_version = 0;
  std::uint32_t format_revision = 0;
  std::uint32_t creation_format_version = 0;
  std::uint32_t creation_format_revision = 0;
  std::uint32_t page_size = 0;
  std::uint32_t database_state = 0;
  std::uint32_t file_type = 0;
  bool checksum_matches = false;
  bool from_shadow = false;
};

// None unless `bytes` starts with a header: the signature, and a page size of 2 to 32 KiB.
// Revisions before 11 with 4 KiB pages leave the page size 0; it is then 4096.
std::optional<FileHeader> ParseFileHeader(std::span<const std::uint8_t> bytes);

bool IsValidPageSize(std::uint32_t page_size);

}  // namespace tarvex::ese
