#pragma once

// The catalog: the rows of MSysObjects (and its shadow copy MSysObjectsShadow) that describe
// every table, its columns, its long-value tree and its callback, in key order
// (table object id, row type, id).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/edbforge/ese/page_format.h"
#include "tools/edbforge/ese/table_layout.h"

namespace tarvex::edbforge {

inline constexpr uint32_t kCatalogObjectId = 2;
inline constexpr uint32_t kCatalogShadowObjectId = 3;

// Catalog row types.
inline constexpr int16_t kCatalogTypeTable = 1;
inline constexpr int16_t kCatalogTypeColumn = 2;
inline constexpr int16_t kCatalogTypeLongValue = 4;
inline constexpr int16_t kCatalogTypeCallback = 5;

// Table flags kept in the catalog.
inline constexpr uint32_t kTableFlagDerived = 0x10000000;
inline constexpr uint32_t kTableFlagTemplate = 0x20000000;
inline constexpr uint32_t kTableFlagFixedDdl = 0x40000000;
inline constexpr uint32_t kTableFlagSystem = 0x80000000;

struct CatalogTree {
  uint32_t object_id = 0;
  uint32_t root_page = 0;
  uint32_t pages = 1;
};

struct CatalogTable {
  const TableLayout* layout = nullptr;
  CatalogTree tree;
  uint32_t flags = 0;
  std::u16string template_name;
  std::optional<CatalogTree> long_values;
  std::optional<std::u16string> callback;
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
