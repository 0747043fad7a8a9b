#include "content/rtf_fonts.h"

#include "base/code_page_1252.h"
#include "base/code_page_conversion.h"

namespace tarvex {
namespace {

constexpr int kWindows1252 = 1252;
// A font table is a few dozen entries; a hostile one does not get to grow without end.
constexpr std::size_t kMaxEntries = 4096;

bool IsCodePage(int value) {
  return value > 0 && value < 65536;
}

}  // namespace

bool RtfFonts::DocumentWord(std::string_view word, bool has_parameter, int parameter) {
  if (word == "ansicpg") {
    if (has_parameter && IsCodePage(parameter)) code_page_ = parameter;
  } else if (word == "ansi") {
    code_page_ = kWindows1252;
  } else if (word == "mac") {
    code_page_ = 10000;
  } else if (word == "pc") {
    code_page_ = 437;
  } else if (word == "pca") {
    code_page_ = 850;
  } else if (word == "deff") {
    default_font_ = parameter;
  } else {
    return false;
  }
  return true;
}

void RtfFonts::FontTableWord(std::string_view word, int parameter) {
  if (word == "f") {
    current_entry_ = parameter;
    return;
  }
  if (word != "fcharset" && word != "cpg") return;
  auto found = entries_.find(current_entry_);
  if (found == entries_.end()) {
    if (entries_.size() >= kMaxEntries) return;
    found = entries_.emplace(current_entry_, Entry{}).first;
  }
  if (word == "cpg") {
    if (IsCodePage(parameter)) found->second.code_page = parameter;
  } else {
    found->second.charset_code_page = CharsetCodePage(parameter);
  }
}

int RtfFonts::CodePageOf(int font) const {
  const auto found = entries_.find(font < 0 ? default_font_ : font);
  if (found == entries_.end()) return code_page_;
  if (found->second.code_page) return *found->second.code_page;
  if (found->second.charset_code_page) return *found->second.charset_code_page;
  return code_page_;
}

std::optional<int> CharsetCodePage(int charset) {
  switch (charset) {
    case 2:  // symbol fonts: their bytes read best as Latin-1 shapes
      return kWindows1252;
    case 77:
      return 10000;
    case 128:
      return 932;
    case 129:
      return 949;
    case 130:
      return 1361;
    case 134:
      return 936;
    case 136:
      return 950;
    case 161:
      return 1253;
    case 162:
      return 1254;
    case 163:
      return 1258;
    case 177:
      return 1255;
    case 178:
      return 1256;
    case 186:
      return 1257;
    case 204:
      return 1251;
    case 222:
      return 874;
    case 238:
      return 1250;
    case 254:
      return 437;
    case 255:
      return 850;
    default:
      return std::nullopt;
  }
}

std::u16string DecodeCodePageBytes(std::string_view bytes, int code_page) {
  if (code_page == kWindows1252) return Windows1252ToUtf16(bytes);
  return CodePageToWide(bytes, code_page);
}

}  // namespace tarvex
