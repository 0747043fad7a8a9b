#pragma once

// The long values of one table: found by their id in the table's long-value tree and handed
// on segment by segment, in order, without holding the whole value.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "ese/tree.h"

namespace tarvex::ese {

struct LongValueSegment {
  std::uint64_t offset = 0;  // where the segment's bytes begin in the whole value
  std::uint64_t size = 0;    // bytes it stands for in the whole value
  std::span<const std::uint8_t> stored;  // as stored: compressed when its size differs
  bool compressed() const { return stored.size() != size; }
};

class LongValues {
 public:
  LongValues(PageFile& file, const PageLayout& layout, std::uint32_t root_page,
             std::uint32_t object_id);

  // Hands every segment of the long value whose id is stored as `stored_id` (4 or 8 bytes,
  // little-endian, as the record holds it) to `visit`. Returns the value's total size, or none
  // when the value cannot be found or a segment is missing (the segments before it have been
  // handed on).
  std::optional<std::uint64_t> ForEachSegment(
      std::span<const std::uint8_t> stored_id,
      const std::function<void(const LongValueSegment&)>& visit) const;

 private:
  // Leaf pages by their first key, for trees whose branch keys do not lead to the value.
  const std::vector<std::pair<std::vector<std::uint8_t>, std::uint32_t>>& LeafIndex() const;
  void ReportUnreadable(std::span<const std::uint8_t> key) const;

  Tree tree_;
  mutable std::once_flag leaf_index_built_;  // the threads that preview and export share it
  mutable std::vector<std::pair<std::vector<std::uint8_t>, std::uint32_t>> leaf_index_;
};

}  // namespace tarvex::ese
