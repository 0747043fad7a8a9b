#pragma once

// A table's columns as the reader will see them: identifiers assigned, template columns first,
// each group in identifier order, fixed columns with their record offsets.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tools/edbforge/ese/schema.h"

namespace tarvex::edbforge {

struct ColumnLayout {
  std::u16string name;
  ColumnType type = ColumnType::kBinary;
  ColumnStorage storage = ColumnStorage::kTagged;
  uint32_t identifier = 0;
  uint32_t fixed_size = 0;     // bytes in the record (fixed columns)
  uint32_t record_offset = 0;  // fixed columns: offset from the record start
  uint32_t code_page = 0;      // text columns
  bool multi_valued = false;
  bool compressed = false;
  bool not_null = false;
  bool from_template = false;
};

class TableLayout {
 public:
  // Checks the definition (throws EseWriteError naming table and column) and numbers the
  // columns. `template_layout` is the layout of the definition's template table, if any.
  static TableLayout Build(const TableDefinition& definition, const TableLayout* template_layout);

  const std::u16string& name() const { return name_; }
  bool is_template() const { return is_template_; }
  // All columns in reader order; the table's own ones are those not from_template.
  const std::vector<ColumnLayout>& columns() const { return columns_; }
  std::optional<size_t> Find(std::u16string_view column_name) const;

 private:
  std::u16string name_;
  bool is_template_ = false;
  std::vector<ColumnLayout> columns_;
  std::unordered_map<std::u16string, size_t> by_name_;
};

using ese::NaturalSize;
bool IsLongType(ColumnType type);
bool IsTextType(ColumnType type);
const char* ColumnTypeName(ColumnType type);

}  // namespace tarvex::edbforge
