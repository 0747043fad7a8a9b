#pragma once

// The yardstick of the benchmarks: the same tables read straight through libesedb, every record
// and the values the program takes from it, with no decoding and no model behind it.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tools/esedb_reference/esedb_handles.h"

namespace tarvex::bench {

using esedb_reference::EsedbFile;
using esedb_reference::EsedbTable;

// What a scan touched; printed so that no read can be optimised away and so that two runs can
// be seen to have read the same.
struct ScanTally {
  std::uint64_t records = 0;
  std::uint64_t values = 0;
  std::uint64_t bytes = 0;
  std::uint64_t checksum = 0;
};

// One table by name and the columns read from each of its records. A kept table stays open for
// later reads, as the program keeps "Msg" open from the analysis to the folder selections.
struct TableRead {
  std::u16string table;
  std::vector<std::u16string> columns;
  bool keep = false;
};

class PlainScan {
 public:
  // Opens the database read-only; `is_open()` says whether that worked.
  explicit PlainScan(const std::filesystem::path& database);

  bool is_open() const { return file_ != nullptr; }

  // Every record of every table of that exact name.
  void ScanTable(const TableRead& read, ScanTally& tally);
  // Every record of every table whose name begins with `prefix`, with the same columns.
  void ScanTablesStartingWith(std::u16string_view prefix, std::span<const std::u16string> columns,
                              ScanTally& tally);
  // Every record of `content`, and for each the record of `rows` whose identifier (8 bytes,
  // read from `id_column` of the content record) `row_numbers` maps to.
  void ScanWithLookups(const TableRead& content, std::u16string_view id_column,
                       const TableRead& rows,
                       const std::unordered_map<std::u16string, std::uint32_t>& row_numbers,
                       ScanTally& tally);

 private:
  struct OpenTable {
    libesedb_table_t* table = nullptr;  // owned by `owned` or by the kept tables
    EsedbTable owned;
    std::vector<int> entries;  // value entries of the wanted columns that the table has
  };
  std::vector<int> TablesNamed(std::u16string_view name, bool prefix) const;
  OpenTable Open(int index, std::span<const std::u16string> columns, bool keep);
  void ReadValues(libesedb_record_t* record, std::span<const int> entries, ScanTally& tally);

  EsedbFile file_;
  std::vector<std::u16string> table_names_;
  std::unordered_map<int, EsedbTable> kept_;
  std::vector<std::uint8_t> segment_;  // reused for long value segments
};

}  // namespace tarvex::bench
