#pragma once

// One record's values read by column name, through its table's own column positions.

#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mailbox/attachment_list_text.h"
#include "mailbox/table_columns.h"
#include "store/value_reader.h"

namespace tarvex {

// Reads the values of one record by column name.
class RowValues {
 public:
  RowValues(ValueReader& reader, const ese::Record* record, const TableColumns& columns)
      : reader_(reader), record_(record), columns_(columns) {}

  std::optional<std::u16string> Text(std::u16string_view name) {
    return Text(columns_.Entry(name));
  }
  std::optional<std::u16string> Text(std::optional<int> entry) {
    return entry ? reader_.ReadValueText(record_, *entry) : std::nullopt;
  }
  std::optional<std::u16string> Id(std::u16string_view name) { return Id(columns_.Entry(name)); }
  std::optional<std::u16string> Id(std::optional<int> entry) {
    return entry ? reader_.ReadIdText(record_, *entry, ByteOrder::kBigEndian) : std::nullopt;
  }
  std::optional<std::u16string> StoreId(std::u16string_view name) {
    const std::optional<int> entry = columns_.Entry(name);
    return entry ? reader_.ReadStoreIdText(record_, *entry, ByteOrder::kBigEndian) : std::nullopt;
  }
  std::optional<std::u16string> Body(std::optional<int> entry) {
    return entry ? reader_.ReadBodyText(record_, *entry) : std::nullopt;
  }
  std::optional<std::u16string> AttachmentList(std::u16string_view name) {
    const std::optional<int> entry = columns_.Entry(name);
    return entry ? ReadAttachmentListText(record_, *entry) : std::nullopt;
  }

  // The first candidate that holds a readable date; a text beginning "(0x" is a time that
  // makes no calendar date. An empty text still counts as the date.
  std::optional<std::u16string> Date(std::initializer_list<std::u16string_view> candidates) {
    std::vector<std::optional<int>> entries;
    for (std::u16string_view name : candidates) entries.push_back(columns_.Entry(name));
    return Date(entries);
  }
  std::optional<std::u16string> Date(std::span<const std::optional<int>> candidates) {
    for (const std::optional<int>& entry : candidates) {
      if (!entry) continue;
      std::optional<std::u16string> date =
          reader_.ReadTimeText(record_, *entry, ByteOrder::kLittleEndian);
      if (!date || date->starts_with(u"(0x")) continue;
      return date;
    }
    return std::nullopt;
  }

 private:
  ValueReader& reader_;
  const ese::Record* record_;
  const TableColumns& columns_;
};

}  // namespace tarvex
