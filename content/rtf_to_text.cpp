#include "content/rtf_to_text.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/code_page_1252.h"
#include "base/utf_conversion.h"
#include "content/html_visible_text.h"
#include "content/rtf_control_words.h"
#include "output/code_page_conversion.h"

namespace tarvex {
namespace {

constexpr int kWindows1252 = 1252;
// Real documents nest formatting a few dozen groups deep. A group that would need more saved
// states than this is dropped instead of growing memory with hostile nesting.
constexpr std::size_t kMaxSavedStates = 4096;
constexpr std::size_t kMaxFonts = 4096;
// Fallback characters after \u; the format allows a handful, nobody writes more.
constexpr int kMaxUnicodeSkip = 32;
// Control words are at most 32 letters; longer runs of letters are read but not kept.
constexpr std::size_t kMaxWordLength = 32;

// Character and destination properties that a group inherits and restores on its end.
struct GroupState {
  int font = -1;  // -1: the document's default font
  int unicode_skip = 1;
  bool hidden = false;       // parsed but not shown (font table, the ANSI half of \upr)
  bool font_table = false;   // entries define fonts
  bool html_rtf = false;     // RTF-only rendering of encapsulated HTML
  bool hidden_text = false;  // \v
};

struct FontEntry {
  std::optional<int> charset_code_page;
  std::optional<int> code_page;  // \cpg wins over the charset
};

struct ControlWord {
  std::string word;
  bool has_parameter = false;
  int parameter = 0;
};

bool IsLetter(unsigned unit) {
  return (unit >= 'a' && unit <= 'z') || (unit >= 'A' && unit <= 'Z');
}
bool IsDigit(unsigned unit) {
  return unit >= '0' && unit <= '9';
}
std::optional<unsigned> HexValue(unsigned unit) {
  if (IsDigit(unit)) return unit - '0';
  if (unit >= 'a' && unit <= 'f') return unit - 'a' + 10;
  if (unit >= 'A' && unit <= 'F') return unit - 'A' + 10;
  return std::nullopt;
}

std::u16string DecodeBytes(std::string_view bytes, int code_page) {
  if (code_page == kWindows1252) return Windows1252ToUtf16(bytes);
  return CodePageToWide(bytes, code_page);
}

// One pass over the document. `Unit` is char for RTF as stored and char16_t for widened RTF.
template <typename Unit>
class RtfReader {
 public:
  explicit RtfReader(std::basic_string_view<Unit> input) : in_(input) {}

  std::u16string Read() {
    while (pos_ < in_.size()) {
      const unsigned unit = At(pos_++);
      if (unit == '{') {
        OpenGroup();
      } else if (unit == '}') {
        if (!CloseGroup()) break;
      } else if (unit == '\\') {
        ReadControl();
      } else if (unit != '\r' && unit != '\n') {
        Literal(unit);
      }
    }
    Flush();
    if (from_html_) return HtmlVisibleText(output_);
    // A rich-text control keeps the document's last paragraph mark to itself.
    if (output_.ends_with(u"\r\n")) output_.resize(output_.size() - 2);
    return std::move(output_);
  }

 private:
  unsigned At(std::size_t index) const {
    return static_cast<std::make_unsigned_t<Unit>>(in_[index]);
  }

  bool Skipping() const { return skip_from_depth_ != 0; }
  bool Visible() const {
    return !state_.hidden && !state_.hidden_text && !(from_html_ && state_.html_rtf);
  }

  void OpenGroup() {
    Flush();
    fallback_left_ = 0;
    ++depth_;
    if (star_pending_) {
      star_pending_ = false;
      BeginSkip();
    }
  }

  // False once the document's outermost group has closed.
  bool CloseGroup() {
    Flush();
    fallback_left_ = 0;
    star_pending_ = false;
    if (depth_ == 0) return false;
    if (Skipping() && depth_ == skip_from_depth_) skip_from_depth_ = 0;
    if (!saved_.empty() && saved_.back().first == depth_) {
      state_ = saved_.back().second;
      saved_.pop_back();
    }
    --depth_;
    return depth_ != 0;
  }

  // Drops everything up to the end of the current group.
  void BeginSkip() {
    Flush();
    if (!Skipping()) skip_from_depth_ = std::max<std::size_t>(depth_, 1);
  }

  // Keeps the enclosing group's state before this group changes its own. False when the group
  // nests too deep to keep one more state; it is then skipped.
  bool SaveState() {
    if (!saved_.empty() && saved_.back().first == depth_) return true;
    if (saved_.size() >= kMaxSavedStates) {
      BeginSkip();
      return false;
    }
    saved_.emplace_back(depth_, state_);
    return true;
  }

  void ReadControl() {
    if (pos_ >= in_.size()) return;
    const unsigned first = At(pos_);
    if (!IsLetter(first)) {
      ++pos_;
      ControlSymbol(first);
      return;
    }
    ControlWord control;
    while (pos_ < in_.size() && IsLetter(At(pos_))) {
      if (control.word.size() < kMaxWordLength) control.word.push_back(static_cast<char>(At(pos_)));
      ++pos_;
    }
    bool negative = false;
    if (pos_ + 1 < in_.size() && At(pos_) == '-' && IsDigit(At(pos_ + 1))) {
      negative = true;
      ++pos_;
    }
    std::int64_t value = 0;
    while (pos_ < in_.size() && IsDigit(At(pos_))) {
      control.has_parameter = true;
      value = std::min<std::int64_t>(value * 10 + (At(pos_) - '0'), std::int64_t{1} << 32);
      ++pos_;
    }
    if (negative) value = -value;
    control.parameter = static_cast<int>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
    if (pos_ < in_.size() && At(pos_) == ' ') ++pos_;
    Word(control);
  }

  void ControlSymbol(unsigned symbol) {
    if (symbol == '\'') {
      std::optional<unsigned> high;
      std::optional<unsigned> low;
      if (pos_ < in_.size() && (high = HexValue(At(pos_)))) ++pos_;
      if (high && pos_ < in_.size() && (low = HexValue(At(pos_)))) ++pos_;
      if (Skipping()) return;
      if (star_pending_) {
        star_pending_ = false;
        BeginSkip();
        return;
      }
      // A cut-off escape stands for nothing.
      if (high && low) Byte(static_cast<char>(*high << 4 | *low));
      return;
    }
    if (Skipping()) return;
    if (symbol == '*') {
      Flush();
      star_pending_ = true;
      return;
    }
    if (star_pending_) {
      star_pending_ = false;
      BeginSkip();
      return;
    }
    if (fallback_left_ > 0) {
      --fallback_left_;
      return;
    }
    switch (symbol) {
      case '\\':
      case '{':
      case '}':
        Byte(static_cast<char>(symbol));
        break;
      case '~':
        Emit(u"\u00A0");
        break;
      case '_':
        Emit(u"\u2011");
        break;
      case '\r':
      case '\n':
        Emit(u"\r\n");
        break;
      default:  // \- shows only where a line wraps; \: and \| mark index and formula parts
        break;
    }
  }

  void Word(const ControlWord& control) {
    const std::string& word = control.word;
    if (word == "bin") {
      SkipBinary(control);
      if (!Skipping() && fallback_left_ > 0) --fallback_left_;
      return;
    }
    if (Skipping()) return;
    Flush();
    if (star_pending_) {
      star_pending_ = false;
      const bool known = word == "ud" || (word == "htmltag" && from_html_);
      if (!known) {
        BeginSkip();
        return;
      }
    }
    if (fallback_left_ > 0) {
      --fallback_left_;
      return;
    }
    if (DocumentWord(control) || FontWord(control) || StateWord(control)) return;
    if (word == "par" || word == "line" || word == "sect" || word == "page") {
      Emit(u"\r\n");
    } else if (word == "cell" || word == "nestcell") {
      Emit(u"\t");
      cell_end_ = output_.size();
    } else if (word == "row" || word == "nestrow") {
      // The last cell's separator becomes the row's line end.
      if (cell_end_ == output_.size() && output_.ends_with(u'\t')) output_.pop_back();
      Emit(u"\r\n");
    } else if (word == "u") {
      if (control.has_parameter && control.parameter >= -32768 && control.parameter <= 65535 &&
          control.parameter != 0) {
        Emit(std::u16string(1, static_cast<char16_t>(control.parameter & 0xFFFF)));
      }
      fallback_left_ = state_.unicode_skip;
    } else if (const std::optional<std::u16string_view> text = SymbolWordText(word)) {
      Emit(*text);
    } else if (IsHiddenDestination(word)) {
      BeginSkip();
    }
  }

  // Words that set the document's code page, fonts and encapsulation.
  bool DocumentWord(const ControlWord& control) {
    const std::string& word = control.word;
    if (word == "ansicpg") {
      if (control.parameter > 0 && control.parameter < 65536) code_page_ = control.parameter;
    } else if (word == "ansi") {
      code_page_ = kWindows1252;
    } else if (word == "mac") {
      code_page_ = 10000;
    } else if (word == "pc") {
      code_page_ = 437;
    } else if (word == "pca") {
      code_page_ = 850;
    } else if (word == "deff") {
      default_font_ = control.parameter;
    } else if (word == "fromhtml") {
      from_html_ = !control.has_parameter || control.parameter != 0;
    } else {
      return false;
    }
    return true;
  }

  bool FontWord(const ControlWord& control) {
    const std::string& word = control.word;
    if (word == "fonttbl") {
      if (SaveState()) {
        state_.hidden = true;
        state_.font_table = true;
      }
    } else if (word == "f") {
      if (state_.font_table) {
        font_entry_ = control.parameter;
      } else if (SaveState()) {
        state_.font = control.parameter;
      }
    } else if (word == "fcharset" || word == "cpg") {
      if (!state_.font_table) return true;
      FontEntry* entry = FontAt(font_entry_);
      if (entry == nullptr) return true;
      if (word == "cpg") {
        if (control.parameter > 0 && control.parameter < 65536)
          entry->code_page = control.parameter;
      } else {
        entry->charset_code_page = CharsetCodePage(control.parameter);
      }
    } else {
      return false;
    }
    return true;
  }

  // Group-scoped words that change what shows.
  bool StateWord(const ControlWord& control) {
    const std::string& word = control.word;
    const bool on = !control.has_parameter || control.parameter != 0;
    if (word == "uc") {
      if (SaveState()) state_.unicode_skip = std::clamp(control.parameter, 0, kMaxUnicodeSkip);
    } else if (word == "plain") {
      if (SaveState()) {
        state_.font = -1;
        state_.hidden_text = false;
      }
    } else if (word == "v") {
      if (SaveState()) state_.hidden_text = on;
    } else if (word == "htmlrtf") {
      if (SaveState()) state_.html_rtf = on;
    } else if (word == "htmltag" && from_html_) {
      if (SaveState()) {
        state_.html_rtf = false;
        state_.hidden = false;
      }
    } else if (word == "upr") {
      // The ANSI half is shown only by readers that do not know the Unicode half (\ud).
      if (SaveState()) state_.hidden = true;
    } else if (word == "ud") {
      if (SaveState()) state_.hidden = false;
    } else {
      return false;
    }
    return true;
  }

  FontEntry* FontAt(int number) {
    const auto found = fonts_.find(number);
    if (found != fonts_.end()) return &found->second;
    if (fonts_.size() >= kMaxFonts) return nullptr;
    return &fonts_[number];
  }

  int CodePageOfCurrentFont() const {
    const auto found = fonts_.find(state_.font < 0 ? default_font_ : state_.font);
    if (found == fonts_.end()) return code_page_;
    if (found->second.code_page) return *found->second.code_page;
    if (found->second.charset_code_page) return *found->second.charset_code_page;
    return code_page_;
  }

  // \binN: N bytes of data, whatever they hold, braces included.
  void SkipBinary(const ControlWord& control) {
    if (!control.has_parameter || control.parameter <= 0) return;
    pos_ += std::min<std::size_t>(static_cast<std::size_t>(control.parameter), in_.size() - pos_);
  }

  void Literal(unsigned unit) {
    if (Skipping()) return;
    if (star_pending_) {
      star_pending_ = false;
      BeginSkip();
      return;
    }
    if (fallback_left_ > 0) {
      --fallback_left_;
      return;
    }
    if (unit == '\t') {
      Emit(u"\t");
    } else if (unit < 0x20) {
      // Control characters are not text.
    } else if (std::is_same_v<Unit, char> || unit < 0x80) {
      Byte(static_cast<char>(unit));
    } else {
      Emit(std::u16string(1, static_cast<char16_t>(unit)));
    }
  }

  // A byte of text in the current font's code page; consecutive bytes decode together, so
  // that double-byte characters stay whole.
  void Byte(char byte) {
    if (Skipping()) return;
    if (fallback_left_ > 0) {
      --fallback_left_;
      return;
    }
    if (Visible()) pending_bytes_.push_back(byte);
  }

  void Flush() {
    if (pending_bytes_.empty()) return;
    output_ += DecodeBytes(pending_bytes_, CodePageOfCurrentFont());
    pending_bytes_.clear();
  }

  void Emit(std::u16string_view text) {
    Flush();
    if (Visible()) output_ += text;
  }

  std::basic_string_view<Unit> in_;
  std::size_t pos_ = 0;
  std::size_t depth_ = 0;
  std::size_t skip_from_depth_ = 0;  // 0: not skipping
  std::vector<std::pair<std::size_t, GroupState>> saved_;
  GroupState state_;
  bool star_pending_ = false;
  int fallback_left_ = 0;
  int code_page_ = kWindows1252;
  int default_font_ = 0;
  int font_entry_ = 0;
  bool from_html_ = false;
  std::unordered_map<int, FontEntry> fonts_;
  std::string pending_bytes_;
  std::u16string output_;
  std::size_t cell_end_ = 0;
};

template <typename Unit>
bool StartsAsRtf(std::basic_string_view<Unit> text) {
  std::size_t at = 0;
  while (at < text.size() &&
         (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n')) {
    ++at;
  }
  constexpr std::string_view kMagic = "{\\rtf";
  if (text.size() - at < kMagic.size()) return false;
  for (std::size_t i = 0; i < kMagic.size(); ++i) {
    if (static_cast<unsigned>(text[at + i]) != static_cast<unsigned char>(kMagic[i])) return false;
  }
  return true;
}

}  // namespace

std::u16string RtfToPlainText(std::string_view rtf) {
  if (!StartsAsRtf(rtf)) {
    if (std::optional<std::u16string> text = DecodeUtf8Strict(rtf)) return *text;
    return Windows1252ToUtf16(rtf);
  }
  return RtfReader<char>(rtf).Read();
}

std::u16string RtfToPlainText(std::u16string_view rtf) {
  if (!StartsAsRtf(rtf)) return std::u16string(rtf);
  return RtfReader<char16_t>(rtf).Read();
}

}  // namespace tarvex
