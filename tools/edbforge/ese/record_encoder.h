#pragma once

// Turns a record into the bytes of a table leaf entry: the 4-byte header, the fixed columns with
// their null bitmap, the variable columns' end offsets and data, and the tagged columns' offset
// array and data. Long values too large for the record go to a LongValueSink.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/edbforge/ese/page_format.h"
#include "tools/edbforge/ese/table_layout.h"
#include "tools/edbforge/ese/value.h"

namespace tarvex::edbforge {

// Flags of a tagged value, stored in the byte before its data.
inline constexpr uint8_t kValueFlagLongType = 0x01;
inline constexpr uint8_t kValueFlagCompressed = 0x02;
inline constexpr uint8_t kValueFlagSeparated = 0x04;
inline constexpr uint8_t kValueFlagMultiValue = 0x08;

// Names the spot of an error (table and record, and the column); the text is only built when
// an error is thrown, which keeps the writer quick for millions of records.
struct ErrorPlace {
  const std::string& prefix;
  const std::u16string* column = nullptr;
  std::string Text() const;
};

class LongValueSink {
 public:
  virtual ~LongValueSink() = default;
  // Stores the bytes in the long-value tree and returns their long-value identifier.
  virtual uint32_t StoreLongValue(std::span<const uint8_t> bytes) = 0;
};

// One value in its stored form.
struct StoredValue {
  std::vector<uint8_t> bytes;
  bool compressed = false;
  LongValuePlacement placement = LongValuePlacement::kAutomatic;
};

// Converts a value for the column; throws EseWriteError naming `place` when the value does not
// suit the column's type.
StoredValue ToStoredValue(const ColumnLayout& column, const Value& value, const ErrorPlace& place);

// `budget` is the largest record the page allows; long values above `inline_limit` bytes go to
// the long-value tree unless placed otherwise. `place` names table and record in errors.
std::vector<uint8_t> EncodeRecord(const PageFormat& format, const TableLayout& layout,
                                  const Record& record, LongValueSink& long_values, size_t budget,
                                  size_t inline_limit, const std::string& place);

}  // namespace tarvex::edbforge
