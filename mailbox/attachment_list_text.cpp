#include "mailbox/attachment_list_text.h"

#include <vector>

#include "store/column_decompression.h"
#include "store/stored_value.h"
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

std::optional<std::u16string> ReadAttachmentListText(const ese::Record* record, int value_entry) {
  const std::optional<RawValue> raw = GetRawValue(record, value_entry);
  if (!raw) return std::nullopt;
  const bool compressed = (raw->flags & kValueFlagCompressed) != 0;
  const bool long_value = (raw->flags & kValueFlagLongValue) != 0;
  const bool multi_value = (raw->flags & kValueFlagMultiValue) != 0;

  std::vector<std::uint8_t> bytes;
  if (multi_value && !long_value) {
    const std::optional<std::vector<ese::MultiValuePart>> parts = MultiValueParts(*raw);
    if (!parts) return std::nullopt;
    for (std::size_t index = 0; index < parts->size(); ++index) {
      const std::optional<std::vector<std::uint8_t>> part =
          MultiValuePartBytes(*record, (*parts)[index]);
      if (!part) return std::nullopt;
      if (compressed && index == 0) {
        // Only the first value of a compressed multi value is packed.
        const std::optional<std::vector<std::uint8_t>> decoded = Decompress(*part);
        Append(bytes, decoded ? *decoded : *part);
      } else {
        Append(bytes, *part);
      }
    }
  } else if (long_value && !compressed) {
    const LongValueRead read = ForEachLongValueSegment(
        *record, raw->bytes,
        [&bytes](std::span<const std::uint8_t> segment) { Append(bytes, segment); });
    if (read == LongValueRead::kNotFound) return std::nullopt;
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
