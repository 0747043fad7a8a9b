#pragma once

// One record of a table, copied out of its page: its values found by column position (the
// order of the table's columns, template columns first), as stored.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "ese/catalog.h"
#include "ese/page.h"
#include "ese/page_layout.h"

namespace tarvex::ese {

class Table;

// A value as the record stores it. `flags` is the flags byte of a tagged value (format.h
// value_flag; 0 for fixed and variable values); bytes exclude that byte. A separated long
// value's bytes are its long-value id; a multi value's are its offsets and values.
struct StoredValue {
  std::span<const std::uint8_t> bytes;
  std::uint8_t flags = 0;
  bool present = false;  // false: the record has no value (nor a default) for the column
};

class Record {
 public:
  // None when the header or the offsets do not fit the data (counted by the caller). `format`
  // is the record's page's (Page::record_format): a record of the older tagged layout is
  // rewritten into the current one, which data() then holds.
  static std::optional<Record> Parse(const Table& table, std::span<const std::uint8_t> data,
                                     RecordFormat format = RecordFormat::kCurrent);
  // A record of a table that has no Table object (the catalogue's own rows).
  static std::optional<Record> Parse(const TableSchema& schema, const PageLayout& layout,
                                     std::span<const std::uint8_t> data,
                                     RecordFormat format = RecordFormat::kCurrent);

  // The table the record was read from; only records read through a Table have one.
  bool has_table() const { return table_ != nullptr; }
  const Table& table() const { return *table_; }
  const TableSchema& schema() const { return *schema_; }
  std::size_t column_count() const;
  // None when `position` names no column.
  const ColumnSchema* Column(std::size_t position) const;
  // The value of the column at `position`; none when no such column.
  std::optional<StoredValue> Value(std::size_t position) const;

  // The record's bytes, its tagged columns in the current layout.
  std::span<const std::uint8_t> data() const { return *data_; }

 private:
  struct TaggedEntry {
    std::uint16_t identifier = 0;
    bool derived = false;
    std::uint32_t begin = 0;  // bytes within data, flags byte excluded
    std::uint32_t end = 0;
    std::uint8_t flags = 0;
    bool null = false;
  };

  Record() = default;
  std::optional<StoredValue> FixedValue(const ColumnSchema& column) const;
  std::optional<StoredValue> VariableValue(const ColumnSchema& column) const;
  std::optional<StoredValue> TaggedValue(const ColumnSchema& column) const;
  StoredValue Default(const ColumnSchema& column) const;

  const Table* table_ = nullptr;
  const TableSchema* schema_ = nullptr;
  bool derived_table_ = false;
  std::shared_ptr<const std::vector<std::uint8_t>> data_;
  std::uint32_t last_fixed_ = 0;
  std::uint32_t last_variable_ = 0;
  std::uint32_t variable_offsets_ = 0;  // where the variable offsets start
  std::uint32_t variable_data_ = 0;     // where the variable values start
  std::vector<TaggedEntry> tagged_;
};

// The values of a multi value (flags kMultiValue, with or without kTwoValues), as stored; none
// when the offsets run outside the value. `separated` marks values kept as long values.
struct MultiValuePart {
  std::span<const std::uint8_t> bytes;
  bool separated = false;
};
std::optional<std::vector<MultiValuePart>> SplitMultiValue(const StoredValue& value);

}  // namespace tarvex::ese
