#include "tools/edbforge/ese/file_header.h"

#include "tools/edbforge/ese/tree_writer.h"

#include <cstring>

#include "ese/byte_order.h"
#include "ese/format.h"
#include "ese/page_checksum.h"

namespace tarvex::edbforge {
namespace {

using ese::StoreLe32;
using ese::StoreLe64;
namespace field = ese::file_header;

// A fixed time (2020-01-01 12:00:00) keeps the output the same for the same input.
void StoreLogTime(uint8_t* at) {
  const uint8_t time[8] = {0, 0, 12, 1, 1, 120, 0, 0};
  std::memcpy(at, time, sizeof(time));
}

void StoreSignature(uint8_t* at) {
  StoreLe32(at, 0x45444246U);  // "FBDE", a fixed random part
  StoreLogTime(at + 4);
  std::memcpy(at + 12, "EDBFORGE", 8);
}

}  // namespace

std::vector<uint8_t> BuildFileHeader(const PageFormat& format, uint32_t last_object_id) {
  std::vector<uint8_t> page(format.page_size, 0);
  uint8_t* header = page.data();
  StoreLe32(header + field::kSignatureField, field::kSignature);
  StoreLe32(header + field::kFormatVersionField, ese::kFormatVersion);
  StoreLe32(header + field::kFileType, 0);      // database, not a streaming file
  StoreLe64(header + field::kDatabaseTime, kLivePageTime + 1);  // above every page's
  StoreSignature(header + field::kDatabaseSignature);
  StoreLe32(header + field::kDatabaseState, field::kStateCleanShutdown);
  StoreLe32(header + field::kConsistentPosition, 0);
  StoreLogTime(header + field::kConsistentTime);
  StoreLogTime(header + field::kAttachTime);
  StoreLogTime(header + field::kDetachTime);
  StoreSignature(header + 104);  // log signature
  StoreLe32(header + field::kLastObjectId, last_object_id);
  // Windows 7 SP1 (6.1.7601) built the indexes.
  StoreLe32(header + field::kWindowsMajorVersion, 6);
  StoreLe32(header + field::kWindowsMinorVersion, 1);
  StoreLe32(header + field::kWindowsBuildNumber, 7601);
  StoreLe32(header + field::kWindowsServicePack, 1);
  StoreLe32(header + field::kFormatRevision, format.revision);
  StoreLe32(header + field::kPageSize, format.page_size);
  StoreLe32(header + field::kCreationFormatVersion, ese::kFormatVersion);
  StoreLe32(header + field::kCreationFormatRevision, format.revision);
  StoreLe32(header + field::kChecksum,
            ese::XorChecksum(std::span<const uint8_t>(page).subspan(4), field::kSignature));
  return page;
}

}  // namespace tarvex::edbforge
