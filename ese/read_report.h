#pragma once

// What a reader met on its way through the file: counted, never fatal.

#include <cstdint>

namespace tarvex::ese {

struct ReadReport {
  std::uint64_t pages_read = 0;            // distinct reads from the file
  std::uint64_t checksum_mismatches = 0;   // pages whose checksum disagrees (still used)
  std::uint64_t unparsable_pages = 0;      // pages skipped: bad header, tags or tree links
  std::uint64_t unreadable_records = 0;    // records skipped: bad header or offsets
  std::uint64_t unreadable_long_values = 0;
};

}  // namespace tarvex::ese
