#include "tools/edbforge/ese/tree_writer.h"

#include <algorithm>

#include "tools/edbforge/ese/byte_order.h"
#include "tools/edbforge/ese/ese_error.h"

namespace tarvex::edbforge {
namespace {

// Every page keeps room for tag 0 holding the 16-byte root header, so that whichever page ends
// up as the root still fits.
constexpr size_t kRootHeaderSize = 16;
constexpr size_t kTagSize = 4;

std::vector<uint8_t> EncodeKeyed(std::span<const uint8_t> key, std::span<const uint8_t> data) {
  std::vector<uint8_t> entry;
  entry.reserve(2 + key.size() + data.size());
  AppendLe16(entry, static_cast<uint16_t>(key.size()));
  entry.insert(entry.end(), key.begin(), key.end());
  entry.insert(entry.end(), data.begin(), data.end());
  return entry;
}

size_t Capacity(const PageFormat& format) {
  return format.DataArea() - kRootHeaderSize - kTagSize;
}

}  // namespace

std::vector<uint8_t> EncodeBranchEntry(std::span<const uint8_t> key, uint32_t child_page) {
  std::vector<uint8_t> child(4);
  StoreLe32(child.data(), child_page);
  return EncodeKeyed(key, child);
}

size_t TreeWriter::MaxDataSize(const PageFormat& format, size_t key_size) {
  return Capacity(format) - kTagSize - 2 - key_size;
}

TreeWriter::TreeWriter(PageFile& file, uint32_t fdp_object_id, uint32_t extra_flags,
                       std::optional<uint32_t> fixed_root, std::string place)
    : file_(file),
      fdp_object_id_(fdp_object_id),
      extra_flags_(extra_flags),
      fixed_root_(fixed_root),
      place_(std::move(place)) {}

bool TreeWriter::Fits(const PendingPage& page, size_t entry_size) const {
  return page.bytes + (page.values.size() + 1) * kTagSize + entry_size <= Capacity(file_.format());
}

void TreeWriter::Append(std::span<const uint8_t> key, std::span<const uint8_t> data) {
  if (finished_) throw EseWriteError(place_ + ": append after the tree was finished");
  if (entry_count_ > 0 && !std::lexicographical_compare(previous_key_.begin(), previous_key_.end(),
                                                        key.begin(), key.end())) {
    throw EseWriteError(place_ + ": keys must arrive in ascending order");
  }
  if (key.size() > 0x1fff || data.size() > MaxDataSize(file_.format(), key.size())) {
    throw EseWriteError(place_ + ": an entry of " + std::to_string(data.size()) +
                        " bytes does not fit a " + std::to_string(file_.format().page_size) +
                        "-byte page (at most " +
                        std::to_string(MaxDataSize(file_.format(), key.size())) + ")");
  }
  previous_key_.assign(key.begin(), key.end());
  ++entry_count_;
  AddToLevel(0, previous_key_, EncodeKeyed(key, data));
}

void TreeWriter::AddToLevel(size_t level, std::vector<uint8_t> key, std::vector<uint8_t> entry) {
  if (levels_.size() <= level) levels_.resize(level + 1);
  if (!Fits(levels_[level].current, entry.size())) CloseLevelPage(level, false);
  PendingPage& page = levels_[level].current;
  page.bytes += entry.size();
  page.values.push_back(std::move(entry));
  page.last_key = std::move(key);
}

void TreeWriter::CloseLevelPage(size_t level, bool rightmost) {
  PendingPage page = std::move(levels_[level].current);
  levels_[level].current = PendingPage{};
  levels_[level].has_written_page = true;
  const uint32_t page_number = file_.AllocatePage();
  if (level == 0) {
    // A leaf is written once the number of its right neighbour is known.
    uint32_t previous = 0;
    if (pending_leaf_) {
      WriteLeaf(*pending_leaf_, page_number);
      previous = pending_leaf_->page_number;
    }
    pending_leaf_ = CompletedLeaf{std::move(page.values), page_number, previous};
  } else {
    WritePage(page_number, kPageFlagParent, 0, 0, page.values, false);
  }
  const std::span<const uint8_t> separator =
      rightmost ? std::span<const uint8_t>() : std::span<const uint8_t>(page.last_key);
  std::vector<uint8_t> entry = EncodeBranchEntry(separator, page_number);
  AddToLevel(level + 1, std::move(page.last_key), std::move(entry));
}

void TreeWriter::WriteLeaf(CompletedLeaf& leaf, uint32_t next_page) {
  WritePage(leaf.page_number, kPageFlagLeaf, leaf.previous_page, next_page, leaf.values, false);
}

void TreeWriter::WritePage(uint32_t page_number, uint32_t flags, uint32_t previous, uint32_t next,
                           std::vector<std::vector<uint8_t>>& values, bool root) {
  std::vector<uint8_t> tag_zero;
  if (root) {
    tag_zero.resize(kRootHeaderSize, 0);
    StoreLe32(tag_zero.data(), 1);  // pages at creation
    StoreLe32(tag_zero.data() + 4, parent_page_);
  }
  values.insert(values.begin(), std::move(tag_zero));
  PageHeaderFields header;
  header.page_number = page_number;
  header.previous_page = previous;
  header.next_page = next;
  header.fdp_object_id = fdp_object_id_;
  header.flags = file_.format().BaseFlags() | extra_flags_ | flags | (root ? kPageFlagRoot : 0);
  const auto page = BuildPage(file_.format(), header, values);
  file_.WritePage(page_number, page);
  ++page_count_;
}

uint32_t TreeWriter::Finish() {
  if (finished_) throw EseWriteError(place_ + ": finished twice");
  finished_ = true;
  if (levels_.empty()) levels_.resize(1);
  for (size_t level = 0;; ++level) {
    if (level + 1 == levels_.size() && !levels_[level].has_written_page) {
      const uint32_t root = fixed_root_ ? *fixed_root_ : file_.AllocatePage();
      WritePage(root, level == 0 ? kPageFlagLeaf : kPageFlagParent, 0, 0,
                levels_[level].current.values, true);
      levels_.clear();
      return root;
    }
    CloseLevelPage(level, true);
    if (level == 0 && pending_leaf_) {
      WriteLeaf(*pending_leaf_, 0);
      pending_leaf_.reset();
    }
  }
}

}  // namespace tarvex::edbforge
