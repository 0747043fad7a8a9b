#include "output/preview_record.h"

#include <fstream>
#include <iterator>

#include "base/utf_conversion.h"

namespace tarvex {

std::u16string PreviewRecord::Text(std::u16string_view name) {
  const int entry = Entry(name);
  if (record_ == nullptr || entry == 0) return std::u16string();
  return reader_.ReadValueText(record_, entry).value_or(std::u16string());
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

StoredMessageFields PreviewRecord::MessageFields() {
  StoredMessageFields fields;
  fields.message_id = Text(u"S1035");
  fields.in_reply_to = Text(u"S1042");
  fields.references = Text(u"S1039");
  std::u16string headers = Text(u"S7d");
  // A long header block is written to its own file, and the value only says so.
  if (headers == u"true" && !reader_.transport_header_path().empty()) {
    std::ifstream file(reader_.transport_header_path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    headers = Utf8ToUtf16(bytes);
  }
  if (headers.find(u':') == std::u16string::npos) headers = HexText(u"S7d");
  if (headers.find(u':') != std::u16string::npos) fields.transport_headers = std::move(headers);
  return fields;
}

}  // namespace tarvex
