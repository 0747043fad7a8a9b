#include "tools/edbforge/ese/record_encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>

#include "base/code_page_1252.h"
#include "base/utf_conversion.h"
#include "ese/byte_order.h"
#include "ese/format.h"
#include "tools/edbforge/ese/ese_error.h"

namespace tarvex::edbforge {
namespace {

using ese::AppendLe16;
using ese::AppendLe32;
namespace value_flag = ese::value_flag;

// A separated value in the record: its flags byte and the long-value id.
constexpr size_t kSeparatedValueSize = 1 + ese::long_value::kIdSize;

template <typename T>
std::vector<uint8_t> LittleEndianBytes(T value) {
  std::vector<uint8_t> bytes(sizeof(T));
  if constexpr (std::is_floating_point_v<T>) {
    using Bits = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
    const auto bits = std::bit_cast<Bits>(value);
    for (size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
  } else {
    using Unsigned = std::make_unsigned_t<T>;
    const auto bits = static_cast<Unsigned>(value);
    for (size_t i = 0; i < sizeof(T); ++i) {
      bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(bits) >> (8 * i));
    }
  }
  return bytes;
}

struct TaggedCell {
  const ColumnLayout* column = nullptr;
  std::vector<StoredValue> values = {};
  std::optional<uint32_t> long_value_id = {};
  // Multi values: the long-value ids of the values kept apart, one entry per value.
  std::vector<std::optional<uint32_t>> part_ids = {};
};

size_t InlineTaggedSize(const TaggedCell& cell) {
  if (cell.long_value_id) return ese::tagged::kEntrySize + kSeparatedValueSize;
  if (cell.values.size() == 1)
    return ese::tagged::kEntrySize + 1 + cell.values.front().bytes.size();
  size_t size = ese::tagged::kEntrySize + 1 + 2 * cell.values.size();
  for (size_t part = 0; part < cell.values.size(); ++part) {
    const bool apart = part < cell.part_ids.size() && cell.part_ids[part];
    size += apart ? ese::long_value::kIdSize : cell.values[part].bytes.size();
  }
  return size;
}

// The engine keeps a multi value of exactly two values of a column that is not long in the
// short form: one size byte, then both values.
bool TwoValueForm(const TaggedCell& cell) {
  return cell.values.size() == 2 && !IsLongType(cell.column->type) &&
         cell.values.front().bytes.size() <= 0xff;
}

// The tagged columns in the current layout: a directory of ids and offsets, then the values,
// each led by its flags byte where one is needed.
void AppendTaggedColumns(const PageFormat& format, const TableLayout& layout,
                         const std::vector<TaggedCell>& tagged, const std::string& place,
                         bool two_value_form, std::vector<uint8_t>& out) {
  const uint32_t offset_mask =
      format.Extended() ? ese::tagged::kLargePageOffsetMask : ese::tagged::kSmallPageOffsetMask;
  std::vector<uint8_t> directory;
  std::vector<uint8_t> data;
  const size_t directory_size = ese::tagged::kEntrySize * tagged.size();
  for (const TaggedCell& cell : tagged) {
    const ColumnLayout& column = *cell.column;
    uint8_t flags = IsLongType(column.type) ? value_flag::kLongType : 0;
    std::vector<uint8_t> payload;
    if (cell.long_value_id) {
      // A separated value's segments tell whether they are compressed.
      flags |= value_flag::kSeparated;
      AppendLe32(payload, *cell.long_value_id);
    } else if (cell.values.size() == 1) {
      payload = cell.values.front().bytes;
      if (cell.values.front().compressed) flags |= value_flag::kCompressed;
    } else if (two_value_form && TwoValueForm(cell)) {
      flags |= value_flag::kMultiValue | value_flag::kTwoValues;
      payload.push_back(static_cast<uint8_t>(cell.values.front().bytes.size()));
      for (const StoredValue& value : cell.values) {
        payload.insert(payload.end(), value.bytes.begin(), value.bytes.end());
        if (value.compressed) flags |= value_flag::kCompressed;
      }
    } else {
      flags |= value_flag::kMultiValue;
      std::vector<std::vector<uint8_t>> parts;
      for (size_t part = 0; part < cell.values.size(); ++part) {
        if (part < cell.part_ids.size() && cell.part_ids[part]) {
          parts.emplace_back();
          AppendLe32(parts.back(), *cell.part_ids[part]);
        } else {
          parts.push_back(cell.values[part].bytes);
          if (cell.values[part].compressed) flags |= value_flag::kCompressed;
        }
      }
      size_t position = 2 * parts.size();
      for (size_t part = 0; part < parts.size(); ++part) {
        if (position > ese::kMultiValueOffsetMask) {
          throw EseWriteError(place + ", column \"" + Utf16ToUtf8(column.name) +
                              "\": the values exceed 32767 bytes");
        }
        const bool apart = part < cell.part_ids.size() && cell.part_ids[part];
        AppendLe16(payload,
                   static_cast<uint16_t>(position | (apart ? ese::kMultiValueSeparated : 0)));
        position += parts[part].size();
      }
      for (const auto& part : parts) payload.insert(payload.end(), part.begin(), part.end());
    }
    const size_t offset = directory_size + data.size();
    if (offset > offset_mask) {
      throw EseWriteError(place + ": the tagged columns exceed the record's offset range");
    }
    // Small pages carry the flag byte only when it says something (or the value is empty,
    // which the reader could not tell from its neighbour otherwise).
    const bool flag_byte = format.Extended() || flags != 0 || payload.empty();
    uint16_t offset_field = static_cast<uint16_t>(offset);
    if (flag_byte && !format.Extended())
      offset_field = static_cast<uint16_t>(offset_field | ese::tagged::kExtendedInfo);
    // Template columns in a derived table's record carry the derived bit.
    if (column.from_template && !layout.is_template()) {
      offset_field = static_cast<uint16_t>(offset_field | ese::tagged::kDerived);
    }
    AppendLe16(directory, static_cast<uint16_t>(column.identifier));
    AppendLe16(directory, offset_field);
    if (flag_byte) data.push_back(flags);
    data.insert(data.end(), payload.begin(), payload.end());
  }
  out.insert(out.end(), directory.begin(), directory.end());
  out.insert(out.end(), data.begin(), data.end());
}

// The tagged columns in the older layout: one entry (id, size and flags, value) per value, the
// values of a multi-valued column in consecutive entries; a long column's value led by a byte
// that says whether a long-value id follows.
void AppendOlderTaggedColumns(const TableLayout& layout, const std::vector<TaggedCell>& tagged,
                              const std::string& place, std::vector<uint8_t>& out) {
  for (const TaggedCell& cell : tagged) {
    const ColumnLayout& column = *cell.column;
    const bool long_type = IsLongType(column.type);
    uint16_t flags = long_type ? ese::old_tagged::kLongValue : 0;
    if (column.from_template && !layout.is_template()) flags |= ese::old_tagged::kDerived;
    auto append = [&](uint8_t lead, std::span<const uint8_t> bytes) {
      const size_t size = (long_type ? 1 : 0) + bytes.size();
      if (size > ese::old_tagged::kSizeMask) {
        throw EseWriteError(place + ", column \"" + Utf16ToUtf8(column.name) +
                            "\": a value of " + std::to_string(size) +
                            " bytes exceeds the older record format's 4095");
      }
      AppendLe16(out, static_cast<uint16_t>(column.identifier));
      AppendLe16(out, static_cast<uint16_t>(size | flags));
      if (long_type) out.push_back(lead);
      out.insert(out.end(), bytes.begin(), bytes.end());
    };
    if (cell.long_value_id) {
      std::vector<uint8_t> id;
      AppendLe32(id, *cell.long_value_id);
      append(ese::old_tagged::kSeparated, id);
      continue;
    }
    for (size_t part = 0; part < cell.values.size(); ++part) {
      const StoredValue& value = cell.values[part];
      if (part < cell.part_ids.size() && cell.part_ids[part]) {
        std::vector<uint8_t> id;
        AppendLe32(id, *cell.part_ids[part]);
        append(ese::old_tagged::kSeparated, id);
        continue;
      }
      if (value.compressed) {
        throw EseWriteError(place + ", column \"" + Utf16ToUtf8(column.name) +
                            "\": the older record format has no compressed values");
      }
      append(0, value.bytes);
    }
  }
}

}  // namespace

std::string ErrorPlace::Text() const {
  return column == nullptr ? prefix : prefix + ", column \"" + Utf16ToUtf8(*column) + "\"";
}

StoredValue ToStoredValue(const ColumnLayout& column, const Value& value, const ErrorPlace& place) {
  const ColumnType type = column.type;
  auto mismatch = [&](const char* given) {
    return EseWriteError(place.Text() + ": a " + given + " value does not suit a " +
                         ColumnTypeName(type) + " column");
  };
  auto expect = [&](bool ok, const char* given) {
    if (!ok) throw mismatch(given);
  };
  StoredValue stored;
  std::visit(
      [&](const auto& item) {
        using T = std::decay_t<decltype(item)>;
        if constexpr (std::is_same_v<T, bool>) {
          expect(type == ColumnType::kBit, "bool");
          stored.bytes = {static_cast<uint8_t>(item ? 0xff : 0x00)};
        } else if constexpr (std::is_same_v<T, uint8_t>) {
          expect(type == ColumnType::kUnsignedByte, "uint8");
          stored.bytes = {item};
        } else if constexpr (std::is_same_v<T, int16_t>) {
          expect(type == ColumnType::kShort, "int16");
          stored.bytes = LittleEndianBytes(item);
        } else if constexpr (std::is_same_v<T, uint16_t>) {
          expect(type == ColumnType::kUnsignedShort, "uint16");
          stored.bytes = LittleEndianBytes(item);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          expect(type == ColumnType::kLong, "int32");
          stored.bytes = LittleEndianBytes(item);
        } else if constexpr (std::is_same_v<T, uint32_t>) {
          expect(type == ColumnType::kUnsignedLong, "uint32");
          stored.bytes = LittleEndianBytes(item);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          expect(type == ColumnType::kCurrency || type == ColumnType::kLongLong ||
                     type == ColumnType::kDateTime,
                 "int64");
          stored.bytes = LittleEndianBytes(item);
        } else if constexpr (std::is_same_v<T, float>) {
          expect(type == ColumnType::kIeeeSingle, "float");
          stored.bytes = LittleEndianBytes(item);
        } else if constexpr (std::is_same_v<T, double>) {
          expect(type == ColumnType::kIeeeDouble || type == ColumnType::kDateTime, "double");
          stored.bytes = LittleEndianBytes(item);
        } else if constexpr (std::is_same_v<T, FileTime>) {
          expect(type == ColumnType::kDateTime, "FileTime");
          stored.bytes = LittleEndianBytes(item.ticks);
        } else if constexpr (std::is_same_v<T, Guid>) {
          expect(type == ColumnType::kGuid, "GUID");
          stored.bytes.assign(item.bytes.begin(), item.bytes.end());
        } else if constexpr (std::is_same_v<T, std::u16string>) {
          expect(IsTextType(type), "text");
          std::string encoded;
          if (column.code_page == kCodePageWestern) {
            encoded = Utf16ToWindows1252(item);
            if (Windows1252ToUtf16(encoded) != item) {
              throw EseWriteError(place.Text() +
                                  ": the text has characters outside code page 1252");
            }
          } else {
            encoded = EncodeUtf16Le(item);
          }
          stored.bytes.assign(encoded.begin(), encoded.end());
        } else if constexpr (std::is_same_v<T, AnsiText>) {
          expect(IsTextType(type), "ANSI text");
          stored.bytes.assign(item.bytes.begin(), item.bytes.end());
        } else if constexpr (std::is_same_v<T, std::vector<uint8_t>>) {
          expect(type == ColumnType::kBinary || type == ColumnType::kLongBinary ||
                     type == ColumnType::kSuperLongValue,
                 "binary");
          stored.bytes = item;
        } else {
          static_assert(std::is_same_v<T, RawBytes>);
          stored.bytes = item.bytes;
          stored.compressed = item.compressed;
          stored.placement = item.placement;
          stored.uncompressed_size = item.uncompressed_size;
        }
      },
      value);
  if (stored.compressed && column.storage != ColumnStorage::kTagged) {
    throw EseWriteError(place.Text() + ": only tagged columns can hold values flagged compressed");
  }
  if (stored.placement == LongValuePlacement::kSeparate && !IsLongType(type)) {
    throw EseWriteError(place.Text() + ": only LongText and LongBinary values can be separated");
  }
  return stored;
}

std::vector<uint8_t> EncodeRecord(const PageFormat& format, const TableLayout& layout,
                                  const Record& record, LongValueSink& long_values, size_t budget,
                                  size_t inline_limit, const std::string& place,
                                  bool two_value_form) {
  const auto& columns = layout.columns();
  std::vector<std::vector<StoredValue>> by_column(columns.size());
  std::vector<bool> seen(columns.size(), false);
  std::vector<bool> set_null(columns.size(), false);
  for (const auto& cell : record.cells()) {
    const auto index = layout.Find(cell.column);
    const ErrorPlace column_place{place, &cell.column};
    if (!index) throw EseWriteError(column_place.Text() + ": no such column");
    const ColumnLayout& column = columns[*index];
    set_null[*index] = cell.null;
    if (cell.values.empty()) continue;
    if (cell.values.size() > 1 && !column.multi_valued) {
      throw EseWriteError(column_place.Text() +
                          ": several values for a column that is not multi-valued");
    }
    for (const Value& value : cell.values) {
      by_column[*index].push_back(ToStoredValue(column, value, column_place));
    }
    seen[*index] = true;
  }

  // Fixed columns: the reader takes every fixed column up to the last one present or set to
  // null.
  uint32_t last_fixed = 0;
  uint32_t last_variable = ese::record::kFirstVariable - 1;
  for (size_t index = 0; index < columns.size(); ++index) {
    if (!seen[index] && !set_null[index]) continue;
    if (columns[index].storage == ColumnStorage::kFixed) {
      last_fixed = std::max(last_fixed, columns[index].identifier);
    } else if (columns[index].storage == ColumnStorage::kVariable) {
      last_variable = std::max(last_variable, columns[index].identifier);
    }
  }
  std::vector<uint8_t> out(ese::record::kHeaderSize, 0);
  std::vector<uint8_t> null_bits((last_fixed + 7) / 8, 0xff);
  for (size_t index = 0; index < columns.size() && last_fixed > 0; ++index) {
    const ColumnLayout& column = columns[index];
    if (column.storage != ColumnStorage::kFixed || column.identifier > last_fixed) continue;
    const ErrorPlace column_place{place, &column.name};
    // The engine fills the width of a null fixed column with '*' when the record grows past it.
    constexpr uint8_t kNullFixedFill = '*';
    std::vector<uint8_t> bytes(column.fixed_size, seen[index] ? 0 : kNullFixedFill);
    if (seen[index]) {
      const auto& stored = by_column[index].front().bytes;
      const bool padded = column.type == ColumnType::kBinary || column.type == ColumnType::kText;
      if (stored.size() > column.fixed_size || (!padded && stored.size() != column.fixed_size)) {
        throw EseWriteError(column_place.Text() + ": a fixed column of " +
                            std::to_string(column.fixed_size) + " bytes cannot take " +
                            std::to_string(stored.size()) + " bytes");
      }
      std::copy(stored.begin(), stored.end(), bytes.begin());
      const uint32_t bit = column.identifier - ese::record::kFirstFixed;
      null_bits[bit / 8] = static_cast<uint8_t>(null_bits[bit / 8] & ~(1U << (bit % 8)));
    }
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  out.insert(out.end(), null_bits.begin(), null_bits.end());
  const size_t variable_offset = out.size();

  // Variable columns: one end offset per identifier up to the last one present; the top bit
  // marks an absent value.
  std::vector<uint8_t> variable_data;
  std::vector<std::optional<size_t>> variable_slots(last_variable + 1 -
                                                    ese::record::kFirstVariable);
  for (size_t index = 0; index < columns.size(); ++index) {
    const ColumnLayout& column = columns[index];
    if (column.storage == ColumnStorage::kVariable && seen[index] &&
        column.identifier <= last_variable) {
      variable_slots[column.identifier - ese::record::kFirstVariable] = index;
    }
  }
  for (const auto& slot : variable_slots) {
    uint16_t end = static_cast<uint16_t>(variable_data.size());
    if (slot) {
      const auto& bytes = by_column[*slot].front().bytes;
      variable_data.insert(variable_data.end(), bytes.begin(), bytes.end());
      if (variable_data.size() > ese::record::kVariableOffsetMask) {
        throw EseWriteError(place + ": the variable columns exceed 32767 bytes");
      }
      end = static_cast<uint16_t>(variable_data.size());
    } else {
      end = static_cast<uint16_t>(end | ese::record::kVariableEmpty);
    }
    AppendLe16(out, end);
  }
  out.insert(out.end(), variable_data.begin(), variable_data.end());
  out[0] = static_cast<uint8_t>(last_fixed);
  out[1] = static_cast<uint8_t>(last_variable);
  ese::StoreLe16(out.data() + 2, static_cast<uint16_t>(variable_offset));

  // Tagged columns, in the reader's column order (template columns first).
  std::vector<TaggedCell> tagged;
  for (size_t index = 0; index < columns.size(); ++index) {
    if (columns[index].storage == ColumnStorage::kTagged && seen[index]) {
      tagged.push_back(TaggedCell{&columns[index], std::move(by_column[index]), std::nullopt});
    }
  }
  // libesedb matches tagged entries to columns by identifier while it walks the template's
  // columns before the table's own, and both number their tagged columns from 256. An entry for
  // the template's last tagged column (empty when the record has no value for it) makes the walk
  // leave the template behind before it meets the table's own entries.
  const ColumnLayout* last_template_tagged = nullptr;
  for (const ColumnLayout& column : columns) {
    if (column.from_template && column.storage == ColumnStorage::kTagged) {
      last_template_tagged = &column;
    }
  }
  const auto own_begin = std::find_if(tagged.begin(), tagged.end(), [](const TaggedCell& cell) {
    return !cell.column->from_template;
  });
  if (last_template_tagged != nullptr && own_begin != tagged.end() &&
      (own_begin == tagged.begin() || std::prev(own_begin)->column != last_template_tagged)) {
    tagged.insert(own_begin, TaggedCell{last_template_tagged, {StoredValue{}}, std::nullopt});
  }

  auto wants_separation = [inline_limit](const TaggedCell& cell) {
    if (cell.values.size() != 1 || !IsLongType(cell.column->type)) return false;
    const StoredValue& value = cell.values.front();
    if (value.bytes.empty()) return false;
    return value.placement == LongValuePlacement::kSeparate ||
           (value.placement == LongValuePlacement::kAutomatic && value.ValueSize() > inline_limit);
  };
  std::vector<bool> separate(tagged.size(), false);
  for (size_t index = 0; index < tagged.size(); ++index)
    separate[index] = wants_separation(tagged[index]);
  // A long multi value keeps each value that is too large apart on its own.
  auto part_apart = [inline_limit](const StoredValue& value) {
    return !value.bytes.empty() && (value.placement == LongValuePlacement::kSeparate ||
                                    (value.placement == LongValuePlacement::kAutomatic &&
                                     value.ValueSize() > inline_limit));
  };
  for (TaggedCell& cell : tagged) {
    if (cell.values.size() < 2 || !IsLongType(cell.column->type)) continue;
    for (const StoredValue& value : cell.values) {
      // Marked here, numbered below in column order.
      cell.part_ids.push_back(part_apart(value) ? std::optional<uint32_t>(0) : std::nullopt);
    }
  }
  auto record_size = [&]() {
    size_t size = out.size();
    for (size_t index = 0; index < tagged.size(); ++index) {
      size += separate[index] ? ese::tagged::kEntrySize + kSeparatedValueSize
                              : InlineTaggedSize(tagged[index]);
    }
    return size;
  };
  // Move the largest automatic long values out until the record fits its page.
  for (size_t size = record_size(); size > budget; size = record_size()) {
    std::optional<size_t> largest;
    for (size_t index = 0; index < tagged.size(); ++index) {
      const TaggedCell& cell = tagged[index];
      if (separate[index] || cell.values.size() != 1 || !IsLongType(cell.column->type) ||
          cell.values.front().placement != LongValuePlacement::kAutomatic ||
          cell.values.front().bytes.empty()) {
        continue;
      }
      if (!largest ||
          cell.values.front().bytes.size() > tagged[*largest].values.front().bytes.size()) {
        largest = index;
      }
    }
    if (!largest) {
      throw EseWriteError(place + ": a record of " + std::to_string(size) +
                          " bytes does not fit a page (at most " + std::to_string(budget) + ")");
    }
    separate[*largest] = true;
  }
  for (size_t index = 0; index < tagged.size(); ++index) {
    TaggedCell& cell = tagged[index];
    if (separate[index]) cell.long_value_id = long_values.StoreLongValue(cell.values.front());
    for (size_t part = 0; part < cell.part_ids.size(); ++part) {
      if (cell.part_ids[part]) cell.part_ids[part] = long_values.StoreLongValue(cell.values[part]);
    }
  }

  if (format.older_record_format) {
    AppendOlderTaggedColumns(layout, tagged, place, out);
  } else {
    AppendTaggedColumns(format, layout, tagged, place, two_value_form, out);
  }
  if (out.size() > budget) {
    throw EseWriteError(place + ": a record of " + std::to_string(out.size()) +
                        " bytes does not fit a page (at most " + std::to_string(budget) + ")");
  }
  return out;
}

}  // namespace tarvex::edbforge
