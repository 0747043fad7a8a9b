#pragma once

// The normalized keys of index entries: each column's value as bytes that sort like the
// values, behind a byte that says whether the column holds one (0x7f) or none (0x00).
// Integers are big-endian, signed ones with the sign bit flipped; Currency and DateTime the
// same over their 8 bytes (the stored bits of a positive double sort like the number); Bit is
// 0x00 or 0xff; Binary is cut in 8-byte chunks, each followed by 9 when more follows, else
// by the chunk's length (zeros pad it); 8-bit text is upper-cased and ends with a zero byte.
// A whole key is cut at kKeyMost bytes.

#include <cstdint>
#include <vector>

#include "tools/edbforge/ese/table_layout.h"
#include "tools/edbforge/ese/value.h"

namespace tarvex::edbforge {

// Appends the column's part of a key; `value` is null for a column without a value. Throws
// EseWriteError for columns whose type the writer cannot key (Unicode text, GUID, floats).
void AppendKeySegment(std::vector<uint8_t>& key, const ColumnLayout& column, const Value* value);

inline constexpr size_t kKeyMost = 255;

}  // namespace tarvex::edbforge
