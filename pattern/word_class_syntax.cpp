#include "pattern/word_class_syntax.h"

namespace tarvex {
namespace {

// Spacing marks (Mc) belong with the non-spacing ones: the vowel signs of Devanagari, Bengali,
// Tamil and the other Indic scripts are Mc, and without them no word of those scripts, and so
// no address written in them, would be matched whole.
constexpr std::u16string_view kWordItems = u"\\p{L}\\p{Mn}\\p{Mc}\\p{Nd}\\p{Pc}";

std::u16string WordClass(bool negated) {
  return std::u16string(negated ? u"[^" : u"[") + std::u16string(kWordItems) + u"]";
}

// Lookarounds on one character are fixed-length, so PCRE2 accepts them as lookbehinds.
std::u16string Boundary(bool at_boundary) {
  const std::u16string word = WordClass(false);
  if (at_boundary) {
    return u"(?:(?<=" + word + u")(?!" + word + u")|(?<!" + word + u")(?=" + word + u"))";
  }
  return u"(?:(?<=" + word + u")(?=" + word + u")|(?<!" + word + u")(?!" + word + u"))";
}

// Translates the class that opens at pattern[open] ('['). Returns the end of the class (one
// past its ']') and appends the translation, or returns `open` when the class is unterminated.
std::size_t TranslateClass(std::u16string_view pattern, std::size_t open, std::u16string& out) {
  std::size_t i = open + 1;
  bool negated = false;
  if (i < pattern.size() && pattern[i] == u'^') {
    negated = true;
    ++i;
  }
  std::u16string body;
  bool has_non_word = false;
  bool first = true;
  while (i < pattern.size()) {
    const char16_t unit = pattern[i];
    if (unit == u']' && !first) break;
    first = false;
    if (unit == u'\\' && i + 1 < pattern.size()) {
      const char16_t escaped = pattern[i + 1];
      if (escaped == u'w') {
        body += kWordItems;
      } else if (escaped == u'W') {
        has_non_word = true;
      } else {
        body += unit;
        body += escaped;
      }
      i += 2;
      continue;
    }
    // A leading "]" and any "[" or "^" inside stand for themselves; escaping them keeps
    // PCRE2 from reading POSIX classes or a negation into the rebuilt body.
    if (unit == u']' || unit == u'[' || unit == u'^') body += u'\\';
    body += unit;
    ++i;
  }
  if (i >= pattern.size()) return open;

  if (!has_non_word) {
    out += negated ? u"[^" : u"[";
    out += body;
    out += u']';
  } else if (body.empty()) {
    out += WordClass(!negated);
  } else if (!negated) {
    out += u"(?:[" + body + u"]|" + WordClass(true) + u")";
  } else {
    out += u"(?:(?![" + body + u"])" + WordClass(false) + u")";
  }
  return i + 1;
}

}  // namespace

std::u16string WithUnicodeWordClasses(std::u16string_view pattern) {
  std::u16string out;
  out.reserve(pattern.size());
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char16_t unit = pattern[i];
    if (unit == u'\\' && i + 1 < pattern.size()) {
      const char16_t escaped = pattern[i + 1];
      switch (escaped) {
        case u'w':
          out += WordClass(false);
          break;
        case u'W':
          out += WordClass(true);
          break;
        case u'b':
          out += Boundary(true);
          break;
        case u'B':
          out += Boundary(false);
          break;
        default:
          out += unit;
          out += escaped;
      }
      i += 2;
      continue;
    }
    if (unit == u'[') {
      const std::size_t end = TranslateClass(pattern, i, out);
      if (end == i) {
        // Unterminated: hand the rest over unchanged and let PCRE2 report it.
        out += pattern.substr(i);
        return out;
      }
      i = end;
      continue;
    }
    out += unit;
    ++i;
  }
  return out;
}

}  // namespace tarvex
