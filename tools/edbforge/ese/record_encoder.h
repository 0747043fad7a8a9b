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

// Values larger than this go to the long-value tree unless the caller decides otherwise; the
// engine keeps about this much in the record.
inline constexpr size_t kIntrinsicLongValueLimit = 1024;

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
StoredValue ToStoredValue(const ColumnLayout& column, const Value& value, const std::string& place);

// `budget` is the largest record the page allows. `place` names the table in errors.
std::vector<uint8_t> EncodeRecord(const PageFormat& format, const TableLayout& layout,
                                  const Record& record, LongValueSink& long_values, size_t budget,
                                  const std::string& place);

}  // namespace tarvex::edbforge
