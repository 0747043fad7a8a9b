#include "cli/item_json.h"

#include <array>
#include <cstdio>

#include "base/utf16_text.h"
#include "base/utf_conversion.h"

namespace tarvex::cli {
namespace {

using nlohmann::json;

std::string Utf8(std::u16string_view text) {
  return Utf16ToUtf8(text);
}

std::u16string Cell(const ListRow& row, std::size_t column) {
  return column < row.size() ? row[column] : std::u16string();
}

// The attachment identifiers of the older layout's list: 16 hexadecimal digits each.
json AttachmentIds(std::u16string_view list) {
  constexpr std::size_t kDigitsPerId = 16;
  json ids = json::array();
  for (std::size_t at = 0; at + kDigitsPerId <= list.size(); at += kDigitsPerId) {
    ids.push_back(Utf8(list.substr(at, kDigitsPerId)));
  }
  return ids;
}

}  // namespace

std::vector<std::string> RecipientList(std::u16string_view recipients) {
  // Entries are joined by ", "; a display name may hold a comma itself ("Martin, Alice
  // [alice@...]"), so a part ends an entry only once it has an address.
  std::vector<std::string> list;
  std::u16string entry;
  auto flush = [&] {
    const std::u16string trimmed = Trim(entry);
    if (!trimmed.empty()) list.push_back(Utf8(trimmed));
    entry.clear();
  };
  std::size_t start = 0;
  while (start <= recipients.size()) {
    std::size_t comma = recipients.find(u',', start);
    if (comma == std::u16string_view::npos) comma = recipients.size();
    if (!entry.empty()) entry += u',';
    entry += recipients.substr(start, comma - start);
    const std::u16string trimmed = Trim(entry);
    if (trimmed.find(u'@') != std::u16string::npos || trimmed.ends_with(u']')) flush();
    start = comma + 1;
  }
  flush();
  return list;
}

json ItemJson(const ListRow& row, StoreLayout layout, std::size_t position) {
  json item = {{"number", position},
               {"id", Utf8(Cell(row, 0))},
               {"kind", Utf8(Cell(row, 1))},
               {"from", Utf8(Cell(row, 4))},
               {"subject", Utf8(Cell(row, 5))},
               {"attachments", Cell(row, 7) == u"true"},
               {"state", Utf8(Cell(row, 11))}};
  const std::optional<std::string> date = IsoDate(Cell(row, 6));
  item["date"] = date ? json(*date) : json(nullptr);
  if (layout == StoreLayout::k2010) {
    item["tables"] = Utf8(Cell(row, 3));
    item["folder_key"] = Utf8(Cell(row, 8));
    item["mailbox"] = Utf8(Cell(row, 9));
    item["folder"] = Utf8(Cell(row, 10));
  } else {
    // The item's record in the store's message table.
    const std::optional<std::size_t> record = DecimalNumber(Cell(row, 2));
    item["record"] = record ? json(*record) : json(nullptr);
    item["attachment_list"] = AttachmentIds(Cell(row, 3));
    item["to"] = RecipientList(Cell(row, 8));
    item["cc"] = RecipientList(Cell(row, 9));
    item["bcc"] = RecipientList(Cell(row, 10));
  }
  return item;
}

}  // namespace tarvex::cli
