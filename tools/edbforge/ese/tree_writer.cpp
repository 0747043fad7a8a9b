#include "tools/edbforge/ese/tree_writer.h"

#include <algorithm>

#include "ese/byte_order.h"
#include "tools/edbforge/ese/ese_error.h"

namespace tarvex::edbforge {
namespace {

using ese::AppendLe16;
using ese::kRootHeaderSize;
constexpr size_t kTagSize = ese::page_tag::kSize;
// Long-value keys: identifier and segment offset, both big-endian.
constexpr size_t kLongValueKeyMost = ese::long_value::kIdSize + ese::long_value::kSegmentOffsetSize;

// A common prefix costs its size field: the engine takes one only when it saves more.
constexpr size_t kPrefixOverhead = 2;

size_t SharedBytes(std::span<const uint8_t> prefix, std::span<const uint8_t> key) {
  const size_t most = std::min(prefix.size(), key.size());
  return static_cast<size_t>(
      std::mismatch(prefix.begin(), prefix.begin() + static_cast<ptrdiff_t>(most), key.begin())
          .first -
      prefix.begin());
}

bool IsPrefix(const std::vector<uint8_t>& prefix, const std::vector<uint8_t>& key) {
  return prefix.size() <= key.size() && std::equal(prefix.begin(), prefix.end(), key.begin());
}

// Stored key of a long-value branch entry: the reader sees [size low, size high, stored...],
// so the size is the separator's first byte and the stored key its bytes from the third on.
std::vector<uint8_t> LongValueBranchKey(const std::vector<uint8_t>& separator) {
  if (separator.empty()) return {};
  std::vector<uint8_t> stored(separator[0], 0);
  std::copy(separator.begin() + 2, separator.end(), stored.begin());
  return stored;
}

}  // namespace

std::optional<uint32_t> TreeWriter::LeafPageOf(std::span<const uint8_t> key) const {
  auto after =
      std::upper_bound(leaf_first_keys_.begin(), leaf_first_keys_.end(), key,
                       [](std::span<const uint8_t> wanted, const auto& leaf) {
                         return std::lexicographical_compare(wanted.begin(), wanted.end(),
                                                             leaf.first.begin(), leaf.first.end());
                       });
  if (after == leaf_first_keys_.begin()) return std::nullopt;
  return std::prev(after)->second;
}

uint32_t LongValueId(uint32_t index) {
  const uint32_t high = 8 + index / 0xffff;
  if (high > 0xff) throw EseWriteError("more than 16 million long values in one table");
  return (high << 24) | (1 + index % 0xffff);
}

size_t TreeWriter::MaxDataSize(const PageFormat& format, size_t key_size) {
  return format.DataArea() - kRootHeaderSize - 2 * kTagSize - 2 - key_size;
}

TreeWriter::TreeWriter(PageFile& file, uint32_t fdp_object_id, TreeKind kind, TreeSpace space,
                       std::string place)
    : file_(file),
      fdp_object_id_(fdp_object_id),
      kind_(kind),
      space_(std::move(space)),
      place_(std::move(place)) {}

uint32_t TreeWriter::AllocateReleasedPage() {
  const uint32_t page = space_.Allocate();
  space_.Release(page);
  return page;
}

size_t TreeWriter::EncodedSize(size_t level, const Entry& entry,
                               std::span<const uint8_t> prefix) const {
  if (kind_ == TreeKind::kLongValues) {
    if (level == 0) return kTagSize + 4 + entry.data.size();
    return kTagSize + 2 + (entry.key.empty() ? 0 : entry.key[0]) + 4;
  }
  const size_t shared = SharedBytes(prefix, entry.key);
  const size_t key_bytes =
      shared > kPrefixOverhead ? kPrefixOverhead + entry.key.size() - shared : entry.key.size();
  return kTagSize + 2 + key_bytes + entry.data.size();
}

std::vector<uint8_t> TreeWriter::LeafPrefix(std::span<const uint8_t> first_key) const {
  std::vector<uint8_t> prefix(first_key.begin(), first_key.end());
  switch (kind_) {
    case TreeKind::kRecords:
    case TreeKind::kIndex:
      if (FirstLeaf()) prefix.clear();
      break;
    case TreeKind::kEngineLongValues:
      // A page that begins with a long value's root takes the key of its first segment.
      if (prefix.size() == ese::long_value::kIdSize) prefix.resize(kLongValueKeyMost, 0);
      break;
    case TreeKind::kLongValues:
      prefix.clear();  // chained leaves keep their own tag 0
      break;
  }
  return prefix;
}

bool TreeWriter::Accepts(size_t level, const PendingPage& page, const Entry& entry) const {
  const size_t area = file_.format().DataArea() - kTagSize;  // tag 0 always exists
  if (kind_ == TreeKind::kLongValues && level == 0) {
    // One key chain per leaf; tag 0 holds the longest key as the common key.
    if (!page.entries.empty() && !IsPrefix(page.entries.back().key, entry.key)) return false;
    return page.bytes + EncodedSize(level, entry, {}) + entry.key.size() <= area;
  }
  if (level > 0) return page.bytes + EncodedSize(level, entry, {}) + kRootHeaderSize <= area;
  std::vector<uint8_t> first_prefix;  // a page's prefix comes with its first entry
  if (page.entries.empty()) first_prefix = LeafPrefix(entry.key);
  const std::vector<uint8_t>& prefix = page.entries.empty() ? first_prefix : page.prefix;
  const size_t stored = page.bytes + EncodedSize(level, entry, prefix) + prefix.size();
  // The tree's first leaf may yet be its root: the root header instead of a prefix.
  const size_t as_root = page.plain_bytes + EncodedSize(level, entry, {}) + kRootHeaderSize;
  return stored <= area && (!FirstLeaf() || as_root <= area);
}

void TreeWriter::Append(std::span<const uint8_t> key, std::span<const uint8_t> data,
                        uint8_t tag_flags, bool keep_with_next) {
  if (finished_) throw EseWriteError(place_ + ": append after the tree was finished");
  if (entry_count_ > 0 && !std::lexicographical_compare(previous_key_.begin(), previous_key_.end(),
                                                        key.begin(), key.end())) {
    // An index's keys may repeat; its entries then rise by their data, the record's key.
    const bool repeated_index_key =
        non_unique_keys_ &&
        std::equal(previous_key_.begin(), previous_key_.end(), key.begin(), key.end()) &&
        std::lexicographical_compare(previous_data_.begin(), previous_data_.end(), data.begin(),
                                     data.end());
    if (!repeated_index_key) throw EseWriteError(place_ + ": keys must arrive in ascending order");
  }
  if (non_unique_keys_) previous_data_.assign(data.begin(), data.end());
  Entry entry{std::vector<uint8_t>(key.begin(), key.end()),
              std::vector<uint8_t>(data.begin(), data.end()), tag_flags, keep_with_next};
  if (kind_ == TreeKind::kLongValues &&
      (key.size() > kLongValueKeyMost || key.size() < 4 || key[0] < 8 || key[1] != 0)) {
    throw EseWriteError(place_ + ": long-value keys must come from LongValueId");
  }
  const bool fits = kind_ == TreeKind::kLongValues
                        ? Accepts(0, PendingPage{}, entry)
                        : kTagSize + EncodedSize(0, entry, {}) + kRootHeaderSize <=
                              file_.format().DataArea();
  if (key.size() > 255 || !fits) {
    throw EseWriteError(place_ + ": an entry of " + std::to_string(data.size()) +
                        " bytes does not fit a " + std::to_string(file_.format().page_size) +
                        "-byte page");
  }
  previous_key_ = entry.key;
  ++entry_count_;
  AddToLevel(0, std::move(entry));
}

void TreeWriter::AddToLevel(size_t level, Entry entry) {
  if (levels_.size() <= level) levels_.resize(level + 1);
  if (!Accepts(level, levels_[level].current, entry)) {
    PendingPage& page = levels_[level].current;
    std::optional<Entry> kept;
    if (level == 0 && page.entries.size() > 1 && page.entries.back().keep_with_next) {
      kept = std::move(page.entries.back());
      page.entries.pop_back();
      page.bytes -= EncodedSize(level, *kept, page.prefix);
      page.plain_bytes -= EncodedSize(level, *kept, {});
    }
    CloseLevelPage(level, false);
    if (kept) PlaceEntry(level, std::move(*kept));
  }
  PlaceEntry(level, std::move(entry));
}

void TreeWriter::PlaceEntry(size_t level, Entry entry) {
  PendingPage& page = levels_[level].current;
  // Pages are numbered as they are begun, as the engine allocates them when it inserts, so that
  // a tree's pages lie in the order they were filled. A tree's first leaf stands in its root
  // until a second one begins.
  if (page.entries.empty() && level == 0) {
    page.page_number =
        FirstLeaf() && kind_ != TreeKind::kLongValues ? space_.root() : space_.Allocate();
    page.prefix = LeafPrefix(entry.key);
  }
  page.bytes += EncodedSize(level, entry, page.prefix);
  page.plain_bytes += EncodedSize(level, entry, {});
  page.entries.push_back(std::move(entry));
}

void TreeWriter::CloseLevelPage(size_t level, bool rightmost) {
  PendingPage page = std::move(levels_[level].current);
  levels_[level].current = PendingPage{};
  if (page.entries.empty()) throw EseWriteError(place_ + ": a long-value tree needs a value");
  levels_[level].has_written_page = true;
  const uint32_t page_number = page.page_number != 0 && page.page_number != space_.root()
                                   ? page.page_number
                                   : space_.Allocate();
  std::vector<uint8_t> separator = page.entries.back().key;
  if (level == 0) {
    // A leaf is written once the number of its right neighbour is known.
    uint32_t previous = 0;
    if (pending_leaf_) {
      WritePage(0, pending_leaf_->page_number, pending_leaf_->previous_page, page_number,
                pending_leaf_->page, false);
      previous = pending_leaf_->page_number;
    }
    pending_leaf_ = CompletedLeaf{std::move(page), page_number, previous};
  } else {
    WritePage(level, page_number, 0, 0, page, false);
  }
  std::vector<uint8_t> child(4);
  ese::StoreLe32(child.data(), page_number);
  if (rightmost) separator.clear();
  AddToLevel(level + 1, Entry{std::move(separator), std::move(child)});
}

void TreeWriter::WritePage(size_t level, uint32_t page_number, uint32_t previous, uint32_t next,
                           const PendingPage& page, bool root) {
  const bool leaf = level == 0;
  const bool chained = kind_ == TreeKind::kLongValues && leaf;
  const std::span<const uint8_t> prefix =
      leaf && !root ? std::span<const uint8_t>(page.prefix) : std::span<const uint8_t>();
  std::vector<std::vector<uint8_t>> values;
  std::vector<uint8_t> tag_flags;
  values.reserve(page.entries.size() + 1);
  if (root) {
    std::vector<uint8_t> header(kRootHeaderSize, 0);
    ese::StoreLe32(header.data() + ese::root_header::kInitialPages, root_space_.primary_pages);
    ese::StoreLe32(header.data() + ese::root_header::kParentRootPage, parent_page_);
    ese::StoreLe32(
        header.data() + ese::root_header::kSpaceFlags,
        root_space_.flags | (non_unique_keys_ ? ese::root_space_flag::kNonUniqueKeys : 0));
    ese::StoreLe32(header.data() + ese::root_header::kOwnedSpaceRoot, root_space_.pages_or_bitmap);
    values.push_back(std::move(header));
  } else if (chained) {
    values.push_back(page.entries.back().key);
  } else {
    values.emplace_back(prefix.begin(), prefix.end());
  }
  tag_flags.push_back(0);
  // The engine leaves the version flag on the leaf entries it inserted (cleaning the version
  // store does not write the page again); its branch entries have none.
  const uint8_t version = leaf ? ese::tag_flag::kVersion : 0;
  for (const Entry& entry : page.entries) {
    std::vector<uint8_t> value;
    if (chained) {
      AppendLe16(value, static_cast<uint16_t>(entry.key.size()));  // all of it common
      AppendLe16(value, 0);
      tag_flags.push_back(ese::tag_flag::kCommonKey | version | entry.tag_flags);
    } else if (const size_t shared = SharedBytes(prefix, entry.key); shared > kPrefixOverhead) {
      AppendLe16(value, static_cast<uint16_t>(shared));
      AppendLe16(value, static_cast<uint16_t>(entry.key.size() - shared));
      value.insert(value.end(), entry.key.begin() + static_cast<ptrdiff_t>(shared),
                   entry.key.end());
      tag_flags.push_back(ese::tag_flag::kCommonKey | version | entry.tag_flags);
    } else {
      const std::vector<uint8_t> key =
          kind_ == TreeKind::kLongValues ? LongValueBranchKey(entry.key) : entry.key;
      AppendLe16(value, static_cast<uint16_t>(key.size()));
      value.insert(value.end(), key.begin(), key.end());
      tag_flags.push_back(version | entry.tag_flags);
    }
    value.insert(value.end(), entry.data.begin(), entry.data.end());
    values.push_back(std::move(value));
  }
  PageHeaderFields header;
  header.page_number = page_number;
  header.previous_page = previous;
  header.next_page = next;
  header.fdp_object_id = fdp_object_id_;
  header.database_time = kLivePageTime;
  using namespace ese::page_flag;
  const bool long_values = kind_ == TreeKind::kLongValues || kind_ == TreeKind::kEngineLongValues;
  header.flags = file_.format().BaseFlags() | (leaf ? kLeaf : kParentOfLeaf) | (root ? kRoot : 0) |
                 (long_values ? kLongValue : 0) | (kind_ == TreeKind::kIndex ? kIndex : 0) |
                 (non_unique_keys_ ? kNonUniqueKeys : 0);
  file_.WritePage(page_number, BuildPage(file_.format(), header, values, tag_flags));
  ++page_count_;
  if (leaf && !page.entries.empty())
    leaf_first_keys_.emplace_back(page.entries.front().key, page_number);
}

uint32_t TreeWriter::Finish() {
  if (finished_) throw EseWriteError(place_ + ": finished twice");
  finished_ = true;
  if (levels_.empty()) levels_.resize(1);
  for (size_t level = 0;; ++level) {
    const bool top = level + 1 == levels_.size() && !levels_[level].has_written_page;
    const bool leaf_root_allowed = kind_ != TreeKind::kLongValues || level > 0;
    if (top && leaf_root_allowed) {
      // Every page of the tree is known: its space can be written before its root.
      const bool long_values =
          kind_ == TreeKind::kLongValues || kind_ == TreeKind::kEngineLongValues;
      root_space_ =
          space_.Finish(fdp_object_id_, kLivePageTime,
                        long_values ? ese::page_flag::kLongValue
                                    : (kind_ == TreeKind::kIndex ? ese::page_flag::kIndex : 0));
      WritePage(level, space_.root(), 0, 0, levels_[level].current, true);
      levels_.clear();
      return space_.root();
    }
    CloseLevelPage(level, true);
    if (level == 0 && pending_leaf_) {
      WritePage(0, pending_leaf_->page_number, pending_leaf_->previous_page, 0, pending_leaf_->page,
                false);
      pending_leaf_.reset();
    }
  }
}

}  // namespace tarvex::edbforge
