#pragma once

// Owning handles for the libesedb objects the plain scan opens: the benchmarks' yardstick reads
// through libesedb, the program itself through our own reader.

#include <libesedb.h>

#include <memory>
#include <optional>
#include <string>

namespace tarvex::bench {

struct EsedbFileCloser {
  void operator()(libesedb_file_t* file) const {
    libesedb_file_close(file, nullptr);
    libesedb_file_free(&file, nullptr);
  }
};
struct EsedbTableFreer {
  void operator()(libesedb_table_t* table) const { libesedb_table_free(&table, nullptr); }
};
struct EsedbColumnFreer {
  void operator()(libesedb_column_t* column) const { libesedb_column_free(&column, nullptr); }
};
struct EsedbRecordFreer {
  void operator()(libesedb_record_t* record) const { libesedb_record_free(&record, nullptr); }
};
struct EsedbLongValueFreer {
  void operator()(libesedb_long_value_t* value) const { libesedb_long_value_free(&value, nullptr); }
};

using EsedbFile = std::unique_ptr<libesedb_file_t, EsedbFileCloser>;
using EsedbTable = std::unique_ptr<libesedb_table_t, EsedbTableFreer>;
using EsedbColumn = std::unique_ptr<libesedb_column_t, EsedbColumnFreer>;
using EsedbRecord = std::unique_ptr<libesedb_record_t, EsedbRecordFreer>;
using EsedbLongValue = std::unique_ptr<libesedb_long_value_t, EsedbLongValueFreer>;

// Each is empty when the library fails.
EsedbFile OpenEsedbFile(const char* path);
EsedbTable GetTable(libesedb_file_t* file, int index);
EsedbColumn GetColumn(libesedb_table_t* table, int position);
EsedbRecord GetRecord(libesedb_table_t* table, int number);
EsedbLongValue GetLongValue(libesedb_record_t* record, int value_entry);
std::optional<std::u16string> TableName(libesedb_table_t* table);
std::optional<std::u16string> ColumnName(libesedb_column_t* column);

}  // namespace tarvex::bench
