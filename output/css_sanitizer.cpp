#include "output/css_sanitizer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "output/page_urls.h"

namespace tarvex {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// One character of the style text after escapes and comments are resolved. An escaped
// character never acts as syntax, so it is written back escaped.
struct CssUnit {
  char32_t value;
  bool escaped;
};

using CssUnits = std::vector<CssUnit>;

char32_t NextCodePoint(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at++]);
  if (lead < 0x80) return lead;
  int length = lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
  if (lead >= 0xF5 || length < 0) return kReplacement;
  char32_t value = lead & (0x3F >> length);
  for (; length > 0; --length) {
    if (at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) {
      return kReplacement;
    }
    value = value << 6 | (static_cast<unsigned char>(text[at++]) & 0x3F);
  }
  if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return kReplacement;
  return value;
}

bool IsHexDigit(char32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsCssSpace(char32_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsNameUnit(const CssUnit& unit) {
  const char32_t c = unit.value;
  return unit.escaped || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9') || c == '-' || c == '_' || c >= 0x80;
}

bool IsSyntax(const CssUnit& unit, char32_t c) {
  return !unit.escaped && unit.value == c;
}

// Escapes resolved, comments outside strings replaced by a blank.
CssUnits Decoded(std::string_view css) {
  std::vector<char32_t> points;
  for (std::size_t at = 0; at < css.size();) points.push_back(NextCodePoint(css, at));
  CssUnits units;
  char32_t quote = 0;
  for (std::size_t i = 0; i < points.size();) {
    const char32_t c = points[i];
    if (quote == 0 && c == '/' && i + 1 < points.size() && points[i + 1] == '*') {
      std::size_t end = i + 2;
      while (end + 1 < points.size() && !(points[end] == '*' && points[end + 1] == '/')) ++end;
      i = std::min(end + 2, points.size());
      units.push_back({' ', false});
      continue;
    }
    if (c == '\\') {
      ++i;
      if (i >= points.size()) break;
      if (points[i] == '\n' || points[i] == '\r' || points[i] == '\f') {
        // A line continued inside a string; outside one the backslash stands for itself.
        if (quote == 0) units.push_back({'\\', true});
        ++i;
        continue;
      }
      if (IsHexDigit(points[i])) {
        char32_t value = 0;
        for (int digits = 0; digits < 6 && i < points.size() && IsHexDigit(points[i]);
             ++digits, ++i) {
          const char32_t d = points[i];
          value = value * 16 + (d <= '9' ? d - '0' : (d | 0x20) - 'a' + 10);
        }
        if (i < points.size() && IsCssSpace(points[i])) ++i;
        if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
          value = kReplacement;
        }
        units.push_back({value, true});
        continue;
      }
      units.push_back({points[i++], true});
      continue;
    }
    if (quote == 0 && (c == '"' || c == '\'')) {
      quote = c;
    } else if (quote != 0 && (c == quote || c == '\n')) {
      quote = 0;
    }
    units.push_back({c == 0 ? kReplacement : c, false});
    ++i;
  }
  return units;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | c >> 6));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | c >> 12));
    out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | c >> 18));
    out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string Utf8Of(const CssUnits& units, std::size_t begin, std::size_t end) {
  std::string text;
  for (std::size_t i = begin; i < end; ++i) AppendUtf8(text, units[i].value);
  return text;
}

std::string LowerName(const CssUnits& units, std::size_t begin, std::size_t end) {
  std::string name;
  for (std::size_t i = begin; i < end; ++i) {
    const char32_t c = units[i].value;
    name.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a')
                   : c < 0x80           ? static_cast<char>(c)
                                        : '?');
  }
  return name;
}

// The end of the string that opens at `open` (just past its closing quote).
std::size_t StringEnd(const CssUnits& units, std::size_t open) {
  std::size_t i = open + 1;
  while (i < units.size() && !IsSyntax(units[i], units[open].value) && !IsSyntax(units[i], '\n')) {
    ++i;
  }
  return std::min(i + 1, units.size());
}

// The argument of url( that opens at `open`, and the end of the call (past its ")").
struct UrlCall {
  std::string url;
  std::size_t end;
};

UrlCall ReadUrlCall(const CssUnits& units, std::size_t open) {
  std::size_t i = open + 1;
  while (i < units.size() && !units[i].escaped && IsCssSpace(units[i].value)) ++i;
  UrlCall call{{}, units.size()};
  if (i < units.size() && (IsSyntax(units[i], '"') || IsSyntax(units[i], '\''))) {
    const std::size_t end = StringEnd(units, i);
    const bool closed = end > i + 1 && IsSyntax(units[end - 1], units[i].value);
    call.url = Utf8Of(units, i + 1, closed ? end - 1 : end);
    i = end;
  } else {
    const std::size_t begin = i;
    while (i < units.size() && !IsSyntax(units[i], ')')) ++i;
    call.url = Utf8Of(units, begin, i);
  }
  while (i < units.size() && !IsSyntax(units[i], ')')) ++i;
  call.end = std::min(i + 1, units.size());
  return call;
}

bool IsLoadingFunction(const std::string& name) {
  static constexpr std::array<std::string_view, 10> kNames = {
      "expression",         "image-set", "-webkit-image-set", "image", "cross-fade",
      "-webkit-cross-fade", "element",   "-moz-element",      "src",   "paint"};
  return std::find(kNames.begin(), kNames.end(), name) != kNames.end();
}

void AppendPlain(CssUnits& out, std::string_view ascii) {
  for (char c : ascii) out.push_back({static_cast<char32_t>(c), false});
}

CssUnits Rewritten(const CssUnits& units) {
  CssUnits out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size();) {
    const CssUnit& unit = units[i];
    if (IsSyntax(unit, '"') || IsSyntax(unit, '\'')) {
      const std::size_t end = StringEnd(units, i);
      out.insert(out.end(), units.begin() + static_cast<std::ptrdiff_t>(i),
                 units.begin() + static_cast<std::ptrdiff_t>(end));
      i = end;
      continue;
    }
    if (IsSyntax(unit, '@')) {
      std::size_t end = i + 1;
      while (end < units.size() && IsNameUnit(units[end])) ++end;
      if (LowerName(units, i + 1, end) == "import") {
        AppendPlain(out, "@blocked-import");
        i = end;
        continue;
      }
    }
    if (IsNameUnit(unit)) {
      std::size_t end = i;
      while (end < units.size() && IsNameUnit(units[end])) ++end;
      const bool call = end < units.size() && IsSyntax(units[end], '(');
      const std::string name = call ? LowerName(units, i, end) : std::string();
      if (name == "url") {
        const UrlCall url = ReadUrlCall(units, end);
        if (IsShowableImageSource(KindOfUrl(url.url))) {
          out.insert(out.end(), units.begin() + static_cast<std::ptrdiff_t>(i),
                     units.begin() + static_cast<std::ptrdiff_t>(url.end));
        } else {
          AppendPlain(out, "none");
        }
        i = url.end;
        continue;
      }
      if (IsLoadingFunction(name)) AppendPlain(out, "blocked-");
      out.insert(out.end(), units.begin() + static_cast<std::ptrdiff_t>(i),
                 units.begin() + static_cast<std::ptrdiff_t>(end));
      i = end;
      continue;
    }
    out.push_back(unit);
    ++i;
  }
  return out;
}

}  // namespace

std::string SanitizedCss(std::string_view css) {
  std::string text;
  text.reserve(css.size());
  for (const CssUnit& unit : Rewritten(Decoded(css))) {
    if (unit.escaped || unit.value == '<') {
      char escape[16];
      std::snprintf(escape, sizeof escape, "\\%x ", static_cast<unsigned>(unit.value));
      text += escape;
    } else {
      AppendUtf8(text, unit.value);
    }
  }
  return text;
}

}  // namespace tarvex
