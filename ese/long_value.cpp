#include "ese/long_value.h"

#include <algorithm>

#include "ese/byte_order.h"
#include "ese/format.h"

namespace tarvex::ese {
namespace {

bool StartsWith(std::span<const std::uint8_t> key, std::span<const std::uint8_t> prefix) {
  return key.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), key.begin());
}

// Whether a segment stored smaller than what it stands for holds a compressed form of exactly
// that size; anything else means bytes are missing.
bool PlausiblyCompressed(std::span<const std::uint8_t> stored, std::uint64_t size) {
  if (stored.empty()) return false;
  const std::uint8_t lead = stored[0];
  if (lead == compression::kLzxpress) {
    return stored.size() >= 3 && LoadLe16(stored.data() + 1) == size;
  }
  if (lead < compression::kSevenBitFirst || lead > compression::kSevenBitLast) return false;
  const std::uint64_t characters = (stored.size() - 1) * 8 / 7;
  const std::uint64_t unit = lead >= compression::kSevenBitUnicode ? 2 : 1;
  return size == characters * unit || size + unit == characters * unit;
}

// Collects a long value's root and segments as a walk of its tree hands them over. A segment
// is handed on once the next one (or the end) says how much of the value it stands for.
class SegmentCollector {
 public:
  SegmentCollector(std::span<const std::uint8_t> key,
                   const std::function<void(const LongValueSegment&)>& visit)
      : key_(key), visit_(visit) {}

  // For Tree::VisitFrom: false once the long value's entries are behind.
  bool Take(const Page& page, const PageEntry& entry) {
    if (!total_size_) {
      if (CompareKeys(entry.key, key_) != 0 || entry.data.size() < long_value::kRootMinimumSize) {
        return false;
      }
      total_size_ = LoadLe32(entry.data.data() + long_value::kRootSize);
      return true;
    }
    if (entry.key.size() != key_.size() + long_value::kSegmentOffsetSize ||
        !StartsWith(entry.key, key_)) {
      return false;
    }
    const std::uint32_t offset = LoadBe32(entry.key.data() + key_.size());
    if (pending_) {
      if (offset <= pending_->offset) {
        broken_ = true;
        return false;
      }
      Hand(offset);
      if (broken_) return false;
    } else if (offset != 0) {
      broken_ = true;  // the first segment is missing
      return false;
    }
    pending_ = Pending{offset, entry.data, page.bytes()};
    return true;
  }

  // The value's size when every segment was found.
  std::optional<std::uint64_t> Finish() {
    if (!total_size_) return std::nullopt;
    if (pending_) {
      if (pending_->offset >= *total_size_) broken_ = true;
      if (!broken_) Hand(*total_size_);
    } else if (*total_size_ != 0) {
      broken_ = true;
    }
    if (broken_) return std::nullopt;
    return total_size_;
  }

  bool found_root() const { return total_size_.has_value(); }

 private:
  struct Pending {
    std::uint32_t offset = 0;
    std::span<const std::uint8_t> stored;
    PageBytes page;  // keeps `stored` alive
  };

  // A segment stored larger than what it stands for, or smaller without being compressed, is
  // damage.
  void Hand(std::uint64_t end) {
    LongValueSegment segment;
    segment.offset = pending_->offset;
    segment.size = end - pending_->offset;
    segment.stored = pending_->stored;
    // The page stays held until the segment has been handed on: a page no one holds may take
    // another page's bytes at once, on another thread.
    const PageBytes page = std::move(pending_->page);
    pending_.reset();
    if (segment.stored.size() > segment.size ||
        (segment.compressed() && !PlausiblyCompressed(segment.stored, segment.size))) {
      broken_ = true;
      return;
    }
    visit_(segment);
  }

  std::span<const std::uint8_t> key_;
  const std::function<void(const LongValueSegment&)>& visit_;
  std::optional<std::uint64_t> total_size_;
  std::optional<Pending> pending_;
  bool broken_ = false;
};

}  // namespace

LongValues::LongValues(PageFile& file, const PageLayout& layout, std::uint32_t root_page,
                       std::uint32_t object_id)
    : tree_(file, layout, root_page, object_id) {}

std::optional<std::uint64_t> LongValues::ForEachSegment(
    std::span<const std::uint8_t> stored_id,
    const std::function<void(const LongValueSegment&)>& visit) const {
  if (stored_id.size() != 4 && stored_id.size() != 8) return std::nullopt;
  // The record keeps the id little-endian; the tree sorts it big-endian.
  const std::vector<std::uint8_t> key(stored_id.rbegin(), stored_id.rend());
  {
    SegmentCollector collector(key, visit);
    tree_.VisitFrom(key, [&](const Page& page, const PageEntry& entry) {
      return collector.Take(page, entry);
    });
    if (collector.found_root()) {
      std::optional<std::uint64_t> size = collector.Finish();
      if (!size) ReportUnreadable(key);
      return size;
    }
  }
  // Branch keys that do not lead to the value (damage, or a writer's own layout): find its
  // leaf by the first keys of all leaves instead.
  const auto& index = LeafIndex();
  auto after = std::upper_bound(index.begin(), index.end(), key,
                                [](const std::vector<std::uint8_t>& wanted, const auto& leaf) {
                                  return CompareKeys(wanted, leaf.first) < 0;
                                });
  if (after == index.begin()) {
    ReportUnreadable(key);
    return std::nullopt;
  }
  SegmentCollector collector(key, visit);
  tree_.VisitFromLeaf(std::prev(after)->second, key, [&](const Page& page, const PageEntry& entry) {
    return collector.Take(page, entry);
  });
  if (!collector.found_root()) {
    ReportUnreadable(key);
    return std::nullopt;
  }
  std::optional<std::uint64_t> size = collector.Finish();
  if (!size) ReportUnreadable(key);
  return size;
}

void LongValues::ReportUnreadable(std::span<const std::uint8_t> key) const {
  tree_.file().ReportUnreadableLongValue(tree_.object_id(), key);
}

const std::vector<std::pair<std::vector<std::uint8_t>, std::uint32_t>>& LongValues::LeafIndex()
    const {
  std::call_once(leaf_index_built_, [this] {
    std::uint32_t last_page = 0;
    tree_.ForEachLeafEntry([&](const Page& page, std::size_t, const PageEntry& entry) {
      if (page.number() != last_page) {
        last_page = page.number();
        leaf_index_.emplace_back(entry.key, page.number());
      }
      return true;
    });
  });
  return leaf_index_;
}

}  // namespace tarvex::ese
