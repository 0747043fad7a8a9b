#pragma once

// A record's value as the readers take it from our ESE reader: the column's type and code
// page, the stored bytes with the value's flags, and the decodings every reader shares
// (numbers, text in the column's code page, multi values, long values segment by segment).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ese/format.h"
#include "ese/record.h"
#include "store/column_type.h"

namespace tarvex {

// The flags byte of a tagged value; fixed and variable values have none (0).
inline constexpr std::uint8_t kValueFlagVariableSize = ese::value_flag::kLongType;
inline constexpr std::uint8_t kValueFlagCompressed = ese::value_flag::kCompressed;
inline constexpr std::uint8_t kValueFlagLongValue = ese::value_flag::kSeparated;
inline constexpr std::uint8_t kValueFlagMultiValue = ese::value_flag::kMultiValue;
inline constexpr std::uint8_t kValueFlagTwoValues = ese::value_flag::kTwoValues;

// A value entry as stored: its bytes (valid while the record lives) and flags. A value the
// record does not hold has no bytes and flags 0, and reads as "no value".
struct RawValue {
  std::span<const std::uint8_t> bytes;
  std::uint8_t flags = 0;
};

// Each gives none when the record is null or has no column at `value_entry`.
const ese::ColumnSchema* ColumnAt(const ese::Record* record, int value_entry);
std::optional<ColumnType> TypeOf(const ese::Record* record, int value_entry);
std::optional<RawValue> GetRawValue(const ese::Record* record, int value_entry);

// The little-endian number in exactly `size` bytes; none when the value has another size.
std::optional<std::uint64_t> FixedSizeNumber(std::span<const std::uint8_t> bytes, std::size_t size);

// The text of a text column's bytes, up to its first zero unit. Code page 1200 is UTF-16LE
// (a fixed column padded bytewise may end in the low half of one more unit); every other
// code page is 8-bit text, 0 meaning Windows-1252.
std::u16string StoredText(std::span<const std::uint8_t> bytes, std::uint32_t code_page);

// The values of a multi value in either stored form; none when its offsets are damaged.
std::optional<std::vector<ese::MultiValuePart>> MultiValueParts(const RawValue& raw);

enum class LongValueRead {
  kComplete,
  kNotFound,  // the table keeps no such long value: nothing was handed on
  kCutShort,  // a segment is missing: the segments before it were handed on
};

// Hands every segment of the record's long value `stored_id` to `visit`, in order, each as its
// reader should see it: a segment stored compressed unpacked when it unpacks to exactly the
// size it stands for, otherwise as stored.
LongValueRead ForEachLongValueSegment(
    const ese::Record& record, std::span<const std::uint8_t> stored_id,
    const std::function<void(std::span<const std::uint8_t>)>& visit);

// A multi value's part as its reader should see it: a part kept as a long value read whole;
// none when that long value cannot be read completely.
std::optional<std::vector<std::uint8_t>> MultiValuePartBytes(const ese::Record& record,
                                                             const ese::MultiValuePart& part);

}  // namespace tarvex
