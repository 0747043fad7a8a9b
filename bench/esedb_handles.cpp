#include "bench/esedb_handles.h"

namespace tarvex::bench {
namespace {

// libesedb speaks UTF-16 as uint16_t; the program as char16_t.
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

EsedbFile OpenEsedbFile(const char* path) {
  libesedb_file_t* file = nullptr;
  if (libesedb_file_initialize(&file, nullptr) != 1) return nullptr;
  if (libesedb_file_open(file, path, libesedb_get_access_flags_read(), nullptr) != 1) {
    libesedb_file_free(&file, nullptr);
    return nullptr;
  }
  return EsedbFile(file);
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
  libesedb_long_value_t* value = nullptr;
  if (libesedb_record_get_long_value(record, value_entry, &value, nullptr) != 1) return nullptr;
  return EsedbLongValue(value);
}

std::optional<std::u16string> TableName(libesedb_table_t* table) {
  return ReadName(table, libesedb_table_get_utf16_name_size, libesedb_table_get_utf16_name);
}

std::optional<std::u16string> ColumnName(libesedb_column_t* column) {
  return ReadName(column, libesedb_column_get_utf16_name_size, libesedb_column_get_utf16_name);
}

}  // namespace tarvex::bench
