#include "output/transport_headers.h"

#include <algorithm>

#include "base/utf16_text.h"

namespace tarvex {
namespace {

// Printable ASCII without the colon (RFC 5322 ftext).
bool IsFieldName(std::u16string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char16_t unit) {
    return unit > 0x20 && unit < 0x7F && unit != u':';
  });
}

bool IsIdUnit(char16_t unit) {
  return unit > 0x20 && unit < 0x7F && unit != u'<' && unit != u'>' && unit != u'"' &&
         unit != u'\\' && unit != u'(' && unit != u')' && unit != u',' && unit != u';' &&
         unit != u':' && unit != u'[' && unit != u']';
}

}  // namespace

std::vector<HeaderField> ParseHeaderBlock(std::u16string_view block) {
  std::vector<HeaderField> fields;
  bool continues = false;  // whether the last line read belongs to a kept field
  std::size_t start = 0;
  while (start < block.size()) {
    std::size_t end = block.find(u'\n', start);
    if (end == std::u16string_view::npos) end = block.size();
    std::u16string line(block.substr(start, end - start));
    start = end + 1;
    if (line.ends_with(u'\r')) line.pop_back();
    // A CR inside a line would end the written field early.
    ReplaceAll(line, u"\r", u" ");
    if (line.empty()) break;  // the end of the header block
    if (line.front() == u' ' || line.front() == u'\t') {
      if (continues) fields.back().value += u" " + Trim(line);
      continue;
    }
    const std::size_t colon = line.find(u':');
    continues = colon != std::u16string::npos && IsFieldName(line.substr(0, colon));
    if (continues) fields.push_back({line.substr(0, colon), Trim(line.substr(colon + 1))});
  }
  return fields;
}

std::u16string FieldValue(const std::vector<HeaderField>& fields, std::u16string_view name) {
  for (const HeaderField& field : fields) {
    if (EqualsIgnoringAsciiCase(field.name, name)) return field.value;
  }
  return u"";
}

std::u16string MessageIdText(std::u16string_view stored) {
  std::u16string id = Trim(stored, u" \t\r\n<>");
  const std::size_t at = id.find(u'@');
  const bool valid = at != std::u16string::npos && at > 0 && at + 1 < id.size() &&
                     id.find(u'@', at + 1) == std::u16string::npos &&
                     std::all_of(id.begin(), id.end(), IsIdUnit);
  return valid ? u"<" + id + u">" : u"";
}

std::u16string MessageIdListText(std::u16string_view stored) {
  std::u16string list;
  std::u16string spaced = ReplacedAll(ReplacedAll(stored, u"<", u" <"), u",", u" ");
  for (const std::u16string& piece : Split(spaced, u' ')) {
    const std::u16string id = MessageIdText(piece);
    if (id.empty()) continue;
    if (!list.empty()) list += u" ";
    list += id;
  }
  return list;
}

std::u16string DerivedMessageId(std::u16string_view item_id) {
  std::u16string local;
  for (char16_t unit : item_id) {
    const bool plain = (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'z') ||
                       (unit >= u'A' && unit <= u'Z');
    local.push_back(plain ? unit : u'-');
  }
  if (local.empty()) local = u"item";
  return u"<item-" + local + u"@recovered.tarvex.invalid>";
}

}  // namespace tarvex
