#include "pattern/header_pattern_syntax.h"

#include "base/utf16_text.h"

namespace tarvex {
namespace {

// Patterns are short; the bound keeps a crafted one from exhausting the stack.
constexpr int kMaxNesting = 200;

bool IsAsciiPunctuation(char16_t unit) {
  return (unit >= u'!' && unit <= u'/') || (unit >= u':' && unit <= u'@') ||
         (unit >= u'[' && unit <= u'`') || (unit >= u'{' && unit <= u'~');
}

std::u16string_view Abbreviation(char16_t letter) {
  switch (letter) {
    case u'a':
      return u"[a-zA-Z0-9]";
    case u'b':
      return u"[ \\t]";
    case u'c':
      return u"[a-zA-Z]";
    case u'd':
      return u"[0-9]";
    case u'h':
      return u"[0-9a-fA-F]";
    case u'n':
      return u"(?:\\r|\\r?\\n)";
    case u'q':
      return u"(?:\"[^\"]*\"|'[^']*')";
    case u'w':
      return u"(?:[a-zA-Z]+)";
    case u'z':
      return u"(?:[0-9]+)";
    default:
      return {};
  }
}

class HeaderPatternTranslator {
 public:
  explicit HeaderPatternTranslator(std::u16string_view pattern) : pattern_(pattern) {}

  std::optional<std::u16string> Run() {
    std::u16string out = Alternation();
    if (failed_ || position_ != pattern_.size()) return std::nullopt;
    return out;
  }

 private:
  bool AtEnd() const { return position_ >= pattern_.size(); }
  char16_t Peek() const { return pattern_[position_]; }
  bool EndsSequence() const {
    return AtEnd() || Peek() == u'|' || Peek() == u')' || Peek() == u'}';
  }

  // Fails the translation; the returned text is discarded.
  std::u16string Fail() {
    failed_ = true;
    return {};
  }

  // One character, a surrogate pair counting as one, written so PCRE2 takes it literally.
  std::u16string Literal() {
    const char16_t unit = pattern_[position_++];
    std::u16string out;
    if (IsAsciiPunctuation(unit)) out += u'\\';
    out += unit;
    if (unit >= 0xD800 && unit <= 0xDBFF && !AtEnd() && Peek() >= 0xDC00 && Peek() <= 0xDFFF) {
      out += pattern_[position_++];
    }
    return out;
  }

  std::u16string Alternation() {
    std::u16string out = Sequence();
    while (!failed_ && !AtEnd() && Peek() == u'|') {
      ++position_;
      out += u'|';
      out += Sequence();
    }
    return out;
  }

  std::u16string Sequence() {
    std::u16string out;
    while (!failed_ && !EndsSequence()) out += Quantified();
    return out;
  }

  std::u16string Quantified() {
    if (Peek() == u'!') {
      ++position_;
      if (EndsSequence() || !Enter()) return Fail();
      std::u16string inner = Quantified();
      --nesting_;
      return u"(?!" + inner + u")";
    }
    bool repeatable = true;
    std::u16string out = Atom(repeatable);
    if (failed_ || AtEnd() || !IsQuantifier(Peek())) return out;
    if (!repeatable) return Fail();
    out += pattern_[position_++];
    if (!AtEnd() && Peek() == u'?') out += pattern_[position_++];
    // "a**" means nothing in this syntax, and "a*+" would be possessive to PCRE2.
    if (!AtEnd() && IsQuantifier(Peek())) return Fail();
    return out;
  }

  static bool IsQuantifier(char16_t unit) { return unit == u'?' || unit == u'*' || unit == u'+'; }

  bool Enter() { return ++nesting_ <= kMaxNesting; }

  std::u16string Group(std::u16string_view open, char16_t close) {
    ++position_;
    if (!Enter()) return Fail();
    std::u16string inner = Alternation();
    --nesting_;
    if (failed_ || AtEnd() || Peek() != close) return Fail();
    ++position_;
    return std::u16string(open) + inner + u")";
  }

  std::u16string Atom(bool& repeatable) {
    const char16_t unit = Peek();
    switch (unit) {
      case u'(':
        return Group(u"(?:", u')');
      case u'{':
        return Group(u"(", u'}');
      case u'[':
        return CharacterClass();
      case u'?':
      case u'*':
      case u'+':
        return Fail();
      case u'.':
        ++position_;
        return u".";
      case u'\\':
        return Escape();
      case u'^':
        if (position_ == 0) {
          ++position_;
          repeatable = false;
          return u"\\A";
        }
        return Literal();
      case u'$':
        if (position_ + 1 == pattern_.size()) {
          ++position_;
          repeatable = false;
          return u"\\z";
        }
        return Literal();
      default:
        return Literal();
    }
  }

  std::u16string Escape() {
    ++position_;
    if (AtEnd()) return Fail();
    const char16_t letter = Peek();
    if (const std::u16string_view expansion = Abbreviation(letter); !expansion.empty()) {
      ++position_;
      return std::u16string(expansion);
    }
    if (letter >= u'0' && letter <= u'9') {
      ++position_;
      // PCRE2 numbers groups from 1.
      return u"\\g{" + FromAscii(std::to_string(letter - u'0' + 1)) + u"}";
    }
    return Literal();
  }

  // A class member: "\x" or one character, written for use inside a PCRE2 class.
  std::u16string ClassMember() {
    if (Peek() == u'\\') {
      ++position_;
      if (AtEnd()) return Fail();
    }
    return Literal();
  }

  std::u16string CharacterClass() {
    ++position_;
    std::u16string out = u"[";
    if (!AtEnd() && Peek() == u'^') {
      ++position_;
      out += u'^';
    }
    bool empty = true;
    while (!failed_ && !AtEnd() && Peek() != u']') {
      out += ClassMember();
      if (!failed_ && position_ + 1 < pattern_.size() && Peek() == u'-' &&
          pattern_[position_ + 1] != u']') {
        ++position_;
        out += u'-';
        out += ClassMember();
      }
      empty = false;
    }
    if (failed_ || AtEnd() || empty) return Fail();
    ++position_;
    return out + u"]";
  }

  std::u16string_view pattern_;
  std::size_t position_ = 0;
  int nesting_ = 0;
  bool failed_ = false;
};

}  // namespace

std::optional<std::u16string> TranslateHeaderPattern(std::u16string_view pattern) {
  return HeaderPatternTranslator(pattern).Run();
}

}  // namespace tarvex
