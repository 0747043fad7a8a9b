#include "tools/esedb_reference/esedb_handles.h"

namespace tarvex::esedb_reference {
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

// Wraps what a libesedb getter hands out, or nothing when it fails.
template <typename Handle, typename Getter, typename... Arguments>
Handle Get(Getter get, Arguments... arguments) {
  typename Handle::pointer object = nullptr;
  if (get(arguments..., &object, nullptr) != 1) return nullptr;
  return Handle(object);
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

EsedbFile OpenEsedbFile(const std::filesystem::path& database) {
  libesedb_file_t* file = nullptr;
  if (libesedb_file_initialize(&file, nullptr) != 1) return nullptr;
  if (libesedb_file_open(file, database.c_str(), LIBESEDB_OPEN_READ, nullptr) != 1) {
    libesedb_file_free(&file, nullptr);
    return nullptr;
  }
  return EsedbFile(file);
}

EsedbTable GetTable(libesedb_file_t* file, int index) {
  return Get<EsedbTable>(libesedb_file_get_table, file, index);
}

EsedbTable GetTableByName(libesedb_file_t* file, std::string_view name) {
  return Get<EsedbTable>(libesedb_file_get_table_by_utf8_name, file,
                         reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
}

EsedbColumn GetColumn(libesedb_table_t* table, int position) {
  libesedb_column_t* column = nullptr;
  if (libesedb_table_get_column(table, position, &column, 0, nullptr) != 1) return nullptr;
  return EsedbColumn(column);
}

EsedbRecord GetRecord(libesedb_table_t* table, int number) {
  return Get<EsedbRecord>(libesedb_table_get_record, table, number);
}

EsedbLongValue GetLongValue(libesedb_record_t* record, int value_entry) {
  return Get<EsedbLongValue>(libesedb_record_get_long_value, record, value_entry);
}

EsedbMultiValue GetMultiValue(libesedb_record_t* record, int value_entry) {
  return Get<EsedbMultiValue>(libesedb_record_get_multi_value, record, value_entry);
}

std::optional<std::u16string> TableName(libesedb_table_t* table) {
  return ReadName(table, libesedb_table_get_utf16_name_size, libesedb_table_get_utf16_name);
}

std::optional<std::u16string> ColumnName(libesedb_column_t* column) {
  return ReadName(column, libesedb_column_get_utf16_name_size, libesedb_column_get_utf16_name);
}

}  // namespace tarvex::esedb_reference
