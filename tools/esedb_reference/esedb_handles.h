#pragma once

// libesedb as the independent second reader of the tests and the benchmarks' anchor: owning
// handles for what they open through it. The program itself reads through our own reader
// (ese/) and never links this.

#include <libesedb.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex::esedb_reference {

struct EsedbFileCloser {
  void operator()(libesedb_file_t* file) const;
};
struct EsedbTableFreer {
  void operator()(libesedb_table_t* table) const;
};
struct EsedbColumnFreer {
  void operator()(libesedb_column_t* column) const;
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
using EsedbColumn = std::unique_ptr<libesedb_column_t, EsedbColumnFreer>;
using EsedbRecord = std::unique_ptr<libesedb_record_t, EsedbRecordFreer>;
using EsedbLongValue = std::unique_ptr<libesedb_long_value_t, EsedbLongValueFreer>;
using EsedbMultiValue = std::unique_ptr<libesedb_multi_value_t, EsedbMultiValueFreer>;

// Each is empty when libesedb fails.
EsedbFile OpenEsedbFile(const std::filesystem::path& database);
EsedbTable GetTable(libesedb_file_t* file, int index);
// The table named `name` (UTF-8).
EsedbTable GetTableByName(libesedb_file_t* file, std::string_view name);
EsedbColumn GetColumn(libesedb_table_t* table, int position);
EsedbRecord GetRecord(libesedb_table_t* table, int number);
EsedbLongValue GetLongValue(libesedb_record_t* record, int value_entry);
EsedbMultiValue GetMultiValue(libesedb_record_t* record, int value_entry);

// Names as stored, cut at their terminating zero; none when libesedb cannot read them.
std::optional<std::u16string> TableName(libesedb_table_t* table);
std::optional<std::u16string> ColumnName(libesedb_column_t* column);

}  // namespace tarvex::esedb_reference
