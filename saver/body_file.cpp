#include "saver/body_file.h"

#include <cstdint>
#include <span>
#include <system_error>

#include "base/file_names.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "content/body_text_encoding.h"
#include "content/compressed_rtf.h"
#include "content/html_visible_text.h"
#include "content/rtf_to_text.h"
#include "saver/manifest.h"

namespace tarvex {
namespace {

constexpr std::size_t kMaxBodyBytes = 256 * 1024 * 1024;

bool IsUtf16BodyFile(std::u16string_view file_name) {
  return EqualsIgnoringAsciiCase(file_name, u"textbody.txt") ||
         EqualsIgnoringAsciiCase(file_name, u"blank.txt") ||
         EqualsIgnoringAsciiCase(file_name, u"blank.html");
}

std::u16string Utf16LeUnits(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  while (!text.empty() && text.back() == 0) text.pop_back();
  return text;
}

bool HasZeroAtOddOffset(std::string_view bytes) {
  for (std::size_t i = 1; i < bytes.size(); i += 2) {
    if (bytes[i] == 0) return true;
  }
  return false;
}

bool IsStillRtf(std::string_view bytes) {
  if (bytes.starts_with("{\\rtf")) return true;
  // The compressed stream's header: sizes, then "LZFu" (compressed) or "MELA" (uncompressed).
  return bytes.size() >= 16 && (bytes.substr(8, 4) == "LZFu" || bytes.substr(8, 4) == "MELA");
}

}  // namespace

BodyType BodyTypeFromManifest(std::u16string_view type) {
  if (type == u"html") return BodyType::kHtml;
  if (type == u"rtf") return BodyType::kRtf;
  return BodyType::kText;
}

std::u16string DecodeBodyFileBytes(std::string_view bytes, std::u16string_view file_name,
                                   BodyType type) {
  if (type == BodyType::kRtf && IsStillRtf(bytes)) {
    if (bytes.starts_with("{\\rtf")) return RtfToPlainText(bytes);
    const std::optional<std::string> rtf = DecompressRtf(bytes);
    return rtf ? RtfToPlainText(*rtf) : std::u16string();
  }
  if (bytes.starts_with("\xFF\xFE")) return Utf16LeUnits(bytes.substr(2));
  if (IsUtf16BodyFile(file_name) && bytes.size() % 2 == 0 && !bytes.starts_with("\xEF\xBB\xBF")) {
    // Text that uses only letters of one non-Latin script has no zero byte at all; such text
    // is rarely also well-formed UTF-8, while 8-bit text always has no zero byte.
    const bool plainly_8_bit = !HasZeroAtOddOffset(bytes) && DecodeUtf8Strict(bytes).has_value();
    if (!plainly_8_bit) return Utf16LeUnits(bytes);
  }
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  return DecodeBodyBytes(std::span<const std::uint8_t>(data, bytes.size()));
}

std::filesystem::path ResolveManifestPath(std::u16string_view text) {
  // The system calls would see only the part before a NUL: another file than the one named.
  if (text.find(u'\0') != std::u16string_view::npos) return {};
  std::filesystem::path path = PathFromText(text);
  std::error_code error;
  if (text.find(u'\\') != std::u16string_view::npos && !std::filesystem::exists(path, error)) {
    std::filesystem::path forward = PathFromText(ReplacedAll(text, u"\\", u"/"));
    if (std::filesystem::exists(forward, error)) return forward;
  }
  return path;
}

bool ReadBodyFile(std::u16string_view path_text, BodyType type, BodyContent& body,
                  std::string& error) {
  body = BodyContent{};
  body.html = type == BodyType::kHtml;
  if (path_text.empty()) return true;
  const std::filesystem::path path = ResolveManifestPath(path_text);
  std::error_code exists_error;
  if (!std::filesystem::is_regular_file(path, exists_error)) return true;
  std::string bytes;
  if (!ReadFileBytes(path, kMaxBodyBytes, bytes, error)) return false;
  body.text = DecodeBodyFileBytes(bytes, TextFromPath(path.filename()), type);
  return true;
}

std::u16string BodyPlainText(const BodyContent& body) {
  return body.html ? HtmlVisibleText(body.text) : body.text;
}

}  // namespace tarvex
