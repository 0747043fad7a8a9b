#include "ese/file_header.h"

#include <algorithm>

#include "ese/byte_order.h"
#include "ese/format.h"
#include "ese/page_checksum.h"

namespace tarvex::ese {

bool IsValidPageSize(std::uint32_t page_size) {
  return page_size == 2048 || page_size == 4096 || page_size == 8192 || page_size == 16384 ||
         page_size == 32768;
}

std::optional<FileHeader> ParseFileHeader(std::span<const std::uint8_t> bytes) {
  using namespace file_header;
  if (bytes.size() < kMinimumSize) return std::nullopt;
  const std::uint8_t* at = bytes.data();
  if (LoadLe32(at + kSignatureField) != kSignature) return std::nullopt;
  FileHeader header;
  header.format_version = LoadLe32(at + kFormatVersionField);
  header.format_revision = LoadLe32(at + kFormatRevision);
  header.creation_format_version = LoadLe32(at + kCreationFormatVersion);
  header.creation_format_revision = LoadLe32(at + kCreationFormatRevision);
  header.file_type = LoadLe32(at + kFileType);
  header.database_state = LoadLe32(at + kDatabaseState);
  header.page_size = LoadLe32(at + kPageSize);
  // The engines before Exchange 2003 SP1 wrote no page size: theirs was always 4 KiB.
  if (header.page_size == 0) header.page_size = 4096;
  if (!IsValidPageSize(header.page_size)) return std::nullopt;
  const std::size_t covered = std::min<std::size_t>(bytes.size(), header.page_size) & ~std::size_t{3};
  header.checksum_matches =
      XorChecksum(bytes.subspan(4, covered - 4), kSignature) == LoadLe32(at + kChecksum);
  return header;
}

}  // namespace tarvex::ese
