#include "preview_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "base/utf_conversion.h"
#include "item_store_forge.h"

namespace tarvex::testing {

namespace ef = edbforge;

std::vector<std::uint8_t> Utf8Bytes(std::u16string_view text) {
  return Utf8Bytes(Utf16ToUtf8(text));
}

std::u16string PageText(const std::filesystem::path& path) {
  const std::string bytes = FileText(path);
  if (bytes.size() < 2 || bytes.substr(0, 2) != "\xFF\xFE") {
    ADD_FAILURE() << path << " does not start with FF FE";
    return std::u16string();
  }
  const std::optional<std::u16string> text = DecodeUtf16LeStrict(bytes.substr(2));
  EXPECT_TRUE(text.has_value()) << path << " is not UTF-16LE";
  return text.value_or(std::u16string());
}

std::u16string UnmarkedText(const std::filesystem::path& path) {
  const std::string bytes = FileText(path);
  EXPECT_FALSE(bytes.starts_with("\xFF\xFE")) << path << " carries a mark";
  const std::optional<std::u16string> text = DecodeUtf16LeStrict(bytes);
  EXPECT_TRUE(text.has_value()) << path << " is not UTF-16LE";
  return text.value_or(std::u16string());
}

std::u16string CellValue(std::u16string_view page, std::u16string_view label) {
  const std::size_t start = page.find(u"<th>" + std::u16string(label) + u"</th><td");
  if (start == std::u16string_view::npos) return std::u16string();
  const std::size_t value = page.find(u'>', start + label.size() + 9) + 1;
  const std::size_t end = page.find(u"</td>", value);
  return std::u16string(page.substr(value, end - value));
}

ItemListRow ListRow(std::u16string key, std::u16string kind, std::u16string row_number,
                    std::u16string row_info, std::u16string sender, std::u16string subject,
                    std::u16string date, std::u16string flag, std::u16string to, std::u16string cc,
                    std::u16string bcc) {
  return {std::move(key),    std::move(kind),    std::move(row_number), std::move(row_info),
          std::move(sender), std::move(subject), std::move(date),       std::move(flag),
          std::move(to),     std::move(cc),      std::move(bcc)};
}

}  // namespace tarvex::testing
