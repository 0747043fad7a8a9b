#include "output/preview_record.h"

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

}  // namespace tarvex
