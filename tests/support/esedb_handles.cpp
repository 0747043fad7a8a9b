#include "support/esedb_handles.h"

namespace tarvex::testing {

void EsedbFileCloser::operator()(libesedb_file_t* file) const {
  libesedb_file_close(file, nullptr);
  libesedb_file_free(&file, nullptr);
}
void EsedbTableFreer::operator()(libesedb_table_t* table) const {
  libesedb_table_free(&table, nullptr);
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

EsedbTable GetTableByName(libesedb_file_t* file, std::string_view name) {
  libesedb_table_t* table = nullptr;
  if (libesedb_file_get_table_by_utf8_name(file, reinterpret_cast<const std::uint8_t*>(name.data()),
                                           name.size(), &table, nullptr) != 1) {
    return nullptr;
  }
  return EsedbTable(table);
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

}  // namespace tarvex::testing
