#include "content/rtf_to_text.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "base/code_page_1252.h"
#include "base/utf_conversion.h"
#include "content/html_visible_text.h"
#include "content/rtf_control_words.h"
#include "content/rtf_fonts.h"
#include "content/rtf_text_output.h"
#include "content/rtf_tokenizer.h"

namespace tarvex {
namespace {

using Kind = RtfToken::Kind;

// Real documents nest formatting a few dozen groups deep. A group that would need more saved
// states than this is dropped instead of growing memory with hostile nesting.
constexpr std::size_t kMaxSavedStates = 4096;
// Fallback characters after \u; the format allows a handful, nobody writes more.
constexpr int kMaxUnicodeSkip = 32;

// Character and destination properties that a group inherits and restores on its end.
struct GroupState {
  int font = -1;  // -1: the document's default font
  int unicode_skip = 1;
  bool hidden = false;       // parsed but not shown (font table, the ANSI half of \upr)
  bool font_table = false;   // entries define fonts
  bool html_rtf = false;     // RTF-only rendering of encapsulated HTML
  bool hidden_text = false;  // \v
};

// One pass over the document's tokens. Groups cost no recursion: a group's state is saved
// only when the group changes it, and a skipped group is only counted.
class RtfReader {
 public:
  explicit RtfReader(RtfTokenizer& tokens) : tokens_(tokens) {}

  std::u16string Read() {
    RtfToken token;
    while (tokens_.Next(token)) {
      if (token.kind == Kind::kGroupOpen) {
        OpenGroup();
      } else if (token.kind == Kind::kGroupClose) {
        if (!CloseGroup()) break;
      } else if (token.kind == Kind::kWord) {
        Word(token);
      } else if (!Skipping() && !StarTaken() && !FallbackTaken()) {
        Character(token);
      }
    }
    Flush();
    if (from_html_) return HtmlVisibleText(output_.TakeRawText());
    return output_.TakeText();
  }

 private:
  bool Skipping() const { return skip_from_depth_ != 0; }
  bool Visible() const {
    return !state_.hidden && !state_.hidden_text && !(from_html_ && state_.html_rtf);
  }

  // "\*" marks the group as one to skip unless the word after it is known.
  bool StarTaken() {
    if (!star_pending_) return false;
    star_pending_ = false;
    BeginSkip();
    return true;
  }

  // The characters that stand in for a \u character, for readers that do not know \u.
  bool FallbackTaken() {
    if (fallback_left_ == 0) return false;
    --fallback_left_;
    return true;
  }

  void OpenGroup() {
    Flush();
    fallback_left_ = 0;
    StarTaken();
    ++depth_;
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

  void Character(const RtfToken& token) {
    // Outside the document's group nothing is text.
    if (depth_ == 0) return;
    switch (token.kind) {
      case Kind::kEscapedByte:
        Byte(static_cast<char>(token.unit));
        break;
      case Kind::kWideText:
        Emit(std::u16string(1, static_cast<char16_t>(token.unit)));
        break;
      case Kind::kText:
        if (token.unit == '\t') {
          Emit(u"\t");
        } else if (token.unit >= 0x20) {  // control characters are not text
          Byte(static_cast<char>(token.unit));
        }
        break;
      case Kind::kSymbol:
        Symbol(token.unit);
        break;
      default:
        break;
    }
  }

  void Symbol(unsigned symbol) {
    switch (symbol) {
      case '*':
        Flush();
        star_pending_ = true;
        break;
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

  void Word(const RtfToken& control) {
    const std::string& word = control.word;
    if (word == "bin") {
      // Binary data, braces and backslashes included, whatever group it is in.
      if (control.parameter > 0) tokens_.SkipData(static_cast<std::size_t>(control.parameter));
      if (!Skipping()) FallbackTaken();
      return;
    }
    if (Skipping()) return;
    Flush();
    if (star_pending_) {
      const bool known = word == "ud" || (word == "htmltag" && from_html_);
      if (!known && StarTaken()) return;
      star_pending_ = false;
    }
    if (FallbackTaken() || DocumentWord(control) || StateWord(control)) return;
    if (word == "par" || word == "line" || word == "sect" || word == "page") {
      Emit(u"\r\n");
    } else if (word == "cell" || word == "nestcell") {
      if (Visible()) output_.EndCell();
    } else if (word == "row" || word == "nestrow") {
      if (Visible()) output_.EndRow();
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

  // Words about the document's code pages, fonts and encapsulation.
  bool DocumentWord(const RtfToken& control) {
    const std::string& word = control.word;
    if (word == "fromhtml") {
      from_html_ = !control.has_parameter || control.parameter != 0;
    } else if (word == "fonttbl") {
      if (SaveState()) {
        state_.hidden = true;
        state_.font_table = true;
      }
    } else if (state_.font_table && (word == "f" || word == "fcharset" || word == "cpg")) {
      fonts_.FontTableWord(word, control.parameter);
    } else if (word == "f") {
      if (SaveState()) state_.font = control.parameter;
    } else {
      return fonts_.DocumentWord(word, control.has_parameter, control.parameter);
    }
    return true;
  }

  // Group-scoped words that change what shows.
  bool StateWord(const RtfToken& control) {
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

  // A byte of text in the current font's code page.
  void Byte(char byte) {
    if (Visible()) output_.AddByte(byte);
  }

  void Flush() {
    if (output_.HasPendingBytes()) output_.Flush(fonts_.CodePageOf(state_.font));
  }

  void Emit(std::u16string_view text) {
    Flush();
    if (Visible()) output_.Add(text);
  }

  RtfTokenizer& tokens_;
  std::size_t depth_ = 0;
  std::size_t skip_from_depth_ = 0;  // 0: not skipping
  std::vector<std::pair<std::size_t, GroupState>> saved_;
  GroupState state_;
  bool star_pending_ = false;
  int fallback_left_ = 0;
  bool from_html_ = false;
  RtfFonts fonts_;
  RtfTextOutput output_;
};

// Whether the text opens an RTF group, after any blank lines.
template <typename Unit>
bool StartsAsRtf(std::basic_string_view<Unit> text) {
  constexpr std::string_view kMagic = "{\\rtf";
  std::size_t at = 0;
  while (at < text.size() &&
         (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n')) {
    ++at;
  }
  if (text.size() - at < kMagic.size()) return false;
  for (std::size_t i = 0; i < kMagic.size(); ++i) {
    if (text[at + i] != static_cast<Unit>(kMagic[i])) return false;
  }
  return true;
}

}  // namespace

std::u16string RtfToPlainText(std::string_view rtf) {
  if (!StartsAsRtf(rtf)) {
    if (std::optional<std::u16string> text = DecodeUtf8Strict(rtf)) return *text;
    return Windows1252ToUtf16(rtf);
  }
  RtfTokenizer tokens(rtf);
  return RtfReader(tokens).Read();
}

std::u16string RtfToPlainText(std::u16string_view rtf) {
  if (!StartsAsRtf(rtf)) return std::u16string(rtf);
  RtfTokenizer tokens(rtf);
  return RtfReader(tokens).Read();
}

}  // namespace tarvex
