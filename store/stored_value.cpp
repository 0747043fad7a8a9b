#include "store/stored_value.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>

#include "base/code_page_1252.h"
#include "base/code_page_conversion.h"
#include "ese/database.h"
#include "store/column_decompression.h"

namespace tarvex {
namespace {

// The segment as its reader should see it. The engine packs each segment of a compressed
// column by itself; its stored size then differs from the size it stands for.
std::span<const std::uint8_t> SegmentContent(const ese::LongValueSegment& segment,
                                             std::optional<std::vector<std::uint8_t>>& unpacked) {
  if (!segment.compressed()) return segment.stored;
  unpacked = DecompressSegment(segment.stored, segment.size);
  return unpacked ? std::span<const std::uint8_t>(*unpacked) : segment.stored;
}

}  // namespace

const ese::ColumnSchema* ColumnAt(const ese::Record* record, int value_entry) {
  if (record == nullptr || value_entry < 0) return nullptr;
  return record->Column(static_cast<std::size_t>(value_entry));
}

std::optional<ColumnType> TypeOf(const ese::Record* record, int value_entry) {
  const ese::ColumnSchema* column = ColumnAt(record, value_entry);
  if (column == nullptr) return std::nullopt;
  return column->type;
}

std::optional<RawValue> GetRawValue(const ese::Record* record, int value_entry) {
  if (ColumnAt(record, value_entry) == nullptr) return std::nullopt;
  const std::optional<ese::StoredValue> stored =
      record->Value(static_cast<std::size_t>(value_entry));
  if (!stored) return std::nullopt;
  if (!stored->present) return RawValue{};
  return RawValue{stored->bytes, stored->flags};
}

std::optional<std::uint64_t> FixedSizeNumber(std::span<const std::uint8_t> bytes,
                                             std::size_t size) {
  if (bytes.size() != size || size > 8) return std::nullopt;
  std::uint64_t number = 0;
  for (std::size_t i = size; i-- > 0;) number = (number << 8) | bytes[i];
  return number;
}

std::u16string StoredText(std::span<const std::uint8_t> bytes, std::uint32_t code_page) {
  if (code_page == ese::kCodePageUnicode) {
    // Little-endian units up to the first zero one; an odd last byte is a unit's low half.
    const auto unit_at = [bytes](std::size_t i) {
      const std::size_t low = 2 * i;
      return static_cast<char16_t>(bytes[low] | (low + 1 < bytes.size() ? bytes[low + 1] << 8 : 0));
    };
    const std::size_t units = (bytes.size() + 1) / 2;
    std::size_t length = 0;
    while (length < units && unit_at(length) != 0) ++length;
    std::u16string text(length, u'\0');
    if constexpr (std::endian::native == std::endian::little) {
      // Whole units as they are stored; an odd last byte still goes through unit_at.
      const std::size_t whole = std::min(length, bytes.size() / 2);
      if (whole != 0) std::memcpy(text.data(), bytes.data(), whole * 2);
      for (std::size_t i = whole; i < length; ++i) text[i] = unit_at(i);
    } else {
      for (std::size_t i = 0; i < length; ++i) text[i] = unit_at(i);
    }
    return text;
  }
  const std::string_view chars(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const std::string_view text = chars.substr(0, chars.find('\0'));
  if (code_page == 0 || code_page == ese::kCodePageWestern) return Windows1252ToUtf16(text);
  return CodePageToWide(text, static_cast<int>(code_page));
}

std::optional<std::vector<ese::MultiValuePart>> MultiValueParts(const RawValue& raw) {
  return ese::SplitMultiValue(ese::StoredValue{raw.bytes, raw.flags, true});
}

LongValueRead ForEachLongValueSegment(
    const ese::Record& record, std::span<const std::uint8_t> stored_id,
    const std::function<void(std::span<const std::uint8_t>)>& visit) {
  const ese::LongValues* long_values = record.table().long_values();
  if (long_values == nullptr) return LongValueRead::kNotFound;
  bool handed = false;
  const std::optional<std::uint64_t> size =
      long_values->ForEachSegment(stored_id, [&](const ese::LongValueSegment& segment) {
        handed = true;
        std::optional<std::vector<std::uint8_t>> unpacked;
        visit(SegmentContent(segment, unpacked));
      });
  if (size) return LongValueRead::kComplete;
  return handed ? LongValueRead::kCutShort : LongValueRead::kNotFound;
}

std::optional<std::vector<std::uint8_t>> MultiValuePartBytes(const ese::Record& record,
                                                             const ese::MultiValuePart& part) {
  if (!part.separated) return std::vector<std::uint8_t>(part.bytes.begin(), part.bytes.end());
  std::vector<std::uint8_t> whole;
  const LongValueRead read =
      ForEachLongValueSegment(record, part.bytes, [&whole](std::span<const std::uint8_t> segment) {
        whole.insert(whole.end(), segment.begin(), segment.end());
      });
  if (read != LongValueRead::kComplete) return std::nullopt;
  return whole;
}

}  // namespace tarvex
