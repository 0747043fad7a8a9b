#include "ese/record.h"

#include <algorithm>

#include "ese/byte_order.h"
#include "ese/database.h"
#include "ese/format.h"

namespace tarvex::ese {
namespace {

struct OlderTaggedEntry {
  std::uint16_t identifier = 0;
  std::uint16_t word = 0;  // size and flags
  std::span<const std::uint8_t> value;
  bool derived() const { return (word & old_tagged::kDerived) != 0; }
  bool long_value() const { return (word & old_tagged::kLongValue) != 0; }
  // A long value's leading byte says whether the rest is a long-value id.
  bool separated() const {
    return long_value() && !value.empty() && (value[0] & old_tagged::kSeparated) != 0;
  }
  std::span<const std::uint8_t> payload() const {
    return long_value() && !value.empty() ? value.subspan(1) : value;
  }
};

// The tagged columns of the older layout in the current layout of small pages: one directory
// entry per column, the values of a multi-valued column behind one offset table. None when an
// entry runs past the record or the result does not fit the directory's offsets.
std::optional<std::vector<std::uint8_t>> CurrentTaggedLayout(std::span<const std::uint8_t> older) {
  std::vector<OlderTaggedEntry> entries;
  for (std::size_t at = 0; at < older.size();) {
    if (older.size() - at < old_tagged::kEntryHeaderSize) return std::nullopt;
    OlderTaggedEntry entry;
    entry.identifier = LoadLe16(older.data() + at);
    entry.word = LoadLe16(older.data() + at + 2);
    const std::size_t size = entry.word & old_tagged::kSizeMask;
    at += old_tagged::kEntryHeaderSize;
    if (size > older.size() - at) return std::nullopt;
    entry.value = older.subspan(at, size);
    at += size;
    entries.push_back(entry);
  }
  // One column per run of entries of the same id.
  std::vector<std::pair<std::size_t, std::size_t>> columns;  // first entry, end
  for (std::size_t index = 0; index < entries.size();) {
    std::size_t end = index + 1;
    while (end < entries.size() && entries[end].identifier == entries[index].identifier &&
           entries[end].derived() == entries[index].derived()) {
      ++end;
    }
    columns.emplace_back(index, end);
    index = end;
  }
  std::vector<std::uint8_t> directory;
  std::vector<std::uint8_t> values;
  const std::size_t directory_size = tagged::kEntrySize * columns.size();
  for (const auto& [index, end] : columns) {
    const OlderTaggedEntry& first = entries[index];
    const std::size_t offset = directory_size + values.size();
    if (offset > tagged::kSmallPageOffsetMask) return std::nullopt;
    std::uint16_t offset_word = static_cast<std::uint16_t>(offset);
    if (first.derived()) offset_word |= tagged::kDerived;
    const std::uint8_t long_type = first.long_value() ? value_flag::kLongType : 0;
    if (end - index > 1) {
      offset_word |= tagged::kExtendedInfo;
      values.push_back(static_cast<std::uint8_t>(value_flag::kMultiValue | long_type));
      std::size_t position = 2 * (end - index);
      for (std::size_t part = index; part < end; ++part) {
        if (position > kMultiValueOffsetMask) return std::nullopt;
        const std::uint16_t separated = entries[part].separated() ? kMultiValueSeparated : 0;
        AppendLe16(values, static_cast<std::uint16_t>(position | separated));
        position += entries[part].payload().size();
      }
      for (std::size_t part = index; part < end; ++part) {
        const std::span<const std::uint8_t> payload = entries[part].payload();
        values.insert(values.end(), payload.begin(), payload.end());
      }
    } else if ((first.word & old_tagged::kNull) != 0) {
      offset_word |= tagged::kNullSmallPage;
    } else if (first.long_value()) {
      offset_word |= tagged::kExtendedInfo;
      values.push_back(static_cast<std::uint8_t>(
          long_type | (first.separated() ? value_flag::kSeparated : 0)));
      values.insert(values.end(), first.payload().begin(), first.payload().end());
    } else {
      values.insert(values.end(), first.value.begin(), first.value.end());
    }
    AppendLe16(directory, first.identifier);
    AppendLe16(directory, offset_word);
  }
  directory.insert(directory.end(), values.begin(), values.end());
  return directory;
}

}  // namespace

std::optional<Record> Record::Parse(const Table& table, std::span<const std::uint8_t> data,
                                    RecordFormat format) {
  std::optional<Record> parsed = Parse(table.schema(), table.page_layout(), data, format);
  if (parsed) parsed->table_ = &table;
  return parsed;
}

std::optional<Record> Record::Parse(const TableSchema& schema, const PageLayout& layout,
                                    std::span<const std::uint8_t> data, RecordFormat format) {
  if (data.size() < record::kHeaderSize) return std::nullopt;
  Record parsed;
  parsed.schema_ = &schema;
  parsed.derived_table_ = !schema.template_name.empty();
  parsed.last_fixed_ = data[0];
  parsed.last_variable_ = data[1];
  parsed.variable_offsets_ = LoadLe16(data.data() + 2);
  const std::size_t null_bits = (parsed.last_fixed_ + 7) / 8;
  if (parsed.variable_offsets_ > data.size() ||
      parsed.variable_offsets_ < record::kHeaderSize + null_bits) {
    return std::nullopt;
  }
  const std::size_t variable_count = parsed.last_variable_ >= record::kFirstVariable
                                         ? parsed.last_variable_ - record::kFirstVariable + 1
                                         : 0;
  if (2 * variable_count > data.size() - parsed.variable_offsets_) return std::nullopt;
  parsed.variable_data_ = static_cast<std::uint32_t>(parsed.variable_offsets_ + 2 * variable_count);
  std::size_t tagged_start = parsed.variable_data_;
  if (variable_count > 0) {
    const std::uint16_t last_end =
        LoadLe16(data.data() + parsed.variable_offsets_ + 2 * (variable_count - 1));
    tagged_start += last_end & record::kVariableOffsetMask;
  }
  if (tagged_start > data.size()) return std::nullopt;
  if (format == RecordFormat::kOlderTagged && !layout.Large()) {
    std::optional<std::vector<std::uint8_t>> tagged =
        CurrentTaggedLayout(data.subspan(tagged_start));
    if (!tagged) return std::nullopt;
    std::vector<std::uint8_t> current(data.begin(), data.begin() + tagged_start);
    current.insert(current.end(), tagged->begin(), tagged->end());
    parsed.data_ = std::make_shared<const std::vector<std::uint8_t>>(std::move(current));
  } else {
    parsed.data_ = std::make_shared<const std::vector<std::uint8_t>>(data.begin(), data.end());
  }
  const std::vector<std::uint8_t>& bytes = *parsed.data_;

  // The tagged directory: the first entry's offset is the directory's size.
  const std::size_t tagged_size = bytes.size() - tagged_start;
  if (tagged_size < tagged::kEntrySize) return parsed;
  const bool large = layout.Large();
  const std::uint16_t offset_mask =
      large ? tagged::kLargePageOffsetMask : tagged::kSmallPageOffsetMask;
  const std::uint8_t* directory = bytes.data() + tagged_start;
  const std::size_t directory_size = LoadLe16(directory + 2) & offset_mask;
  if (directory_size < tagged::kEntrySize || directory_size % tagged::kEntrySize != 0 ||
      directory_size > tagged_size) {
    return std::nullopt;
  }
  const std::size_t count = directory_size / tagged::kEntrySize;
  parsed.tagged_.reserve(count);
  for (std::size_t index = 0; index < count; ++index) {
    const std::uint8_t* at = directory + tagged::kEntrySize * index;
    const std::uint16_t offset_word = LoadLe16(at + 2);
    const std::size_t begin = offset_word & offset_mask;
    const std::size_t end = index + 1 < count
                                ? LoadLe16(at + tagged::kEntrySize + 2) & offset_mask
                                : tagged_size;
    // A value whose bounds make no sense is lost alone; the record's other values stay.
    if (begin < directory_size || begin > end || end > tagged_size) continue;
    TaggedEntry entry;
    entry.identifier = LoadLe16(at);
    entry.derived = (offset_word & tagged::kDerived) != 0;
    entry.begin = static_cast<std::uint32_t>(tagged_start + begin);
    entry.end = static_cast<std::uint32_t>(tagged_start + end);
    const bool has_flags = large || (offset_word & tagged::kExtendedInfo) != 0;
    if (has_flags && entry.begin < entry.end) entry.flags = bytes[entry.begin++];
    entry.null = large ? (entry.flags & value_flag::kNull) != 0
                       : (offset_word & tagged::kNullSmallPage) != 0;
    parsed.tagged_.push_back(entry);
  }
  // The engine keeps the directory in this order; only a damaged one needs sorting.
  const auto order = [](const TaggedEntry& left, const TaggedEntry& right) {
    if (left.derived != right.derived) return left.derived;
    return left.identifier < right.identifier;
  };
  if (!std::is_sorted(parsed.tagged_.begin(), parsed.tagged_.end(), order)) {
    std::stable_sort(parsed.tagged_.begin(), parsed.tagged_.end(), order);
  }
  return parsed;
}

std::size_t Record::column_count() const { return schema_->columns.size(); }

const ColumnSchema* Record::Column(std::size_t position) const {
  const auto& columns = schema_->columns;
  return position < columns.size() ? &columns[position] : nullptr;
}

std::optional<StoredValue> Record::Value(std::size_t position) const {
  const ColumnSchema* column = Column(position);
  if (column == nullptr) return std::nullopt;
  switch (column->storage()) {
    case ColumnStorage::kFixed:
      return FixedValue(*column);
    case ColumnStorage::kVariable:
      return VariableValue(*column);
    case ColumnStorage::kTagged:
      return TaggedValue(*column);
  }
  return std::nullopt;
}

StoredValue Record::Default(const ColumnSchema& column) const {
  StoredValue value;
  if (column.default_value) {
    value.bytes = *column.default_value;
    value.present = true;
  }
  return value;
}

std::optional<StoredValue> Record::FixedValue(const ColumnSchema& column) const {
  if (column.identifier == 0) return StoredValue{};
  if (column.identifier > last_fixed_) return Default(column);
  const std::vector<std::uint8_t>& bytes = *data_;
  const std::size_t null_bits_at = variable_offsets_ - (last_fixed_ + 7) / 8;
  const std::uint32_t bit = column.identifier - 1;
  if ((bytes[null_bits_at + bit / 8] & (1u << (bit % 8))) != 0) return StoredValue{};
  const std::size_t begin = column.record_offset;
  if (begin < record::kHeaderSize || begin > null_bits_at ||
      column.fixed_size > null_bits_at - begin) {
    return StoredValue{};
  }
  return StoredValue{std::span(bytes).subspan(begin, column.fixed_size), 0, true};
}

std::optional<StoredValue> Record::VariableValue(const ColumnSchema& column) const {
  if (column.identifier > last_variable_) return Default(column);
  const std::vector<std::uint8_t>& bytes = *data_;
  const std::size_t index = column.identifier - record::kFirstVariable;
  const std::uint16_t end_word = LoadLe16(bytes.data() + variable_offsets_ + 2 * index);
  if ((end_word & record::kVariableEmpty) != 0) return StoredValue{};
  const std::size_t begin =
      index == 0 ? 0
                 : LoadLe16(bytes.data() + variable_offsets_ + 2 * (index - 1)) &
                       record::kVariableOffsetMask;
  const std::size_t end = end_word & record::kVariableOffsetMask;
  if (begin > end || end > bytes.size() - variable_data_) return StoredValue{};
  return StoredValue{std::span(bytes).subspan(variable_data_ + begin, end - begin), 0, true};
}

std::optional<StoredValue> Record::TaggedValue(const ColumnSchema& column) const {
  const bool derived = column.from_template && derived_table_;
  const auto found = std::lower_bound(
      tagged_.begin(), tagged_.end(), std::pair(derived, column.identifier),
      [](const TaggedEntry& entry, const std::pair<bool, std::uint32_t>& wanted) {
        if (entry.derived != wanted.first) return entry.derived;
        return entry.identifier < wanted.second;
      });
  if (found == tagged_.end() || found->derived != derived ||
      found->identifier != column.identifier) {
    return Default(column);
  }
  if (found->null) return StoredValue{};
  return StoredValue{std::span(*data_).subspan(found->begin, found->end - found->begin),
                     found->flags, true};
}

std::optional<std::vector<MultiValuePart>> SplitMultiValue(const StoredValue& value) {
  const std::span<const std::uint8_t> bytes = value.bytes;
  std::vector<MultiValuePart> parts;
  if ((value.flags & value_flag::kTwoValues) != 0) {
    if (bytes.empty() || bytes[0] > bytes.size() - 1) return std::nullopt;
    parts.push_back({bytes.subspan(1, bytes[0])});
    parts.push_back({bytes.subspan(1 + bytes[0])});
    return parts;
  }
  if ((value.flags & value_flag::kMultiValue) == 0) {
    parts.push_back({bytes});
    return parts;
  }
  if (bytes.size() < 2) return std::nullopt;
  const std::size_t table_size = LoadLe16(bytes.data()) & kMultiValueOffsetMask;
  if (table_size < 2 || table_size % 2 != 0 || table_size > bytes.size()) return std::nullopt;
  const std::size_t count = table_size / 2;
  for (std::size_t index = 0; index < count; ++index) {
    const std::uint16_t word = LoadLe16(bytes.data() + 2 * index);
    const std::size_t begin = word & kMultiValueOffsetMask;
    const std::size_t end = index + 1 < count
                                ? LoadLe16(bytes.data() + 2 * index + 2) & kMultiValueOffsetMask
                                : bytes.size();
    if (begin < table_size || begin > end || end > bytes.size()) return std::nullopt;
    parts.push_back({bytes.subspan(begin, end - begin), (word & kMultiValueSeparated) != 0});
  }
  return parts;
}

}  // namespace tarvex::ese
