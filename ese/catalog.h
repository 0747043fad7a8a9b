#pragma once

// The catalogue (MSysObjects): every table with its columns, trees and callbacks. Read from
// MSysObjectsShadow where a page of MSysObjects cannot be read.

#include <cstdint>
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

struct TableSchema {
  std::u16string name;
  std::uint32_t object_id = 0;
  std::uint32_t root_page = 0;
  std::uint32_t flags = 0;
  std::u16string template_name;
  std::optional<std::uint32_t> long_value_root;
  std::optional<std::uint32_t> long_value_object_id;
  std::vector<std::u16string> callbacks;
  // Template columns first, then the table's own; each group in catalogue (identifier) order.
  std::vector<ColumnSchema> columns;
};

struct Catalog {
  std::vector<TableSchema> tables;  // in catalogue order
  bool complete = true;             // false when some catalogue row or page was lost
  bool used_shadow = false;
};

// Reads both catalogue copies as needed. `layout` gives the page layout.
Catalog ReadCatalog(PageFile& file, const PageLayout& layout);

// The catalogue's own columns, for reading its rows (and for dumping MSysObjects).
const std::vector<ColumnSchema>& CatalogColumns();

}  // namespace tarvex::ese
