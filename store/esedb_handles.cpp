#include "store/esedb_handles.h"

#include <vector>

namespace tarvex {
namespace {

// libesedb speaks UTF-16 as uint16_t; the program as char16_t. Both are 16-bit units.
template <typename SizeGetter, typename NameGetter, typename Object>
std::optional<std::u16string> ReadName(Object* object, SizeGetter get_size, NameGetter get_name) {
  std::size_t size = 0;
  if (get_size(object, &size, nullptr) != 1 || size == 0) return std::nullopt;
  std::u16string name(size, u'\0');
  if (get_name(object, reinterpret_cast<uint16_t*>(name.data()), size, nullptr) != 1) {
    return std::nullopt;
  }
  name.resize(name.find(u'\0') == std::u16string::npos ? size : name.find(u'\0'));
  return name;
}

}  // namespace

void EsedbFileCloser::operator()(libesedb_file_t* file) const {
  libesedb_file_close(file, nullptr);
  libesedb_file_free(&file, nullptr);
}
void EsedbTableFreer::operator()(libesedb_table_t* table) const {
  libesedb_table_free(&table, nullptr);
}
void EsedbColumnFreer::operator()(libesedb_column_t* column) const {
  libesedb_column_free(&column, nullptr);
}
void EsedbRecordFreer::operator()(libesedb_record_t* record) const {
  libesedb_record_free(&record, nullptr);
}
void EsedbLongValueFreer::operator()(libesedb_long_value_t* long_value) const {
  libesedb_long_value_free(&long_value, nullptr);
}
void EsedbMultiValueFreer::operator()(libesedb_multi_value_t* multi_value) const {
  libesedb_multi_value_free(&multi_value, nullptr);
}

EsedbTable GetTable(libesedb_file_t* file, int index) {
  libesedb_table_t* table = nullptr;
  if (libesedb_file_get_table(file, index, &table, nullptr) != 1) return nullptr;
  return EsedbTable(table);
}

EsedbColumn GetColumn(libesedb_table_t* table, int position) {
  libesedb_column_t* column = nullptr;
  if (libesedb_table_get_column(table, position, &column, 0, nullptr) != 1) return nullptr;
  return EsedbColumn(column);
}

EsedbRecord GetRecord(libesedb_table_t* table, int number) {
  libesedb_record_t* record = nullptr;
  if (libesedb_table_get_record(table, number, &record, nullptr) != 1) return nullptr;
  return EsedbRecord(record);
}

EsedbLongValue GetLongValue(libesedb_record_t* record, int value_entry) {
  libesedb_long_value_t* long_value = nullptr;
  if (libesedb_record_get_long_value(record, value_entry, &long_value, nullptr) != 1) {
    return nullptr;
  }
  return EsedbLongValue(long_value);
}

EsedbMultiValue GetMultiValue(libesedb_record_t* record, int value_entry) {
  libesedb_multi_value_t* multi_value = nullptr;
  if (libesedb_record_get_multi_value(record, value_entry, &multi_value, nullptr) != 1) {
    return nullptr;
  }
  return EsedbMultiValue(multi_value);
}

std::optional<RawValue> GetRawValue(libesedb_record_t* record, int value_entry) {
  uint8_t* data = nullptr;
  size_t size = 0;
  uint8_t flags = 0;
  // The library marks this getter deprecated, but it is the only one that hands out the
  // stored bytes and flags, which our own decoders need where the library's getters fail.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const int result = libesedb_record_get_value(record, value_entry, &data, &size, &flags, nullptr);
#pragma GCC diagnostic pop
  if (result != 1) return std::nullopt;
  RawValue value;
  if (data != nullptr) value.bytes = std::span<const std::uint8_t>(data, size);
  value.flags = flags;
  return value;
}

std::optional<MultiValueEntry> GetMultiValueEntry(libesedb_multi_value_t* multi_value, int index) {
  uint32_t type = 0;
  uint8_t* data = nullptr;
  size_t size = 0;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const int result =
      libesedb_multi_value_get_value(multi_value, index, &type, &data, &size, nullptr);
#pragma GCC diagnostic pop
  if (result != 1) return std::nullopt;
  MultiValueEntry entry;
  entry.type = static_cast<ColumnType>(type);
  if (data != nullptr) entry.bytes = std::span<const std::uint8_t>(data, size);
  return entry;
}

bool ForEachLongValueSegment(libesedb_long_value_t* long_value,
                             const std::function<void(std::span<const std::uint8_t>)>& visit) {
  int count = 0;
  if (libesedb_long_value_get_number_of_data_segments(long_value, &count, nullptr) != 1) {
    return false;
  }
  std::vector<std::uint8_t> segment;  // reused: segments are at most a page long
  for (int index = 0; index < count; ++index) {
    std::size_t size = 0;
    if (libesedb_long_value_get_data_segment_size(long_value, index, &size, nullptr) != 1) {
      return false;
    }
    segment.resize(size);
    if (size > 0 && libesedb_long_value_get_data_segment(long_value, index, segment.data(), size,
                                                         nullptr) != 1) {
      return false;
    }
    visit(segment);
  }
  return true;
}

std::optional<std::u16string> TableName(libesedb_table_t* table) {
  return ReadName(table, libesedb_table_get_utf16_name_size, libesedb_table_get_utf16_name);
}

std::optional<std::u16string> ColumnName(libesedb_column_t* column) {
  return ReadName(column, libesedb_column_get_utf16_name_size, libesedb_column_get_utf16_name);
}

}  // namespace tarvex
