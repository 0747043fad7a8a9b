#include "tools/edbforge/ese/file_header.h"

#include <cstring>

#include "tools/edbforge/ese/byte_order.h"
#include "tools/edbforge/ese/page_checksum.h"

namespace tarvex::edbforge {
namespace {

constexpr uint32_t kSignature = 0x89abcdefU;
constexpr uint32_t kStateCleanShutdown = 3;

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
  StoreLe32(header + 4, kSignature);
  StoreLe32(header + 8, kFormatVersion);
  StoreLe32(header + 12, 0);  // database, not a streaming file
  StoreLe64(header + 16, 2);  // database time, above every page's
  StoreSignature(header + 24);
  StoreLe32(header + 52, kStateCleanShutdown);
  StoreLe32(header + 56, 0);
  StoreLogTime(header + 64);     // consistent time
  StoreLogTime(header + 72);     // attach time
  StoreLogTime(header + 88);     // detach time
  StoreSignature(header + 104);  // log signature
  StoreLe32(header + 212, last_object_id);
  StoreLe32(header + 216, 6);  // Windows version the indexes were built with: 6.1.7601 SP1
  StoreLe32(header + 220, 1);
  StoreLe32(header + 224, 7601);
  StoreLe32(header + 228, 1);
  StoreLe32(header + 232, format.revision);
  StoreLe32(header + 236, format.page_size);
  StoreLe32(header + 340, kFormatVersion);
  StoreLe32(header + 344, format.revision);
  StoreLe32(header, XorChecksum(std::span<const uint8_t>(page).subspan(4), kSignature));
  return page;
}

}  // namespace tarvex::edbforge
