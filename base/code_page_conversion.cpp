#include "base/code_page_conversion.h"

#include <iconv.h>

#include <cerrno>
#include <string>

#include "base/code_page_1252.h"
#include "base/utf_conversion.h"

namespace tarvex {
namespace {

constexpr int kWindows1252 = 1252;

// glibc's name for a Windows code page number.
std::string IconvName(int code_page) {
  switch (code_page) {
    case 20127:
      return "ASCII";
    case 20866:
      return "KOI8-R";
    case 21866:
      return "KOI8-U";
    case 50220:
      return "ISO-2022-JP";
    case 51932:
      return "EUC-JP";
    case 51949:
      return "EUC-KR";
    case 52936:
      return "HZ";
    case 54936:
      return "GB18030";
    case 10000:
      return "MACINTOSH";
    case 65000:
      return "UTF-7";
    default:
      break;
  }
  if (code_page >= 28591 && code_page <= 28606) {
    return "ISO-8859-" + std::to_string(code_page - 28590);
  }
  return "CP" + std::to_string(code_page);
}

// One iconv conversion descriptor, closed on every path.
class IconvHandle {
 public:
  IconvHandle(const std::string& to, const std::string& from)
      : handle_(iconv_open(to.c_str(), from.c_str())) {}
  ~IconvHandle() {
    if (valid()) iconv_close(handle_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};

// Runs the whole input through `handle`. At a sequence it cannot convert, `on_bad` appends the
// substitute to the output and returns how many input bytes to skip.
template <typename OnBad>
std::string Convert(const IconvHandle& handle, std::string_view input, OnBad on_bad) {
  std::string output;
  char buffer[1024];
  char* in = const_cast<char*>(input.data());
  std::size_t in_left = input.size();
  while (in_left > 0) {
    char* out = buffer;
    std::size_t out_left = sizeof(buffer);
    const std::size_t result = iconv(handle.get(), &in, &in_left, &out, &out_left);
    output.append(buffer, static_cast<std::size_t>(out - buffer));
    if (result != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL (a sequence cut off at the end): substitute and move on.
    const std::size_t skip = std::min(in_left, on_bad(std::string_view(in, in_left), output));
    in += skip;
    in_left -= skip;
  }
  // Flush any shift state (stateful encodings).
  char* out = buffer;
  std::size_t out_left = sizeof(buffer);
  iconv(handle.get(), nullptr, nullptr, &out, &out_left);
  output.append(buffer, static_cast<std::size_t>(out - buffer));
  return output;
}

bool IsHighSurrogate(unsigned unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(unsigned unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::string WideToCodePage(std::u16string_view text, int code_page, char unknown) {
  if (code_page == kUtf8CodePage) return Utf16ToUtf8(text);
  if (code_page == kSystemCodePage || code_page == kWindows1252) {
    return Utf16ToWindows1252(text, unknown);
  }
  const IconvHandle handle(IconvName(code_page), "UTF-16LE");
  if (!handle.valid()) return Utf16ToWindows1252(text, unknown);
  const std::string units = EncodeUtf16Le(text);
  return Convert(handle, units, [unknown](std::string_view rest, std::string& output) {
    output.push_back(unknown);
    if (rest.size() >= 4) {
      const unsigned first = static_cast<unsigned char>(rest[0]) |
                             static_cast<unsigned>(static_cast<unsigned char>(rest[1])) << 8;
      const unsigned second = static_cast<unsigned char>(rest[2]) |
                              static_cast<unsigned>(static_cast<unsigned char>(rest[3])) << 8;
      if (IsHighSurrogate(first) && IsLowSurrogate(second)) return std::size_t{4};
    }
    return std::size_t{2};
  });
}

std::u16string CodePageToWide(std::string_view bytes, int code_page) {
  if (code_page == kUtf8CodePage) return Utf8ToUtf16(bytes);
  if (code_page == kSystemCodePage || code_page == kWindows1252) {
    return Windows1252ToUtf16(bytes);
  }
  const IconvHandle handle("UTF-16LE", IconvName(code_page));
  if (!handle.valid()) return Windows1252ToUtf16(bytes);
  const std::string units = Convert(handle, bytes, [](std::string_view, std::string& output) {
    output += "\xFD\xFF";  // U+FFFD, little-endian
    return std::size_t{1};
  });
  std::u16string text;
  text.reserve(units.size() / 2);
  for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(units[i]) |
                                         static_cast<unsigned char>(units[i + 1]) << 8));
  }
  return text;
}

}  // namespace tarvex
