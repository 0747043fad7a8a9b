#include "content/html_visible_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>

#include "base/code_page_1252.h"
#include "base/utf16_text.h"

namespace tarvex {
namespace {

// Latin-1 names in code order from U+00A0.
constexpr std::array<std::u16string_view, 96> kLatin1Names = {
    u"nbsp",   u"iexcl",  u"cent",   u"pound",  u"curren", u"yen",    u"brvbar", u"sect",
    u"uml",    u"copy",   u"ordf",   u"laquo",  u"not",    u"shy",    u"reg",    u"macr",
    u"deg",    u"plusmn", u"sup2",   u"sup3",   u"acute",  u"micro",  u"para",   u"middot",
    u"cedil",  u"sup1",   u"ordm",   u"raquo",  u"frac14", u"frac12", u"frac34", u"iquest",
    u"Agrave", u"Aacute", u"Acirc",  u"Atilde", u"Auml",   u"Aring",  u"AElig",  u"Ccedil",
    u"Egrave", u"Eacute", u"Ecirc",  u"Euml",   u"Igrave", u"Iacute", u"Icirc",  u"Iuml",
    u"ETH",    u"Ntilde", u"Ograve", u"Oacute", u"Ocirc",  u"Otilde", u"Ouml",   u"times",
    u"Oslash", u"Ugrave", u"Uacute", u"Ucirc",  u"Uuml",   u"Yacute", u"THORN",  u"szlig",
    u"agrave", u"aacute", u"acirc",  u"atilde", u"auml",   u"aring",  u"aelig",  u"ccedil",
    u"egrave", u"eacute", u"ecirc",  u"euml",   u"igrave", u"iacute", u"icirc",  u"iuml",
    u"eth",    u"ntilde", u"ograve", u"oacute", u"ocirc",  u"otilde", u"ouml",   u"divide",
    u"oslash", u"ugrave", u"uacute", u"ucirc",  u"uuml",   u"yacute", u"thorn",  u"yuml",
};

constexpr std::array<std::pair<std::u16string_view, char16_t>, 40> kOtherNames = {{
    {u"amp", u'&'},         {u"lt", u'<'},          {u"gt", u'>'},          {u"quot", u'"'},
    {u"apos", u'\''},       {u"ensp", u'\u2002'},   {u"emsp", u'\u2003'},   {u"thinsp", u'\u2009'},
    {u"ndash", u'\u2013'},  {u"mdash", u'\u2014'},  {u"lsquo", u'\u2018'},  {u"rsquo", u'\u2019'},
    {u"sbquo", u'\u201A'},  {u"ldquo", u'\u201C'},  {u"rdquo", u'\u201D'},  {u"bdquo", u'\u201E'},
    {u"dagger", u'\u2020'}, {u"Dagger", u'\u2021'}, {u"bull", u'\u2022'},   {u"hellip", u'\u2026'},
    {u"permil", u'\u2030'}, {u"lsaquo", u'\u2039'}, {u"rsaquo", u'\u203A'}, {u"euro", u'\u20AC'},
    {u"trade", u'\u2122'},  {u"OElig", u'\u0152'},  {u"oelig", u'\u0153'},  {u"Scaron", u'\u0160'},
    {u"scaron", u'\u0161'}, {u"Yuml", u'\u0178'},   {u"fnof", u'\u0192'},   {u"circ", u'\u02C6'},
    {u"tilde", u'\u02DC'},  {u"zwnj", u'\u200C'},   {u"zwj", u'\u200D'},    {u"lrm", u'\u200E'},
    {u"rlm", u'\u200F'},    {u"larr", u'\u2190'},   {u"rarr", u'\u2192'},   {u"middot", u'\u00B7'},
}};

constexpr std::array<std::u16string_view, 27> kBlockElements = {
    u"address", u"article", u"blockquote", u"body",   u"center", u"dd", u"div",
    u"dl",      u"dt",      u"footer",     u"form",   u"h1",     u"h2", u"h3",
    u"h4",      u"h5",      u"h6",         u"header", u"hr",     u"li", u"ol",
    u"p",       u"pre",     u"section",    u"table",  u"tr",     u"ul",
};

// Elements whose content a browser never shows.
constexpr std::array<std::u16string_view, 6> kHiddenElements = {
    u"head", u"noscript", u"script", u"style", u"title", u"xml",
};

constexpr std::size_t kMaxEntityLength = 32;

bool IsAsciiLetter(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z');
}
bool IsAsciiAlnum(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z') ||
         (unit >= u'0' && unit <= u'9');
}
bool IsSpace(char16_t unit) {
  return unit == u' ' || unit == u'\t' || unit == u'\r' || unit == u'\n' || unit == u'\f';
}
// What ends a run of plain text: the start of markup or of a reference, or a blank.
bool IsMarkupOrBlank(char16_t unit) {
  return unit == u'<' || unit == u'&' || IsSpace(unit);
}
char16_t ToAsciiLower(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit;
}

std::u16string CodePointText(std::uint32_t code_point) {
  if (code_point >= 0x80 && code_point <= 0x9F) {
    // Browsers read these references as Windows-1252.
    return std::u16string(1, Windows1252ToUtf16(static_cast<unsigned char>(code_point)));
  }
  if (code_point == 0 || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) {
    return u"\uFFFD";
  }
  if (code_point < 0x10000) return std::u16string(1, static_cast<char16_t>(code_point));
  code_point -= 0x10000;
  return {static_cast<char16_t>(0xD800 + (code_point >> 10)),
          static_cast<char16_t>(0xDC00 + (code_point & 0x3FF))};
}

std::optional<std::u16string> NamedReference(std::u16string_view name) {
  for (std::size_t i = 0; i < kLatin1Names.size(); ++i) {
    if (kLatin1Names[i] == name) return std::u16string(1, static_cast<char16_t>(0xA0 + i));
  }
  for (const auto& [entity, unit] : kOtherNames) {
    if (entity == name) return std::u16string(1, unit);
  }
  return std::nullopt;
}

// The text of a character reference whose name (between "&" and ";") is `name`.
std::optional<std::u16string> ReferenceText(std::u16string_view name) {
  if (name.empty()) return std::nullopt;
  if (name[0] != u'#') return NamedReference(name);
  const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
  const std::u16string_view digits = name.substr(hex ? 2 : 1);
  if (digits.empty()) return std::nullopt;
  std::uint32_t value = 0;
  for (char16_t unit : digits) {
    std::uint32_t digit = 0;
    if (unit >= u'0' && unit <= u'9') {
      digit = unit - u'0';
    } else if (hex && ToAsciiLower(unit) >= u'a' && ToAsciiLower(unit) <= u'f') {
      digit = ToAsciiLower(unit) - u'a' + 10;
    } else {
      return std::nullopt;
    }
    value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + digit, 0x110000);
  }
  return CodePointText(value);
}

class HtmlTextWriter {
 public:
  explicit HtmlTextWriter(std::u16string_view html) : in_(html) {}

  std::u16string Write() {
    out_.reserve(in_.size());
    while (pos_ < in_.size()) {
      const char16_t unit = in_[pos_];
      if (!preformatted_ && !IsMarkupOrBlank(unit)) {
        // A run of plain characters is shown as it stands: only its first can follow a blank.
        const std::size_t end = std::find_if(in_.begin() + static_cast<std::ptrdiff_t>(pos_) + 1,
                                             in_.end(), IsMarkupOrBlank) -
                                in_.begin();
        Visible(unit);
        out_.append(in_.substr(pos_ + 1, end - pos_ - 1));
        pos_ = end;
        continue;
      }
      if (unit == u'<' && Markup()) continue;
      if (unit == u'&') {
        Reference();
      } else {
        ++pos_;
        Character(unit);
      }
    }
    while (out_.ends_with(u"\r\n")) out_.resize(out_.size() - 2);
    return std::move(out_);
  }

 private:
  // A tag, comment or declaration at pos_; false when the "<" is plain text.
  bool Markup() {
    const std::u16string_view rest = in_.substr(pos_);
    if (rest.starts_with(u"<!--")) {
      const std::size_t end = rest.find(u"-->", 4);
      pos_ = end == std::u16string_view::npos ? in_.size() : pos_ + end + 3;
      return true;
    }
    if (rest.size() < 2) return false;
    const bool closing = rest[1] == u'/';
    if (rest[1] == u'!' || rest[1] == u'?') {
      SkipPastTagEnd();
      return true;
    }
    std::size_t at = closing ? 2 : 1;
    if (at >= rest.size() || !IsAsciiLetter(rest[at])) return false;
    std::u16string name;
    while (at < rest.size() && (IsAsciiAlnum(rest[at]) || rest[at] == u':')) {
      name.push_back(ToAsciiLower(rest[at++]));
    }
    pos_ += at;
    SkipPastTagEnd();
    Tag(name, closing);
    return true;
  }

  // Attributes up to the closing ">", quoted values included.
  void SkipPastTagEnd() {
    char16_t quote = 0;
    while (pos_ < in_.size()) {
      const char16_t unit = in_[pos_++];
      if (quote != 0) {
        if (unit == quote) quote = 0;
      } else if (unit == u'"' || unit == u'\'') {
        quote = unit;
      } else if (unit == u'>') {
        return;
      }
    }
  }

  void Tag(const std::u16string& name, bool closing) {
    if (!closing &&
        std::find(kHiddenElements.begin(), kHiddenElements.end(), name) != kHiddenElements.end()) {
      SkipElementContent(name);
      return;
    }
    if (name == u"br") {
      Break();
      return;
    }
    if (name == u"pre") preformatted_ = !closing;
    if (name == u"tr") cell_count_ = 0;
    if ((name == u"td" || name == u"th") && !closing && cell_count_++ > 0) {
      pending_space_ = false;
      out_ += u'\t';
      line_empty_ = false;
    }
    if (std::find(kBlockElements.begin(), kBlockElements.end(), name) != kBlockElements.end()) {
      EndLine();
    }
  }

  // Everything up to and including the element's end tag.
  void SkipElementContent(std::u16string_view name) {
    const std::u16string end_tag = u"</" + std::u16string(name);
    while (pos_ < in_.size()) {
      const std::size_t found = in_.find(u"</", pos_);
      if (found == std::u16string_view::npos) break;
      const std::u16string_view candidate = in_.substr(found, end_tag.size());
      pos_ = found + 2;
      const std::size_t after = found + end_tag.size();
      if (EqualsIgnoringAsciiCase(candidate, end_tag) &&
          (after >= in_.size() || !IsAsciiAlnum(in_[after]))) {
        SkipPastTagEnd();
        return;
      }
    }
    pos_ = in_.size();
  }

  void Reference() {
    // Only a short name can follow, so the search for ";" stays short too.
    const std::u16string_view window = in_.substr(pos_ + 1, kMaxEntityLength + 1);
    const std::size_t length = window.find(u';');
    if (length != std::u16string_view::npos) {
      if (const std::optional<std::u16string> text = ReferenceText(window.substr(0, length))) {
        pos_ += length + 2;
        for (char16_t unit : *text) {
          if (unit != u'\u00AD') Visible(unit);  // a soft hyphen shows only at a wrap
        }
        return;
      }
    }
    ++pos_;
    Character(u'&');
  }

  void Character(char16_t unit) {
    if (preformatted_) {
      if (unit == u'\n') {
        Break();
      } else if (unit != u'\r') {
        Visible(unit);
      }
      return;
    }
    if (IsSpace(unit)) {
      pending_space_ = true;
      return;
    }
    Visible(unit);
  }

  void Visible(char16_t unit) {
    if (pending_space_ && !line_empty_) out_ += u' ';
    pending_space_ = false;
    out_ += unit;
    line_empty_ = false;
  }

  void Break() {
    pending_space_ = false;
    out_ += u"\r\n";
    line_empty_ = true;
  }

  void EndLine() {
    if (!line_empty_) Break();
    pending_space_ = false;
  }

  std::u16string_view in_;
  std::size_t pos_ = 0;
  std::u16string out_;
  bool line_empty_ = true;
  bool pending_space_ = false;
  bool preformatted_ = false;
  int cell_count_ = 0;
};

}  // namespace

std::u16string HtmlVisibleText(std::u16string_view html) {
  return HtmlTextWriter(html).Write();
}

}  // namespace tarvex
