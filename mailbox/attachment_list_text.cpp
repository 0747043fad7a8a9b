#include "mailbox/attachment_list_text.h"

#include <vector>

#include "store/column_decompression.h"
#include "store/value_text.h"

namespace tarvex {
namespace {

// 65536 attachments; a longer list is damage and its tail is left out.
constexpr std::size_t kMaxListBytes = 8 * 65536;

void Append(std::vector<std::uint8_t>& bytes, std::span<const std::uint8_t> more) {
  const std::size_t room = kMaxListBytes - std::min(kMaxListBytes, bytes.size());
  bytes.insert(bytes.end(), more.begin(), more.begin() + std::min(room, more.size()));
}

}  // namespace

std::optional<std::u16string> ReadAttachmentListText(libesedb_record_t* record, int value_entry) {
  if (record == nullptr) return std::nullopt;
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!raw) return std::nullopt;
  const bool compressed = (raw->flags & kValueFlagCompressed) != 0;
  const bool long_value = (raw->flags & kValueFlagLongValue) != 0;
  const bool multi_value = (raw->flags & kValueFlagMultiValue) != 0;

  std::vector<std::uint8_t> bytes;
  if (multi_value && !long_value) {
    const EsedbMultiValue values = GetMultiValue(record, value_entry);
    int count = 0;
    if (!values || libesedb_multi_value_get_number_of_values(values.get(), &count, nullptr) != 1) {
      return std::nullopt;
    }
    for (int index = 0; index < count; ++index) {
      const std::optional<MultiValueEntry> entry = GetMultiValueEntry(values.get(), index);
      if (!entry) return std::nullopt;
      if (compressed && index == 0) {
        // Only the first value of a compressed multi value is packed.
        const std::optional<std::vector<std::uint8_t>> decoded = Decompress(entry->bytes);
        Append(bytes, decoded ? std::span<const std::uint8_t>(*decoded) : entry->bytes);
      } else {
        Append(bytes, entry->bytes);
      }
    }
  } else if (long_value && !compressed) {
    const EsedbLongValue value = GetLongValue(record, value_entry);
    if (!value) return std::nullopt;
    ForEachLongValueSegment(
        value.get(), [&bytes](std::span<const std::uint8_t> segment) { Append(bytes, segment); });
  } else if (compressed && !raw->bytes.empty()) {
    const std::optional<std::vector<std::uint8_t>> decoded = Decompress(raw->bytes);
    if (!decoded) return std::nullopt;
    Append(bytes, *decoded);
  } else {
    Append(bytes, raw->bytes);
  }
  return HexText(bytes);
}

}  // namespace tarvex
