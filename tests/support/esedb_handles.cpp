#include "support/esedb_handles.h"

namespace tarvex::testing {

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

}  // namespace tarvex::testing
