#pragma once

// The record a page writer reads its fields from, with the columns of the table it came from.
// A column the table lacks, and every column of a missing record, reads as an empty text.

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ese/record.h"
#include "mailbox/table_columns.h"
#include "store/value_reader.h"

namespace tarvex {

// What a mail item keeps of the message it was delivered as: the transport headers (0x007D)
// and the Internet message ids. Each is empty when the store holds none.
struct StoredMessageFields {
  std::u16string transport_headers;
  std::u16string message_id;   // "S1035"
  std::u16string in_reply_to;  // "S1042"
  std::u16string references;   // "S1039"
};

class PreviewRecord {
 public:
  PreviewRecord(ValueReader& reader, const ese::Record* record, const TableColumns& columns)
      : reader_(reader), record_(record), columns_(columns) {}

  const ese::Record* get() const { return record_; }
  // The column's value entry, or 0 when the table lacks it.
  int Entry(std::u16string_view name) const { return columns_.Entry(name).value_or(0); }
  bool Has(std::u16string_view name) const { return columns_.Entry(name).has_value(); }

  std::u16string Text(std::u16string_view name);
  // Each value of a multi-valued column on its own.
  std::vector<std::u16string> Texts(std::u16string_view name);
  std::u16string HexText(std::u16string_view name);
  // A date column's date text (little-endian FILETIME).
  std::u16string Time(std::u16string_view name);
  // The text of a column as the pages show it: dates for "T" columns, texts for the others.
  std::u16string Value(std::u16string_view name);
  // The first of the columns whose value is not empty.
  std::u16string FirstValue(std::initializer_list<std::u16string_view> names);
  StoredMessageFields MessageFields();
  // A long value read whole, text in its column's code page, bytes as UTF-8 or else
  // Windows-1252; empty for a value stored in the record.
  std::u16string LongValueText(std::u16string_view name);

 private:
  ValueReader& reader_;
  const ese::Record* record_;
  const TableColumns& columns_;
};

}  // namespace tarvex
