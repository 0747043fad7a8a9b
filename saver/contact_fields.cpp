#include "saver/contact_fields.h"

#include <vector>

#include "base/utf16_text.h"
#include "saver/manifest.h"

namespace tarvex {
namespace {

// 48 short fields; even generous addresses stay far below this.
constexpr std::size_t kMaxContactFileBytes = 1024 * 1024;

bool CommasPossible(ContactField field) {
  switch (field) {
    case ContactField::kEmail1:
    case ContactField::kEmail2:
    case ContactField::kEmail3:
    case ContactField::kHomePhone:
    case ContactField::kHomePhone2:
    case ContactField::kBusinessPhone:
    case ContactField::kBusinessPhone2:
    case ContactField::kMobilePhone:
    case ContactField::kOtherPhone:
    case ContactField::kOtherFax:
    case ContactField::kBusinessFax:
    case ContactField::kBusinessHomePage:
    case ContactField::kWebPage:
      return false;
    default:
      return true;
  }
}

}  // namespace

std::u16string UnescapeContactValue(std::u16string_view value, bool commas_possible) {
  std::u16string text = ReplacedAll(value, u"<newlinebreak>", u"\n");
  if (!commas_possible) return text;
  std::u16string result;
  result.reserve(text.size());
  constexpr std::u16string_view kComma = u"cama";
  for (std::size_t i = 0; i < text.size();) {
    if (std::u16string_view(text).substr(i).starts_with(kComma)) {
      const std::size_t after = i + kComma.size();
      const bool letter_follows = after < text.size() && text[after] >= u'a' && text[after] <= u'z';
      if (!letter_follows) {
        result.push_back(u',');
        i = after;
        continue;
      }
    }
    result.push_back(text[i++]);
  }
  return result;
}

ContactFieldsResult ParseContactFields(std::string_view bytes) {
  ContactFieldsResult result;
  if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
      static_cast<unsigned char>(bytes[1]) != 0xFE) {
    result.error = "the contact field file does not start with the UTF-16LE mark FF FE";
    return result;
  }
  if (bytes.size() % 2 != 0) {
    result.error = "the contact field file has an odd number of bytes";
    return result;
  }
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 2; i < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  std::vector<std::u16string> pieces;
  std::size_t start = 0;
  for (std::size_t end = text.find(u"<br>"); end != std::u16string::npos;
       end = text.find(u"<br>", start)) {
    pieces.push_back(text.substr(start, end - start));
    start = end + 4;
  }
  if (pieces.size() != kContactFieldCount || start != text.size()) {
    result.error = "the contact field file holds " + std::to_string(pieces.size()) +
                   " fields ended by <br>" + (start != text.size() ? " and trailing text" : "") +
                   "; 48 are expected";
    return result;
  }
  std::array<std::u16string, kContactFieldCount> values;
  for (std::size_t i = 0; i < kContactFieldCount; ++i) {
    values[i] = UnescapeContactValue(pieces[i], CommasPossible(static_cast<ContactField>(i)));
  }
  result.fields.emplace(std::move(values));
  return result;
}

ContactFieldsResult ReadContactFieldsFile(const std::filesystem::path& path) {
  ContactFieldsResult result;
  std::string bytes;
  if (!ReadFileBytes(path, kMaxContactFileBytes, bytes, result.error)) return result;
  result = ParseContactFields(bytes);
  if (!result.fields) result.error = path.string() + ": " + result.error;
  return result;
}

}  // namespace tarvex
