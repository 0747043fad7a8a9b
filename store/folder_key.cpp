#include "store/folder_key.h"

#include "base/code_page_1252.h"
#include "base/utf16_text.h"

namespace tarvex {

std::u16string FolderKeyFromTableName(std::u16string_view table_name) {
  // The name passes through 8-bit text first, so characters outside 1252 become "?".
  const std::u16string narrow_name = Windows1252ToUtf16(Utf16ToWindows1252(table_name));
  const std::vector<std::u16string> parts = Split(narrow_name, u'-');
  if (parts.size() != 2) return {};
  const std::u16string& first = parts[0];
  const std::u16string& second = parts[1];
  if (first.size() >= 1 && first.size() <= 3 && second.size() <= 13) {
    return first + std::u16string(14 - second.size(), u'0') + second;
  }
  return first + second;
}

std::u16string FolderTableName(std::u16string_view folder_key) {
  std::u16string_view counter = folder_key.size() > 1 ? folder_key.substr(1, 14) : u"";
  while (!counter.empty() && counter.front() == u'0') counter.remove_prefix(1);
  return u"1-" + ToAsciiUpper(counter);
}

}  // namespace tarvex
