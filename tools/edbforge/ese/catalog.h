#pragma once

// The catalog: the rows of MSysObjects (and its shadow copy MSysObjectsShadow) that describe
// every table, its columns, its indexes, its long-value tree and its callback, in key order
// (table object id, row type, id).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/edbforge/ese/page_format.h"
#include "tools/edbforge/ese/table_layout.h"

namespace tarvex::edbforge {

struct CatalogTree {
  uint32_t object_id = 0;
  uint32_t root_page = 0;
  uint32_t pages = 1;
};

// An index: its tree (for a primary index, the table's own) and its key columns' ids.
struct CatalogIndex {
  std::u16string name;
  CatalogTree tree;
  std::vector<uint32_t> columns;
};

struct CatalogTable {
  const TableLayout* layout = nullptr;
  CatalogTree tree;  // `pages`: its primary extent
  uint32_t flags = 0;
  std::u16string template_name;
  std::optional<CatalogTree> long_values;
  std::optional<std::u16string> callback;
  std::optional<CatalogIndex> primary_index;  // a key of the table's columns
  std::vector<CatalogIndex> indexes;          // secondary, in object id order
};

struct CatalogRow {
  std::vector<uint8_t> key;
  std::vector<uint8_t> data;
};

// The columns of MSysObjects for a format revision.
TableLayout CatalogLayout(uint32_t revision);

// The rows for the two catalog tables themselves and for `tables` (in object id order), ready
// to be appended to both catalog trees.
std::vector<CatalogRow> BuildCatalogRows(const PageFormat& format, const TableLayout& catalog,
                                         const CatalogTree& objects, const CatalogTree& shadow,
                                         const std::vector<CatalogTable>& tables);

}  // namespace tarvex::edbforge
