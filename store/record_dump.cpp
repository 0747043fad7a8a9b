#include "store/record_dump.h"

#include <bit>
#include <charconv>
#include <cstring>

#include "base/code_page_1252.h"
#include "base/terminal_text.h"
#include "base/utf_conversion.h"
#include "ese/byte_order.h"
#include "store/column_decompression.h"
#include "store/lzxpress_decoder.h"

namespace tarvex {
namespace {

using Json = nlohmann::ordered_json;
using ese::ColumnType;

std::string Hex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * bytes.size());
  for (std::uint8_t byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 15]);
  }
  return text;
}

Json HexJson(std::span<const std::uint8_t> bytes) { return Json{{"hex", Hex(bytes)}}; }

// The shortest text that reads back as the same double, always with a fraction or exponent.
Json FloatJson(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text(buffer, result.ptr);
  if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
  return Json{{"float", text}};
}

std::string GuidText(std::span<const std::uint8_t> bytes) {
  char text[37];
  std::snprintf(text, sizeof text,
                "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", ese::LoadLe32(bytes.data()),
                ese::LoadLe16(bytes.data() + 4), ese::LoadLe16(bytes.data() + 6), bytes[8],
                bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
  return text;
}

template <typename T>
T Load(std::span<const std::uint8_t> bytes) {
  std::uint64_t bits = 0;
  for (std::size_t i = sizeof(T); i-- > 0;) bits = (bits << 8) | bytes[i];
  if constexpr (std::is_floating_point_v<T>) {
    using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
    return std::bit_cast<T>(static_cast<Bits>(bits));
  } else {
    return static_cast<T>(bits);
  }
}

bool IsText(ColumnType type) { return type == ColumnType::kText || type == ColumnType::kLongText; }

// Bytes of the column's value as the application stored them: decompressed, with 7-bit packed
// characters of a UTF-16 column widened back to UTF-16.
std::optional<std::vector<std::uint8_t>> Unpacked(const ese::ColumnSchema& column,
                                                  std::span<const std::uint8_t> stored) {
  std::optional<std::vector<std::uint8_t>> bytes = Decompress(stored);
  if (!bytes) return std::nullopt;
  const bool seven_bit = stored[0] != kLzxpressLeadByte;
  if (seven_bit && IsText(column.type) && column.code_page == ese::kCodePageUnicode) {
    return WidenToUtf16Le(*bytes);
  }
  return bytes;
}

// A long value whole; none when it cannot be read completely.
std::optional<std::vector<std::uint8_t>> LongValueBytes(const ese::Record& record,
                                                        std::span<const std::uint8_t> id) {
  const ese::LongValues* long_values = record.table().long_values();
  if (long_values == nullptr) return std::nullopt;
  std::vector<std::uint8_t> whole;
  bool damaged = false;
  const std::optional<std::uint64_t> size =
      long_values->ForEachSegment(id, [&](const ese::LongValueSegment& segment) {
        if (!segment.compressed()) {
          whole.insert(whole.end(), segment.stored.begin(), segment.stored.end());
          return;
        }
        const std::optional<std::vector<std::uint8_t>> unpacked =
            DecompressSegment(segment.stored, segment.size);
        if (!unpacked) {
          damaged = true;
          return;
        }
        whole.insert(whole.end(), unpacked->begin(), unpacked->end());
      });
  if (!size || damaged) return std::nullopt;
  return whole;
}

Json ScalarJson(const ese::ColumnSchema& column, std::span<const std::uint8_t> bytes) {
  const std::uint32_t natural = ese::NaturalSize(column.type);
  if (natural != 0 && bytes.size() != natural) return HexJson(bytes);
  switch (column.type) {
    case ColumnType::kBit:
      return bytes[0] != 0;
    case ColumnType::kUnsignedByte:
      return bytes[0];
    case ColumnType::kShort:
      return Load<std::int16_t>(bytes);
    case ColumnType::kUnsignedShort:
      return Load<std::uint16_t>(bytes);
    case ColumnType::kLong:
      return Load<std::int32_t>(bytes);
    case ColumnType::kUnsignedLong:
      return Load<std::uint32_t>(bytes);
    case ColumnType::kCurrency:
    case ColumnType::kLongLong:
    case ColumnType::kDateTime:  // the stored 8 bytes as they are
      return Load<std::int64_t>(bytes);
    case ColumnType::kIeeeSingle:
      return FloatJson(static_cast<double>(Load<float>(bytes)));
    case ColumnType::kIeeeDouble:
      return FloatJson(Load<double>(bytes));
    case ColumnType::kGuid:
      return GuidText(bytes);
    case ColumnType::kText:
    case ColumnType::kLongText: {
      const std::string_view chars(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      if (column.code_page == ese::kCodePageUnicode) {
        // Fixed columns are padded bytewise: an odd last byte is the low half of one more unit.
        std::u16string text((chars.size() + 1) / 2, u'\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) {
          text[i / 2] = static_cast<char16_t>(text[i / 2] | (bytes[i] << (8 * (i % 2))));
        }
        return Utf16ToUtf8(text);
      }
      return Utf16ToUtf8(Windows1252ToUtf16(chars));
    }
    default:
      return HexJson(bytes);
  }
}

// One value as the application wrote it, or null when it is absent or cannot be read.
Json SingleValue(const ese::Record& record, const ese::ColumnSchema& column,
                 std::span<const std::uint8_t> stored, bool separated, bool compressed) {
  std::optional<std::vector<std::uint8_t>> bytes;
  if (separated) {
    bytes = LongValueBytes(record, stored);
  } else if (compressed && !stored.empty()) {
    bytes = Unpacked(column, stored);
  } else {
    bytes.emplace(stored.begin(), stored.end());
  }
  if (!bytes) return nullptr;
  return ScalarJson(column, *bytes);
}

Json ValueJson(const ese::Record& record, std::size_t position) {
  const ese::ColumnSchema& column = *record.Column(position);
  const std::optional<ese::StoredValue> value = record.Value(position);
  if (!value || !value->present) return nullptr;
  const bool compressed = (value->flags & ese::value_flag::kCompressed) != 0;
  if ((value->flags & (ese::value_flag::kMultiValue | ese::value_flag::kTwoValues)) == 0) {
    return SingleValue(record, column, value->bytes,
                       (value->flags & ese::value_flag::kSeparated) != 0, compressed);
  }
  const auto parts = ese::SplitMultiValue(*value);
  if (!parts) return nullptr;
  Json values = Json::array();
  for (std::size_t index = 0; index < parts->size(); ++index) {
    const ese::MultiValuePart& part = (*parts)[index];
    // Only the first value of a compressed multi value is stored compressed.
    values.push_back(SingleValue(record, column, part.bytes, part.separated,
                                 compressed && index == 0));
  }
  return values;
}

}  // namespace

Json DumpValue(const ese::Record& record, std::size_t position) {
  if (record.Column(position) == nullptr) return nullptr;
  return ValueJson(record, position);
}

Json DumpColumns(const ese::Table& table) {
  Json columns = Json::array();
  for (const ese::ColumnSchema& column : table.columns()) {
    columns.push_back({{"name", Utf16ToUtf8(column.name)},
                       {"identifier", column.identifier},
                       {"type", static_cast<std::uint32_t>(column.type)}});
  }
  return columns;
}

nlohmann::json DumpRecord(const ese::Record& record) {
  nlohmann::json values = nlohmann::json::object();
  for (std::size_t position = 0; position < record.column_count(); ++position) {
    values[Utf16ToUtf8(record.Column(position)->name)] = ValueJson(record, position);
  }
  return values;
}

std::uint32_t DumpTable(const ese::Table& table, std::ostream& out,
                        const std::function<nlohmann::json()>& trailing) {
  // Names and values are the file's: invisible terminal controls leave as escapes too.
  out << "{\n \"table\": " << TerminalSafeJson(Json(Utf16ToUtf8(table.name())).dump())
      << ",\n \"columns\": " << TerminalSafeJson(DumpColumns(table).dump()) << ",\n \"records\": [";
  std::uint32_t unreadable = 0;
  bool first = true;
  table.ForEachRecord([&](std::uint32_t, const ese::Record* record) {
    if (record == nullptr) {
      ++unreadable;
      return true;
    }
    // Written value by value: tables like the engine's own test table have 65,000 columns.
    out << (first ? "\n  {" : ",\n  {");
    for (std::size_t position = 0; position < record->column_count(); ++position) {
      out << (position == 0 ? "" : ", ")
          << TerminalSafeJson(Json(Utf16ToUtf8(record->Column(position)->name)).dump()) << ": "
          << TerminalSafeJson(ValueJson(*record, position).dump());
    }
    out << "}";
    first = false;
    return true;
  });
  out << "\n ]";
  if (trailing) {
    const nlohmann::json members = trailing();
    for (const auto& [name, value] : members.items()) {
      out << ",\n " << Json(name).dump() << ": " << value.dump();
    }
  }
  out << "\n}\n";
  return unreadable;
}

Json DescribeTables(const ese::Database& database) {
  Json tables = Json::array();
  for (const auto& table : database.tables()) {
    Json columns = DumpColumns(*table);
    for (std::size_t position = 0; position < table->columns().size(); ++position) {
      columns[position]["code_page"] = table->columns()[position].code_page;
    }
    Json entry = {{"name", Utf16ToUtf8(table->name())},
                  {"records", table->record_count()},
                  {"complete", table->walk_complete()},
                  {"columns", std::move(columns)}};
    if (database.census() != nullptr) {
      const ese::TableRecovery recovery = table->recovery();
      entry["recovery"] = {{"tree_walk", recovery.live},
                           {"deep_scan_only", recovery.recovered},
                           {"deleted", recovery.deleted},
                           {"earlier_versions", recovery.earlier_versions}};
    }
    tables.push_back(std::move(entry));
  }
  const ese::ReadReport& report = database.report();
  Json description = {{"format_version", database.header().format_version},
          {"format_revision", database.header().format_revision},
          {"page_size", database.layout().page_size},
          {"catalog_complete", database.catalog().complete},
          {"catalog_from_shadow", database.catalog().used_shadow},
          {"tables", std::move(tables)},
          {"pages",
           {{"read", report.pages_read.load()},
            {"checksum_mismatches", report.checksum_mismatches.load()},
            {"unparsable", report.unparsable_pages.load()}}},
          {"unreadable_records", report.unreadable_records.load()},
          {"unreadable_long_values", report.unreadable_long_values.load()}};
  if (const ese::PageCensus* census = database.census()) {
    const ese::CensusCounts& counts = census->counts();
    description["deep_scan"] = {{"pages", counts.pages},
                                {"empty_pages", counts.empty_pages},
                                {"damaged_pages", counts.damaged_pages},
                                {"leaf_pages", counts.leaf_pages}};
  }
  return description;
}

}  // namespace tarvex
