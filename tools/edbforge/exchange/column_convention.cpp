#include "tools/edbforge/exchange/column_convention.h"

#include "base/utf_conversion.h"
#include "tools/edbforge/exchange/scenario_error.h"

namespace tarvex::edbforge {

std::optional<TagPrefix> PrefixOf(std::u16string_view column) {
  TagPrefix prefix = TagPrefix::kString;
  size_t length = 1;
  if (column.starts_with(u"MS")) {
    prefix = TagPrefix::kMultiString;
    length = 2;
  } else if (column.starts_with(u"MN")) {
    prefix = TagPrefix::kMultiBinary;
    length = 2;
  } else if (column.empty()) {
    return std::nullopt;
  } else {
    switch (column.front()) {
      case u'S':
        prefix = TagPrefix::kString;
        break;
      case u'N':
        prefix = TagPrefix::kBinary;
        break;
      case u'L':
        prefix = TagPrefix::kLong;
        break;
      case u'Q':
        prefix = TagPrefix::kQuad;
        break;
      case u'T':
        prefix = TagPrefix::kTime;
        break;
      case u'B':
        prefix = TagPrefix::kBool;
        break;
      default:
        return std::nullopt;
    }
  }
  const std::u16string_view digits = column.substr(length);
  if (digits.empty() || digits.size() > 4 || digits.front() == u'0') return std::nullopt;
  for (char16_t unit : digits) {
    const bool hex = (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'f');
    if (!hex) return std::nullopt;
  }
  return prefix;
}

bool IsMultiValued(TagPrefix prefix) {
  return prefix == TagPrefix::kMultiString || prefix == TagPrefix::kMultiBinary;
}

ColumnDeclaration DefaultColumnDeclaration(std::u16string_view column, TagPrefix prefix) {
  ColumnDeclaration description;
  switch (prefix) {
    case TagPrefix::kString:
    case TagPrefix::kMultiString:
      description.type = ColumnType::kLongText;
      break;
    case TagPrefix::kMultiBinary:
      description.type = ColumnType::kBinary;
      break;
    case TagPrefix::kBinary:
      description.type =
          column == u"N67b0" || column == u"N65f9" ? ColumnType::kBinary : ColumnType::kLongBinary;
      break;
    case TagPrefix::kLong:
      description.type = ColumnType::kLong;
      break;
    case TagPrefix::kQuad:
    case TagPrefix::kTime:
      description.type = ColumnType::kCurrency;
      break;
    case TagPrefix::kBool:
      description.type = ColumnType::kBit;
      break;
  }
  return description;
}

bool TypeSuitsPrefix(ColumnType type, TagPrefix prefix) {
  switch (prefix) {
    case TagPrefix::kString:
      return type == ColumnType::kText || type == ColumnType::kLongText ||
             type == ColumnType::kBinary || type == ColumnType::kLongBinary;
    case TagPrefix::kMultiString:
      return type == ColumnType::kText || type == ColumnType::kLongText;
    case TagPrefix::kMultiBinary:
    case TagPrefix::kBinary:
      return type == ColumnType::kBinary || type == ColumnType::kLongBinary;
    case TagPrefix::kLong:
      return type == ColumnType::kLong;
    case TagPrefix::kQuad:
      return type == ColumnType::kCurrency || type == ColumnType::kBinary;
    case TagPrefix::kTime:
      return type == ColumnType::kCurrency || type == ColumnType::kBinary ||
             type == ColumnType::kDateTime;
    case TagPrefix::kBool:
      return type == ColumnType::kBit;
  }
  return false;
}

std::optional<ColumnType> ParseColumnTypeName(std::string_view name) {
  if (name == "text") return ColumnType::kText;
  if (name == "longtext") return ColumnType::kLongText;
  if (name == "binary") return ColumnType::kBinary;
  if (name == "longbinary") return ColumnType::kLongBinary;
  if (name == "long") return ColumnType::kLong;
  if (name == "currency") return ColumnType::kCurrency;
  if (name == "bit") return ColumnType::kBit;
  if (name == "datetime") return ColumnType::kDateTime;
  return std::nullopt;
}

ColumnDeclaration ResolveColumn(const std::map<std::u16string, ColumnDeclaration>& declared,
                                std::u16string_view column, const std::string& place) {
  const std::optional<TagPrefix> prefix = PrefixOf(column);
  if (!prefix) {
    throw ScenarioError(place + ": unknown column \"" + Utf16ToUtf8(column) +
                        "\" (not a column tag name such as S3001 or Q6748)");
  }
  const auto found = declared.find(std::u16string(column));
  return found != declared.end() ? found->second : DefaultColumnDeclaration(column, *prefix);
}

ColumnDefinition MakeColumnDefinition(std::u16string_view column,
                                      const ColumnDeclaration& description) {
  ColumnDefinition definition;
  definition.name = std::u16string(column);
  definition.type = description.type;
  definition.storage = description.storage;
  definition.code_page = description.code_page;
  definition.fixed_size = description.fixed_size;
  const std::optional<TagPrefix> prefix = PrefixOf(column);
  definition.multi_valued = prefix && IsMultiValued(*prefix);
  definition.compressed =
      description.type == ColumnType::kLongText || description.type == ColumnType::kLongBinary;
  return definition;
}

}  // namespace tarvex::edbforge
