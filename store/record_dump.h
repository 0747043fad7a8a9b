#pragma once

// Every column and value of a table as JSON: what a user runs to see a table whole, in the
// shape of independent decodings (numbers as numbers, floats as {"float": text}, binary as
// {"hex": ...}, text as strings, multi values as lists, absent values as null). Long values
// are read whole and compressed values decompressed.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>

#include <nlohmann/json.hpp>

#include "ese/database.h"

namespace tarvex {

nlohmann::ordered_json DumpColumns(const ese::Table& table);

// One value: null when the record has none or it cannot be read.
nlohmann::ordered_json DumpValue(const ese::Record& record, std::size_t position);

// The record's values by column name (in name order: a table may have 65,000 columns).
nlohmann::json DumpRecord(const ese::Record& record);

// {"table": name, "columns": [...], "records": [...]}, written record by record so that a
// table of any size streams out, then the members of what `trailing` gives once the records are
// out (what the walk met, say). Returns the number of records that could not be read.
std::uint32_t DumpTable(const ese::Table& table, std::ostream& out,
                        const std::function<nlohmann::json()>& trailing = nullptr);

// Every table with its columns and record count, and what the reader met in the file.
nlohmann::ordered_json DescribeTables(const ese::Database& database);

}  // namespace tarvex
