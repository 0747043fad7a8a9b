#include "base/text_file.h"

#include <array>

#include "base/utf_conversion.h"

namespace tarvex {
namespace {

constexpr std::string_view kUtf16Mark = "\xFF\xFE";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

}  // namespace

bool TextFile::Open(const std::filesystem::path& path, unsigned flags, std::error_code* error) {
  unicode_ = (flags & kUtf16Content) != 0;
  open_flags_ = (flags & ~kText) | kBinary;
  if (!BinaryFile::Open(path, open_flags_, error)) return false;
  if ((open_flags_ & (kCreate | kWrite)) == 0) {
    std::array<char, 2> mark{};
    unicode_ = Read(mark.data(), mark.size()) == mark.size() &&
               std::string_view(mark.data(), mark.size()) == kUtf16Mark;
  }
  BinaryFile::Seek(0, SeekOrigin::kBegin);
  check_start_ = true;
  return true;
}

bool TextFile::WriteString(std::u16string_view text) {
  if (!IsOpen()) return false;
  if (write_mark_ && Position() == 0) {
    if (unicode_) {
      if (!Write(kUtf16Mark.data(), kUtf16Mark.size())) return false;
    } else if (code_page_ == kUtf8CodePage) {
      if (!Write(kUtf8Mark.data(), kUtf8Mark.size())) return false;
    }
  }
  const std::string bytes =
      unicode_ ? EncodeUtf16Le(text) : WideToCodePage(text, code_page_, unknown_);
  return Write(bytes.data(), bytes.size());
}

bool TextFile::ReadString(std::u16string& text) {
  text.clear();
  if (!IsOpen()) return false;
  if (check_start_ && Position() == 0) {
    // Skip the mark only when it is there, so a file written without one loses nothing.
    const std::string_view mark =
        unicode_ ? kUtf16Mark : (code_page_ == kUtf8CodePage ? kUtf8Mark : std::string_view());
    if (!mark.empty()) {
      std::array<char, 3> start{};
      const std::size_t got = Read(start.data(), mark.size());
      if (std::string_view(start.data(), got) != mark) BinaryFile::Seek(0, SeekOrigin::kBegin);
    }
  }
  check_start_ = false;

  if (unicode_) {
    std::array<unsigned char, 2> unit{};
    bool any = false;
    while (Read(unit.data(), unit.size()) == unit.size()) {
      any = true;
      const auto value = static_cast<char16_t>(unit[0] | unit[1] << 8);
      if (value == u'\n') break;
      text.push_back(value);
    }
    if (!any) return false;
  } else {
    std::string line;
    if (!ReadByteLine(line)) return false;
    if (line.back() == '\n') line.pop_back();
    text = CodePageToWide(line, code_page_);
  }
  if (!text.empty() && text.back() == u'\r') text.pop_back();
  return true;
}

std::uint64_t TextFile::Seek(std::int64_t offset, SeekOrigin origin) {
  check_start_ = true;
  return BinaryFile::Seek(offset, origin);
}

}  // namespace tarvex
