#pragma once

// The catalogue (MSysObjects): every table with its columns, trees and callbacks. Read from
// MSysObjectsShadow where a page of MSysObjects cannot be read.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ese/format.h"
#include "ese/tree.h"

namespace tarvex::ese {

enum class ColumnStorage { kFixed, kVariable, kTagged };

struct ColumnSchema {
  std::u16string name;
  std::uint32_t identifier = 0;
  ColumnType type = ColumnType::kNil;
  std::uint32_t code_page = 0;
  std::uint32_t flags = 0;
  std::uint32_t fixed_size = 0;     // fixed columns: width in the record
  std::uint32_t record_offset = 0;  // fixed columns: offset from the record start
  std::optional<std::vector<std::uint8_t>> default_value;
  bool from_template = false;  // a template's column in a derived table

  ColumnStorage storage() const;
};

// A table's columns in reader order: a derived table's template columns first (one copy shared
// by every table derived from that template), then its own.
class ColumnList {
 public:
  ColumnList() = default;
  ColumnList(std::shared_ptr<const std::vector<ColumnSchema>> inherited,
             std::vector<ColumnSchema> own);

  std::size_t size() const { return inherited_size() + own_->size(); }
  bool empty() const { return size() == 0; }
  const ColumnSchema& operator[](std::size_t position) const {
    const std::size_t inherited = inherited_size();
    return position < inherited ? (*inherited_)[position] : (*own_)[position - inherited];
  }
  const std::vector<ColumnSchema>& own() const { return *own_; }

  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = ColumnSchema;
    using difference_type = std::ptrdiff_t;
    using pointer = const ColumnSchema*;
    using reference = const ColumnSchema&;
    Iterator(const ColumnList* list, std::size_t position) : list_(list), position_(position) {}
    reference operator*() const { return (*list_)[position_]; }
    pointer operator->() const { return &(*list_)[position_]; }
    Iterator& operator++() {
      ++position_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++position_;
      return before;
    }
    bool operator==(const Iterator& other) const { return position_ == other.position_; }

   private:
    const ColumnList* list_;
    std::size_t position_;
  };
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, size()); }

 private:
  std::size_t inherited_size() const { return inherited_ ? inherited_->size() : 0; }

  std::shared_ptr<const std::vector<ColumnSchema>> inherited_;
  std::shared_ptr<const std::vector<ColumnSchema>> own_ =
      std::make_shared<const std::vector<ColumnSchema>>();
};

// A secondary index: a tree of its own (pages flagged as an index's, under its own object id)
// whose entries hold the key of a record of the table.
struct IndexSchema {
  std::u16string name;
  std::uint32_t object_id = 0;
  std::uint32_t root_page = 0;
  std::vector<std::uint32_t> key_columns;  // column identifiers, most significant first
};

struct TableSchema {
  std::u16string name;
  std::uint32_t object_id = 0;
  std::uint32_t root_page = 0;
  std::uint32_t flags = 0;
  std::u16string template_name;
  std::optional<std::uint32_t> long_value_root;
  std::optional<std::uint32_t> long_value_object_id;
  std::vector<std::u16string> callbacks;
  std::vector<IndexSchema> indexes;  // not the primary index, whose tree is the table's
  // Template columns first, then the table's own; each group in catalogue (identifier) order.
  ColumnList columns;
};

struct Catalog {
  std::vector<TableSchema> tables;  // in catalogue order
  bool complete = true;             // false when some catalogue row or page was lost
  bool used_shadow = false;
};

class PageCensus;

// Reads both catalogue copies as needed. `layout` gives the page layout. With a census (the
// deep scan), rows on catalogue leaves that neither tree reaches any more are added too.
Catalog ReadCatalog(PageFile& file, const PageLayout& layout, const PageCensus* census = nullptr);

// The catalogue's own columns, for reading its rows (and for dumping MSysObjects).
const std::vector<ColumnSchema>& CatalogColumns();

}  // namespace tarvex::ese
