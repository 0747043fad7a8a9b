#include "tools/edbforge/ese/table_layout.h"

#include <algorithm>

#include "base/code_page_1252.h"
#include "base/utf_conversion.h"
#include "tools/edbforge/ese/ese_error.h"

namespace tarvex::edbforge {
namespace {

struct Range {
  uint32_t first;
  uint32_t last;
};

Range RangeOf(ColumnStorage storage) {
  switch (storage) {
    case ColumnStorage::kFixed:
      return {ese::record::kFirstFixed, ese::record::kLastFixed};
    case ColumnStorage::kVariable:
      return {ese::record::kFirstVariable, ese::record::kLastVariable};
    case ColumnStorage::kTagged:
      break;
  }
  return {ese::record::kFirstTagged, 0xffff};
}

// The catalog keeps names as 8-bit text.
void CheckName(std::u16string_view name, const std::string& place) {
  if (name.empty()) throw EseWriteError(place + ": a name may not be empty");
  if (Windows1252ToUtf16(Utf16ToWindows1252(name)) != name) {
    throw EseWriteError(place + ": the name has characters outside code page 1252");
  }
}

}  // namespace

bool IsLongType(ColumnType type) {
  return type == ColumnType::kLongBinary || type == ColumnType::kLongText;
}

bool IsTextType(ColumnType type) {
  return type == ColumnType::kText || type == ColumnType::kLongText;
}

const char* ColumnTypeName(ColumnType type) {
  static const char* const kNames[] = {
      "Nil",        "Bit",        "UnsignedByte", "Short",    "Long", "Currency",
      "IEEESingle", "IEEEDouble", "DateTime",     "Binary",   "Text", "LongBinary",
      "LongText",   "SLV",        "UnsignedLong", "LongLong", "GUID", "UnsignedShort"};
  const auto index = static_cast<uint32_t>(type);
  return index < std::size(kNames) ? kNames[index] : "unknown";
}

TableLayout TableLayout::Build(const TableDefinition& definition,
                               const TableLayout* template_layout) {
  const std::string table = "table \"" + Utf16ToUtf8(definition.name) + "\"";
  CheckName(definition.name, table);
  if (definition.callback) CheckName(*definition.callback, table + ", callback");
  TableLayout layout;
  layout.name_ = definition.name;
  layout.is_template_ = definition.is_template;

  const bool derived = template_layout != nullptr;
  if (derived) {
    if (!template_layout->is_template_) {
      throw EseWriteError(table + ": \"" + Utf16ToUtf8(definition.template_table) +
                          "\" is not a template table");
    }
    if (definition.is_template) {
      throw EseWriteError(table + ": a derived table cannot be a template itself");
    }
    if (definition.columns.size() > template_layout->columns_.size()) {
      throw EseWriteError(table +
                          ": a derived table may add at most as many columns as its "
                          "template has (libesedb cannot read it otherwise)");
    }
    for (ColumnLayout column : template_layout->columns_) {
      column.from_template = true;
      layout.columns_.push_back(std::move(column));
    }
  }

  uint32_t next_id[3] = {ese::record::kFirstFixed, ese::record::kFirstVariable,
                         ese::record::kFirstTagged};
  std::vector<ColumnLayout> own;
  for (const ColumnDefinition& definition_column : definition.columns) {
    const std::string place = table + ", column \"" + Utf16ToUtf8(definition_column.name) + "\"";
    CheckName(definition_column.name, place);
    const auto type_number = static_cast<uint32_t>(definition_column.type);
    if (type_number < 1 || type_number > 17) {
      throw EseWriteError(place + ": column type " + std::to_string(type_number) +
                          " is not 1 to 17");
    }
    ColumnLayout column;
    column.name = definition_column.name;
    column.type = definition_column.type;
    column.storage = definition_column.storage;
    column.multi_valued = definition_column.multi_valued;
    column.compressed = definition_column.compressed;
    column.not_null = definition_column.not_null;
    if (IsTextType(column.type)) {
      column.code_page = definition_column.code_page;
      if (column.code_page != kCodePageUnicode && column.code_page != kCodePageWestern) {
        throw EseWriteError(place + ": code page must be 1200 or 1252");
      }
    }
    if (derived && column.storage != ColumnStorage::kTagged) {
      throw EseWriteError(place + ": a derived table may add tagged columns only");
    }
    if (column.multi_valued && column.storage != ColumnStorage::kTagged) {
      throw EseWriteError(place + ": only tagged columns can be multi-valued");
    }
    if (column.storage == ColumnStorage::kFixed) {
      if (IsLongType(column.type) || column.type == ColumnType::kSuperLongValue) {
        throw EseWriteError(place + ": long types cannot be fixed columns");
      }
      column.fixed_size = NaturalSize(column.type);
      if (column.fixed_size == 0) {
        column.fixed_size = definition_column.fixed_size;
        if (column.fixed_size < 1 || column.fixed_size > 255) {
          throw EseWriteError(place + ": a fixed Binary or Text column needs a size of 1-255");
        }
      }
    }
    const Range range = RangeOf(column.storage);
    uint32_t& counter = next_id[static_cast<int>(column.storage)];
    column.identifier = definition_column.identifier != 0 ? definition_column.identifier : counter;
    if (column.identifier < range.first || column.identifier > range.last) {
      throw EseWriteError(place + ": identifier " + std::to_string(column.identifier) +
                          " is outside " + std::to_string(range.first) + "-" +
                          std::to_string(range.last));
    }
    counter = std::max(counter, column.identifier + 1);
    own.push_back(std::move(column));
  }

  std::stable_sort(own.begin(), own.end(), [](const ColumnLayout& a, const ColumnLayout& b) {
    return a.identifier < b.identifier;
  });
  uint32_t expected_fixed = ese::record::kFirstFixed;
  auto record_offset = static_cast<uint32_t>(ese::record::kHeaderSize);
  for (size_t index = 0; index < own.size(); ++index) {
    ColumnLayout& column = own[index];
    if (index > 0 && own[index - 1].identifier == column.identifier) {
      throw EseWriteError(table + ": identifier " + std::to_string(column.identifier) +
                          " is used twice");
    }
    if (column.storage == ColumnStorage::kFixed) {
      // The reader walks fixed columns back to back, so their numbers may not leave holes.
      if (column.identifier != expected_fixed++) {
        throw EseWriteError(table + ": fixed columns must be numbered 1, 2, 3 ... without gaps");
      }
      column.record_offset = record_offset;
      record_offset += column.fixed_size;
    }
  }
  if (derived && !own.empty() && own.front().identifier != ese::record::kFirstTagged) {
    throw EseWriteError(table + ": the first column of a derived table must be number 256");
  }
  for (ColumnLayout& column : own) layout.columns_.push_back(std::move(column));
  for (size_t index = 0; index < layout.columns_.size(); ++index) {
    if (!layout.by_name_.emplace(layout.columns_[index].name, index).second) {
      throw EseWriteError(table + ": column \"" + Utf16ToUtf8(layout.columns_[index].name) +
                          "\" is declared twice");
    }
  }
  return layout;
}

std::optional<size_t> TableLayout::Find(std::u16string_view column_name) const {
  const auto found = by_name_.find(std::u16string(column_name));
  if (found == by_name_.end()) return std::nullopt;
  return found->second;
}

}  // namespace tarvex::edbforge
