#pragma once

// libesedb as the tests' independent second reader: owning handles for what the tests open
// through it. The program itself reads through our own reader (ese/).

#include <libesedb.h>

#include <filesystem>
#include <memory>
#include <string_view>

namespace tarvex::testing {

struct EsedbFileCloser {
  void operator()(libesedb_file_t* file) const;
};
struct EsedbTableFreer {
  void operator()(libesedb_table_t* table) const;
};
struct EsedbRecordFreer {
  void operator()(libesedb_record_t* record) const;
};
struct EsedbLongValueFreer {
  void operator()(libesedb_long_value_t* long_value) const;
};
struct EsedbMultiValueFreer {
  void operator()(libesedb_multi_value_t* multi_value) const;
};

using EsedbFile = std::unique_ptr<libesedb_file_t, EsedbFileCloser>;
using EsedbTable = std::unique_ptr<libesedb_table_t, EsedbTableFreer>;
using EsedbRecord = std::unique_ptr<libesedb_record_t, EsedbRecordFreer>;
using EsedbLongValue = std::unique_ptr<libesedb_long_value_t, EsedbLongValueFreer>;
using EsedbMultiValue = std::unique_ptr<libesedb_multi_value_t, EsedbMultiValueFreer>;

// Each is empty when libesedb fails.
EsedbFile OpenEsedbFile(const std::filesystem::path& database);
// The table named `name` (UTF-8).
EsedbTable GetTableByName(libesedb_file_t* file, std::string_view name);
EsedbRecord GetRecord(libesedb_table_t* table, int number);
EsedbLongValue GetLongValue(libesedb_record_t* record, int value_entry);
EsedbMultiValue GetMultiValue(libesedb_record_t* record, int value_entry);

}  // namespace tarvex::testing
