#pragma once

// Turns a scenario value into the value the ESE writer stores for its column, compressing it
// as asked. Every check that the database would otherwise fail on later (or store wrongly)
// happens here, with the place named.

#include <string>

#include "tools/edbforge/ese/value.h"
#include "tools/edbforge/exchange/column_convention.h"
#include "tools/edbforge/exchange/store_description.h"

namespace tarvex::edbforge {

// Text and Binary columns hold at most this many bytes.
inline constexpr size_t kShortColumnLimit = 255;
// Compressed long values larger than this leave the record, as the engine's do.
inline constexpr size_t kCompressedInRecordLimit = 1024;
// A compressed long value is stored as one segment, which every page size holds.
inline constexpr size_t kCompressedSegmentLimit = 4000;

// Throws ScenarioError naming `place` when the value does not suit the column or is too large.
Value EncodeCell(std::u16string_view column, const ColumnDeclaration& description,
                 const CellValue& value, const std::string& place);

}  // namespace tarvex::edbforge
