#include "output/preview_record.h"

#include <vector>

#include "base/code_page_1252.h"
#include "base/utf_conversion.h"
#include "store/column_type.h"
#include "store/stored_value.h"

namespace tarvex {

std::u16string PreviewRecord::Text(std::u16string_view name) {
  const int entry = Entry(name);
  if (record_ == nullptr || entry == 0) return std::u16string();
  return reader_.ReadValueText(record_, entry).value_or(std::u16string());
}

std::vector<std::u16string> PreviewRecord::Texts(std::u16string_view name) {
  const int entry = Entry(name);
  if (record_ == nullptr || entry == 0) return {};
  return reader_.ReadValueTexts(record_, entry);
}

std::u16string PreviewRecord::HexText(std::u16string_view name) {
  const int entry = Entry(name);
  if (record_ == nullptr || entry == 0) return std::u16string();
  return reader_.ReadValueHexText(record_, entry).value_or(std::u16string());
}

std::u16string PreviewRecord::Time(std::u16string_view name) {
  const int entry = Entry(name);
  if (record_ == nullptr || entry == 0) return std::u16string();
  return reader_.ReadTimeText(record_, entry, ByteOrder::kLittleEndian).value_or(std::u16string());
}

std::u16string PreviewRecord::Value(std::u16string_view name) {
  return name.starts_with(u'T') ? Time(name) : Text(name);
}

std::u16string PreviewRecord::FirstValue(std::initializer_list<std::u16string_view> names) {
  for (std::u16string_view name : names) {
    std::u16string value = Value(name);
    if (!value.empty()) return value;
  }
  return std::u16string();
}

std::u16string PreviewRecord::LongValueText(std::u16string_view name) {
  const int entry = Entry(name);
  const ese::ColumnSchema* column = ColumnAt(record_, entry);
  const std::optional<RawValue> raw = GetRawValue(record_, entry);
  if (column == nullptr || !raw || (raw->flags & kValueFlagLongValue) == 0 ||
      (raw->flags & kValueFlagMultiValue) != 0) {
    return u"";
  }
  std::vector<std::uint8_t> bytes;
  ForEachLongValueSegment(*record_, raw->bytes, [&bytes](std::span<const std::uint8_t> segment) {
    bytes.insert(bytes.end(), segment.begin(), segment.end());
  });
  if (column->type == ColumnType::kText || column->type == ColumnType::kLongText) {
    return StoredText(bytes, column->code_page);
  }
  const std::string_view eight_bit(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return DecodeUtf8Strict(eight_bit).value_or(Windows1252ToUtf16(eight_bit));
}

StoredMessageFields PreviewRecord::MessageFields() {
  StoredMessageFields fields;
  fields.message_id = Text(u"S1035");
  fields.in_reply_to = Text(u"S1042");
  fields.references = Text(u"S1039");
  std::u16string headers = Text(u"S7d");
  // A long header block is kept aside by the reader, and the value only says so.
  if (headers == u"true" && !reader_.transport_headers().empty()) {
    headers = reader_.transport_headers();
  }
  if (headers.find(u':') == std::u16string::npos) headers = HexText(u"S7d");
  if (headers.find(u':') == std::u16string::npos) headers = LongValueText(u"S7d");
  if (headers.find(u':') != std::u16string::npos) fields.transport_headers = std::move(headers);
  return fields;
}

}  // namespace tarvex
