#pragma once

// Column values as a generator hands them over, and the record that collects them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tarvex::edbforge {

struct Guid {
  std::array<uint8_t, 16> bytes{};  // as stored
};

// FILETIME ticks for a DateTime column (libesedb reads DateTime as FILETIME).
struct FileTime {
  uint64_t ticks = 0;
};

// 8-bit text stored as given (for Text columns of code page 1252).
struct AnsiText {
  std::string bytes;
};

// Where a long value goes: the writer's choice, always in the record, or always in the
// long-value tree.
enum class LongValuePlacement { kAutomatic, kInRecord, kSeparate };

// Bytes stored exactly as given, e.g. output of the 7-bit / LZXPRESS encoders. `compressed`
// marks them as such: in the record by the value's compressed flag (0x02); separated, as one
// compressed segment (the record then says nothing, as the engine's do), whose long value
// records `uncompressed_size`.
struct RawBytes {
  std::vector<uint8_t> bytes;
  bool compressed = false;
  LongValuePlacement placement = LongValuePlacement::kAutomatic;
  size_t uncompressed_size = 0;  // compressed values: their size once unpacked
};

// bool: Bit; uint8_t: UnsignedByte; int16_t: Short; uint16_t: UnsignedShort; int32_t: Long;
// uint32_t: UnsignedLong; int64_t: Currency or LongLong; float: IEEESingle; double: IEEEDouble;
// FileTime: DateTime; Guid: GUID; std::u16string: Text/LongText in the column's code page;
// AnsiText: Text/LongText; bytes: Binary/LongBinary; RawBytes: any column.
using Value =
    std::variant<bool, uint8_t, int16_t, uint16_t, int32_t, uint32_t, int64_t, float, double,
                 FileTime, Guid, std::u16string, AnsiText, std::vector<uint8_t>, RawBytes>;

// One row: values by column name. A column given more than one value is stored multi-valued.
class Record {
 public:
  struct Cell {
    std::u16string column;
    std::vector<Value> values;
    bool null = false;  // set to null: the record still reaches a fixed or variable column
  };

  // Replaces the column's values by this one.
  Record& Set(std::u16string_view column, Value value);
  // Adds one more value to a multi-valued column.
  Record& Add(std::u16string_view column, Value value);
  // Sets the column to null, as the engine records a fixed or variable column set to null: its
  // null bit (or empty mark) within the record, which then reaches that column.
  Record& SetNull(std::u16string_view column);

  const std::vector<Cell>& cells() const { return cells_; }

 private:
  Cell& CellOf(std::u16string_view column);

  std::vector<Cell> cells_;
};

}  // namespace tarvex::edbforge
