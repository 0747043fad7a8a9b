#pragma once

// Every page of the file read once, in file order, for the deep scan: which object each leaf
// page belongs to, when it was last written, and whether its checksum holds. The trees name
// only the pages they still use; the census also finds the leaves no tree reaches any more
// (released to free space, or cut off by a damaged branch).

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "ese/page_file.h"

namespace tarvex::ese {

struct CensusPage {
  std::uint64_t database_time = 0;
  std::uint32_t number = 0;
  std::uint32_t object_id = 0;
  std::uint32_t flags = 0;
  bool checksum_matches = false;
};

struct CensusCounts {
  std::uint64_t pages = 0;          // pages the file holds
  std::uint64_t empty_pages = 0;    // never written (all zero)
  std::uint64_t damaged_pages = 0;  // checksum disagrees with the bytes
  std::uint64_t leaf_pages = 0;     // leaves of tables, indexes and long values
};

class PageCensus {
 public:
  // Reads the whole file. `progress` is told the pages done and the total now and then and
  // returns false to stop: then there is no census. One that could not read the whole file
  // holds what it read and is not complete.
  static std::optional<PageCensus> Take(
      PageFile& file,
      const std::function<bool(std::uint64_t done, std::uint64_t total)>& progress = {});

  // The leaf pages whose header names `object_id`, in page order.
  std::span<const CensusPage> LeavesOf(std::uint32_t object_id) const;
  const CensusCounts& counts() const { return counts_; }
  bool complete() const { return complete_; }

 private:
  std::vector<CensusPage> leaves_;  // by object, then page number
  CensusCounts counts_;
  bool complete_ = true;
};

}  // namespace tarvex::ese
