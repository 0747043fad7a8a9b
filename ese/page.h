#pragma once

// One page taken apart: its header, and its entries (key and data) with every offset checked
// against the page. A page that cannot be taken apart is no page: Parse gives none.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ese/page_file.h"
#include "ese/page_layout.h"

namespace tarvex::ese {

// How the records of a table's leaf page lay out their tagged columns: the current layout, or
// the older one of pages an upgraded file still holds as the earlier engine wrote them.
enum class RecordFormat { kCurrent, kOlderTagged };

struct PageEntry {
  std::vector<std::uint8_t> key;  // common prefix and local key, joined
  std::span<const std::uint8_t> data;
  std::uint8_t tag_flags = 0;
  bool deleted() const;
};

class Page {
 public:
  static std::optional<Page> Parse(const PageLayout& layout, std::uint32_t page_number,
                                   PageBytes bytes);

  std::uint32_t number() const { return number_; }
  std::uint32_t flags() const { return flags_; }
  std::uint32_t previous_page() const { return previous_; }
  std::uint32_t next_page() const { return next_; }
  std::uint32_t father_object_id() const { return father_object_id_; }
  std::uint64_t database_time() const { return database_time_; }

  bool IsRoot() const;
  bool IsLeaf() const;
  bool IsLongValue() const;
  bool IsIndex() const;
  bool IsSpaceTree() const;
  // Only leaves of a table's own tree can hold records of the older format; every other page,
  // and every page of the large-page layout (which came after it), is in the current one.
  RecordFormat record_format() const;

  // Entries after the reserved tags; tag 0 holds the page's key prefix or root header.
  std::size_t entry_count() const { return entry_tags_; }
  // None when the entry's sizes run outside its tag.
  std::optional<PageEntry> Entry(std::size_t index) const;
  // The entry's key against `key` (<0, 0, >0) without building it, for searches of branch
  // pages; none when the entry is damaged.
  std::optional<int> CompareKey(std::size_t index, std::span<const std::uint8_t> key) const;
  // The child page number of a branch entry; none when the data is too short.
  static std::optional<std::uint32_t> ChildPage(const PageEntry& entry);

  const PageBytes& bytes() const { return bytes_; }

 private:
  // An entry's key, in two parts, and its data, as they lie in the page.
  struct EntryParts {
    std::span<const std::uint8_t> prefix;
    std::span<const std::uint8_t> local;
    std::span<const std::uint8_t> data;
    std::uint8_t tag_flags = 0;
  };

  Page() = default;
  std::optional<EntryParts> Parts(std::size_t index) const;
  std::span<const std::uint8_t> TagValue(std::size_t tag, std::uint8_t& flags) const;

  PageLayout layout_;
  PageBytes bytes_;
  std::uint32_t number_ = 0;
  std::uint32_t flags_ = 0;
  std::uint32_t previous_ = 0;
  std::uint32_t next_ = 0;
  std::uint32_t father_object_id_ = 0;
  std::uint64_t database_time_ = 0;
  std::size_t first_entry_tag_ = 1;
  std::size_t entry_tags_ = 0;
  std::span<const std::uint8_t> prefix_;
};

}  // namespace tarvex::ese
