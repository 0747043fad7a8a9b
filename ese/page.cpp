#include "ese/page.h"

#include <algorithm>
#include <cstring>

#include "ese/byte_order.h"
#include "ese/format.h"

namespace tarvex::ese {

bool PageEntry::deleted() const { return (tag_flags & tag_flag::kDeleted) != 0; }

std::optional<Page> Page::Parse(const PageLayout& layout, std::uint32_t page_number,
                                PageBytes bytes) {
  if (!bytes || bytes->size() != layout.page_size) return std::nullopt;
  const std::uint8_t* at = bytes->data();
  Page page;
  page.layout_ = layout;
  page.number_ = page_number;
  page.database_time_ = LoadLe64(at + page_header::kDatabaseTime);
  page.previous_ = LoadLe32(at + page_header::kPreviousPage);
  page.next_ = LoadLe32(at + page_header::kNextPage);
  page.father_object_id_ = LoadLe32(at + page_header::kFatherObjectId);
  page.flags_ = LoadLe32(at + page_header::kFlags);

  const std::uint16_t tag_state = LoadLe16(at + page_header::kTagState);
  const std::size_t tag_count = tag_state & 0x0fff;
  const std::size_t reserved = std::max<std::size_t>(tag_state >> 12, 1);
  if (layout.HeaderSize() + page_tag::kSize * tag_count > layout.page_size) return std::nullopt;
  page.bytes_ = std::move(bytes);
  if (tag_count == 0) return page;  // an empty page
  page.first_entry_tag_ = std::min(reserved, tag_count);
  page.entry_tags_ = tag_count - page.first_entry_tag_;

  std::uint8_t prefix_flags = 0;
  const std::span<const std::uint8_t> tag0 = page.TagValue(0, prefix_flags);
  if (tag0.data() == nullptr) return std::nullopt;
  if (!page.IsRoot()) page.prefix_ = tag0;
  return page;
}

std::span<const std::uint8_t> Page::TagValue(std::size_t tag, std::uint8_t& flags) const {
  const std::vector<std::uint8_t>& page = *bytes_;
  const std::size_t tag_count = first_entry_tag_ + entry_tags_;
  const std::uint8_t* tag_at = page.data() + page.size() - page_tag::kSize * (tag + 1);
  const bool large = layout_.Large();
  const std::uint16_t mask = large ? page_tag::kLargePageMask : page_tag::kSmallPageMask;
  const std::uint16_t size_word = LoadLe16(tag_at + page_tag::kValueSize);
  const std::uint16_t offset_word = LoadLe16(tag_at + page_tag::kValueOffset);
  const std::size_t size = size_word & mask;
  const std::size_t offset = offset_word & mask;
  const std::size_t begin = layout_.HeaderSize() + offset;
  const std::size_t end_of_values = page.size() - page_tag::kSize * tag_count;
  if (begin > end_of_values || size > end_of_values - begin) return {};
  const std::span<const std::uint8_t> value(page.data() + begin, size);
  if (large) {
    flags = size >= 2 ? static_cast<std::uint8_t>(value[1] >> page_tag::kLargePageFlagShift) : 0;
  } else {
    flags = static_cast<std::uint8_t>(offset_word >> page_tag::kSmallPageFlagShift);
  }
  // An empty value still needs a non-null span to tell it from a bad tag.
  return size == 0 ? std::span<const std::uint8_t>(page.data() + begin, 0) : value;
}

std::optional<Page::EntryParts> Page::Parts(std::size_t index) const {
  if (index >= entry_tags_) return std::nullopt;
  EntryParts parts;
  const std::span<const std::uint8_t> value = TagValue(first_entry_tag_ + index, parts.tag_flags);
  if (value.data() == nullptr) return std::nullopt;
  std::size_t position = 0;
  std::size_t prefix_size = 0;
  if ((parts.tag_flags & tag_flag::kCommonKey) != 0) {
    if (value.size() < 2) return std::nullopt;
    prefix_size = LoadLe16(value.data()) & kKeySizeMask;
    if (prefix_size > prefix_.size()) return std::nullopt;
    position = 2;
  }
  if (value.size() < position + 2) return std::nullopt;
  const std::size_t local_size = LoadLe16(value.data() + position) & kKeySizeMask;
  position += 2;
  if (local_size > value.size() - position) return std::nullopt;
  parts.prefix = prefix_.first(prefix_size);
  parts.local = value.subspan(position, local_size);
  parts.data = value.subspan(position + local_size);
  return parts;
}

std::optional<PageEntry> Page::Entry(std::size_t index) const {
  const std::optional<EntryParts> parts = Parts(index);
  if (!parts) return std::nullopt;
  PageEntry entry;
  entry.tag_flags = parts->tag_flags;
  entry.key.reserve(parts->prefix.size() + parts->local.size());
  entry.key.assign(parts->prefix.begin(), parts->prefix.end());
  entry.key.insert(entry.key.end(), parts->local.begin(), parts->local.end());
  entry.data = parts->data;
  return entry;
}

std::optional<int> Page::CompareKey(std::size_t index, std::span<const std::uint8_t> key) const {
  const std::optional<EntryParts> parts = Parts(index);
  if (!parts) return std::nullopt;
  const std::size_t from_prefix = std::min(parts->prefix.size(), key.size());
  if (from_prefix > 0) {
    if (const int order = std::memcmp(parts->prefix.data(), key.data(), from_prefix); order != 0) {
      return order < 0 ? -1 : 1;
    }
  }
  if (parts->prefix.size() > key.size()) return 1;
  const std::span<const std::uint8_t> rest = key.subspan(parts->prefix.size());
  const std::size_t common = std::min(parts->local.size(), rest.size());
  if (common > 0) {
    if (const int order = std::memcmp(parts->local.data(), rest.data(), common); order != 0) {
      return order < 0 ? -1 : 1;
    }
  }
  if (parts->local.size() == rest.size()) return 0;
  return parts->local.size() < rest.size() ? -1 : 1;
}

std::optional<std::uint32_t> Page::ChildPage(const PageEntry& entry) {
  if (entry.data.size() < 4) return std::nullopt;
  return LoadLe32(entry.data.data());
}

bool Page::IsRoot() const { return (flags_ & page_flag::kRoot) != 0; }
bool Page::IsLeaf() const { return (flags_ & page_flag::kLeaf) != 0; }
bool Page::IsLongValue() const { return (flags_ & page_flag::kLongValue) != 0; }
bool Page::IsIndex() const { return (flags_ & page_flag::kIndex) != 0; }
bool Page::IsSpaceTree() const { return (flags_ & page_flag::kSpaceTree) != 0; }

RecordFormat Page::record_format() const {
  const bool table_leaf = IsLeaf() && !IsSpaceTree() && !IsIndex() && !IsLongValue();
  if (!table_leaf || layout_.Large() || (flags_ & page_flag::kNewRecordFormat) != 0) {
    return RecordFormat::kCurrent;
  }
  return RecordFormat::kOlderTagged;
}

}  // namespace tarvex::ese
