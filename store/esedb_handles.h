#pragma once

// Owning handles for the libesedb objects the program opens. Every handle is released by
// whoever opened it; errors are never requested from the library (it reports by return value).

#include <libesedb.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "store/column_type.h"

namespace tarvex {

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

// Each returns an empty handle when the library fails.
EsedbTable GetTable(libesedb_file_t* file, int index);
EsedbColumn GetColumn(libesedb_table_t* table, int position);
EsedbRecord GetRecord(libesedb_table_t* table, int number);
EsedbLongValue GetLongValue(libesedb_record_t* record, int value_entry);
EsedbMultiValue GetMultiValue(libesedb_record_t* record, int value_entry);

// A value entry as stored: the bytes the library holds for it (valid while the record lives)
// and the value flags (0x01 variable, 0x02 compressed, 0x04 long value, 0x08 multi value).
struct RawValue {
  std::span<const std::uint8_t> bytes;
  std::uint8_t flags = 0;
};
inline constexpr std::uint8_t kValueFlagVariableSize = 0x01;
inline constexpr std::uint8_t kValueFlagCompressed = 0x02;
inline constexpr std::uint8_t kValueFlagLongValue = 0x04;
inline constexpr std::uint8_t kValueFlagMultiValue = 0x08;

// None when the library cannot read the entry; an empty span for an empty value.
std::optional<RawValue> GetRawValue(libesedb_record_t* record, int value_entry);

// One value of a multi value as stored (the first value of a compressed multi value is
// compressed); valid while the multi value lives.
struct MultiValueEntry {
  ColumnType type = ColumnType::kNil;
  std::span<const std::uint8_t> bytes;
};
std::optional<MultiValueEntry> GetMultiValueEntry(libesedb_multi_value_t* multi_value, int index);

// Hands every segment of a long value to `visit`, in order, as stored. Returns false when a
// segment cannot be read; the segments before it have been handed on.
bool ForEachLongValueSegment(libesedb_long_value_t* long_value,
                             const std::function<void(std::span<const std::uint8_t>)>& visit);

// Names as stored, cut at their terminating zero; none when the library cannot read them
// or reports a size of 0.
std::optional<std::u16string> TableName(libesedb_table_t* table);
std::optional<std::u16string> ColumnName(libesedb_column_t* column);

}  // namespace tarvex
