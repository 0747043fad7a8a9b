#pragma once

// Turns a record into the bytes of a table leaf entry: the 4-byte header, the fixed columns with
// their null bitmap, the variable columns' end offsets and data, and the tagged columns' offset
// array and data. Long values too large for the record go to a LongValueSink.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/edbforge/ese/page_format.h"
#include "tools/edbforge/ese/table_layout.h"
#include "tools/edbforge/ese/value.h"

namespace tarvex::edbforge {

// Names the spot of an error (table and record, and the column); the text is only built when
// an error is thrown, which keeps the writer quick for millions of records.
struct ErrorPlace {
  const std::string& prefix;
  const std::u16string* column = nullptr;
  std::string Text() const;
};

// One value in its stored form.
struct StoredValue {
  std::vector<uint8_t> bytes;
  bool compressed = false;
  LongValuePlacement placement = LongValuePlacement::kAutomatic;
  size_t uncompressed_size = 0;  // compressed values: their size once unpacked, if known

  // The size of the value itself, which decides where it goes.
  size_t ValueSize() const {
    return compressed && uncompressed_size != 0 ? uncompressed_size : bytes.size();
  }
};

class LongValueSink {
 public:
  virtual ~LongValueSink() = default;
  // Stores the value in the long-value tree and returns its long-value identifier.
  virtual uint32_t StoreLongValue(const StoredValue& value) = 0;
};

// Converts a value for the column; throws EseWriteError naming `place` when the value does not
// suit the column's type.
StoredValue ToStoredValue(const ColumnLayout& column, const Value& value, const ErrorPlace& place);

// `budget` is the largest record the page allows; long values above `inline_limit` bytes go to
// the long-value tree unless placed otherwise. `place` names table and record in errors.
// `two_value_form` keeps a multi value of two short values in the engine's short form, which
// libesedb 20181229 cannot read; without it such values take the general form.
std::vector<uint8_t> EncodeRecord(const PageFormat& format, const TableLayout& layout,
                                  const Record& record, LongValueSink& long_values, size_t budget,
                                  size_t inline_limit, const std::string& place,
                                  bool two_value_form = false);

}  // namespace tarvex::edbforge
