#pragma once

// What a reader met on its way through the file: counted, never fatal. The loader, preview and
// export threads may read the same database, so the counts are atomic.

#include <atomic>
#include <cstdint>

namespace tarvex::ese {

struct ReadReport {
  std::atomic<std::uint64_t> pages_read = 0;           // reads from the file
  std::atomic<std::uint64_t> checksum_mismatches = 0;  // pages whose checksum disagrees (used)
  std::atomic<std::uint64_t> unparsable_pages = 0;     // pages skipped: bad header, tags, links
  std::atomic<std::uint64_t> missing_pages = 0;        // pages named but not in the file (cut)
  std::atomic<std::uint64_t> unreadable_records = 0;   // records skipped: bad header or offsets
  std::atomic<std::uint64_t> unreadable_long_values = 0;
};

}  // namespace tarvex::ese
