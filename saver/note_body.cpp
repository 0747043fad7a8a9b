#include "saver/note_body.h"

#include <algorithm>
#include <optional>

#include "base/code_page_1252.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"

namespace tarvex {
namespace {

constexpr std::u16string_view kLineEnd = u"<newlinebreak>";

// Each character must be the Windows-1252 reading of one byte.
bool IsByteReading(std::u16string_view text) {
  for (char16_t unit : text) {
    const std::string byte = Utf16ToWindows1252(std::u16string_view(&unit, 1), '\0');
    if (Windows1252ToUtf16(static_cast<unsigned char>(byte[0])) != unit) return false;
  }
  return true;
}

std::u16string FromMisreadUtf16(std::u16string_view text) {
  std::string bytes;
  std::size_t start = 0;
  for (std::size_t end = text.find(kLineEnd); end != std::u16string_view::npos;
       end = text.find(kLineEnd, start)) {
    if (start > 0) bytes.push_back('\n');
    bytes += Utf16ToWindows1252(text.substr(start, end - start));
    start = end + kLineEnd.size();
  }
  if (start > 0 && start < text.size()) bytes.push_back('\n');
  bytes += Utf16ToWindows1252(text.substr(start));
  std::u16string decoded;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    decoded.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return decoded;
}

}  // namespace

std::optional<std::u16string_view> NoteBodyFilePath(std::u16string_view manifest_body) {
  constexpr std::u16string_view kMarker = u"<bodyfile>";
  if (!manifest_body.starts_with(kMarker)) return std::nullopt;
  return manifest_body.substr(kMarker.size());
}

std::u16string NoteBodyText(std::u16string_view manifest_body) {
  const std::u16string body = ReplacedAll(manifest_body, u"\\cama", u",");
  if (body.find(u'\0') != std::u16string::npos && IsByteReading(ReplacedAll(body, kLineEnd, u""))) {
    std::u16string text = FromMisreadUtf16(body);
    ReplaceAll(text, u"\r\n", u"\n");
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\0')) text.pop_back();
    return text;
  }
  std::u16string text = ReplacedAll(body, kLineEnd, u"\n");
  // Every line was followed by the escape, the last one too.
  if (!text.empty() && text.back() == u'\n') text.pop_back();
  // A UTF-8 body file ("htmlbody.html", "rtfbody.txt") read the same way: its bytes as
  // characters. Windows-1252 text seldom forms well-formed multi-byte UTF-8.
  if (IsByteReading(text)) {
    const std::string bytes = Utf16ToWindows1252(text);
    const bool multi_byte =
        std::any_of(bytes.begin(), bytes.end(), [](char byte) { return (byte & 0x80) != 0; });
    if (multi_byte) {
      if (std::optional<std::u16string> decoded = DecodeUtf8Strict(bytes)) return *decoded;
    }
  }
  return text;
}

}  // namespace tarvex
