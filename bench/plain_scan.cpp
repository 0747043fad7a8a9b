#include "bench/plain_scan.h"

#include <array>
#include <optional>

#include "store/value_text.h"

namespace tarvex::bench {
namespace {

using esedb_reference::ColumnName;
using esedb_reference::EsedbColumn;
using esedb_reference::EsedbLongValue;
using esedb_reference::EsedbRecord;
using esedb_reference::GetColumn;
using esedb_reference::GetLongValue;
using esedb_reference::GetRecord;
using esedb_reference::GetTable;
using esedb_reference::OpenEsedbFile;
using esedb_reference::TableName;

// A value entry as libesedb stores it; none when the library cannot read it.
struct StoredBytes {
  std::span<const std::uint8_t> bytes;  // the library's own, valid while the record lives
  std::uint8_t flags = 0;
};
constexpr std::uint8_t kLongValueFlag = 0x04;

std::optional<StoredBytes> GetStoredBytes(libesedb_record_t* record, int value_entry) {
  uint8_t* data = nullptr;
  size_t size = 0;
  uint8_t flags = 0;
  // Deprecated in the library, but the only getter that hands out the stored bytes uncopied.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const int result = libesedb_record_get_value(record, value_entry, &data, &size, &flags, nullptr);
#pragma GCC diagnostic pop
  if (result != 1) return std::nullopt;
  StoredBytes value;
  if (data != nullptr) value.bytes = std::span<const std::uint8_t>(data, size);
  value.flags = flags;
  return value;
}

// Cheap mixing, only so that the bytes read feed a result.
void Mix(std::uint64_t& checksum, std::uint64_t value) {
  checksum = (checksum ^ value) * 0x100000001B3ULL;
}

}  // namespace

PlainScan::PlainScan(const std::filesystem::path& database) {
  file_ = OpenEsedbFile(database);
  if (!file_) return;
  int count = 0;
  if (libesedb_file_get_number_of_tables(file_.get(), &count, nullptr) != 1) return;
  for (int index = 0; index < count; ++index) {
    const EsedbTable table = GetTable(file_.get(), index);
    std::optional<std::u16string> name = table ? TableName(table.get()) : std::nullopt;
    table_names_.push_back(name.value_or(std::u16string()));
  }
}

std::vector<int> PlainScan::TablesNamed(std::u16string_view name, bool prefix) const {
  std::vector<int> found;
  for (size_t index = 0; index < table_names_.size(); ++index) {
    const std::u16string& table_name = table_names_[index];
    if (prefix ? table_name.starts_with(name) : table_name == name) {
      found.push_back(static_cast<int>(index));
    }
  }
  return found;
}

PlainScan::OpenTable PlainScan::Open(int index, std::span<const std::u16string> columns,
                                     bool keep) {
  OpenTable open;
  if (keep) {
    auto found = kept_.find(index);
    if (found == kept_.end()) found = kept_.emplace(index, GetTable(file_.get(), index)).first;
    open.table = found->second.get();
  } else {
    open.owned = GetTable(file_.get(), index);
    open.table = open.owned.get();
  }
  int count = 0;
  if (open.table == nullptr ||
      libesedb_table_get_number_of_columns(open.table, &count, 0, nullptr) != 1) {
    return open;
  }
  for (int position = 0; position < count; ++position) {
    const EsedbColumn column = GetColumn(open.table, position);
    const std::optional<std::u16string> name = column ? ColumnName(column.get()) : std::nullopt;
    if (!name) continue;
    for (const std::u16string& wanted : columns) {
      if (wanted == *name) open.entries.push_back(position);
    }
  }
  return open;
}

void PlainScan::ReadValues(libesedb_record_t* record, std::span<const int> entries,
                           ScanTally& tally) {
  for (int entry : entries) {
    // The library's own bytes of the value, without a copy.
    const std::optional<StoredBytes> raw = GetStoredBytes(record, entry);
    if (!raw) continue;
    ++tally.values;
    if ((raw->flags & kLongValueFlag) == 0) {
      tally.bytes += raw->bytes.size();
      if (!raw->bytes.empty()) Mix(tally.checksum, raw->bytes.back());
      continue;
    }
    // A long value is read segment by segment, as the program streams it.
    const EsedbLongValue long_value = GetLongValue(record, entry);
    int segments = 0;
    if (!long_value || libesedb_long_value_get_number_of_data_segments(long_value.get(), &segments,
                                                                       nullptr) != 1) {
      continue;
    }
    for (int segment = 0; segment < segments; ++segment) {
      size_t segment_size = 0;
      if (libesedb_long_value_get_data_segment_size(long_value.get(), segment, &segment_size,
                                                    nullptr) != 1 ||
          segment_size == 0 || segment_size > (std::size_t{1} << 26)) {
        continue;
      }
      segment_.resize(segment_size);
      if (libesedb_long_value_get_data_segment(long_value.get(), segment, segment_.data(),
                                               segment_size, nullptr) != 1) {
        continue;
      }
      tally.bytes += segment_size;
      Mix(tally.checksum, segment_.back());
    }
  }
}

void PlainScan::ScanTable(const TableRead& read, ScanTally& tally) {
  if (!is_open()) return;
  for (int index : TablesNamed(read.table, false)) {
    const OpenTable open = Open(index, read.columns, read.keep);
    int count = 0;
    if (open.table == nullptr ||
        libesedb_table_get_number_of_records(open.table, &count, nullptr) != 1) {
      continue;
    }
    for (int number = 0; number < count; ++number) {
      const EsedbRecord record = GetRecord(open.table, number);
      if (!record) continue;
      ++tally.records;
      ReadValues(record.get(), open.entries, tally);
    }
  }
}

void PlainScan::ScanTablesStartingWith(std::u16string_view prefix,
                                       std::span<const std::u16string> columns, ScanTally& tally) {
  if (!is_open()) return;
  std::vector<std::u16string> names;
  for (int index : TablesNamed(prefix, true)) names.push_back(table_names_[index]);
  for (const std::u16string& name : names) {
    ScanTable({name, std::vector<std::u16string>(columns.begin(), columns.end()), false}, tally);
  }
}

void PlainScan::ScanWithLookups(
    const TableRead& content, std::u16string_view id_column, const TableRead& rows,
    const std::unordered_map<std::u16string, std::uint32_t>& row_numbers, ScanTally& tally) {
  if (!is_open()) return;
  const std::vector<int> row_tables = TablesNamed(rows.table, false);
  if (row_tables.empty()) return;
  const OpenTable row_table = Open(row_tables.front(), rows.columns, rows.keep);
  const std::array<std::u16string, 1> id_columns = {std::u16string(id_column)};
  for (int index : TablesNamed(content.table, false)) {
    const OpenTable open = Open(index, content.columns, content.keep);
    const OpenTable id_entry = Open(index, id_columns, content.keep);
    int count = 0;
    if (open.table == nullptr || id_entry.entries.empty() ||
        libesedb_table_get_number_of_records(open.table, &count, nullptr) != 1) {
      continue;
    }
    for (int number = 0; number < count; ++number) {
      const EsedbRecord record = GetRecord(open.table, number);
      if (!record) continue;
      ++tally.records;
      ReadValues(record.get(), open.entries, tally);
      const std::optional<StoredBytes> id = GetStoredBytes(record.get(), id_entry.entries.front());
      if (!id || id->bytes.size() != 8) continue;
      const auto found = row_numbers.find(IdentifierText(
          std::span<const std::uint8_t, 8>(id->bytes.data(), 8), ByteOrder::kBigEndian));
      if (found == row_numbers.end() || row_table.table == nullptr) continue;
      const EsedbRecord row = GetRecord(row_table.table, static_cast<int>(found->second));
      if (!row) continue;
      ++tally.records;
      ReadValues(row.get(), row_table.entries, tally);
    }
  }
}

}  // namespace tarvex::bench
