#include "content/text_transformations.h"

#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "base/utf16_text.h"
#include "pattern/collect_matches.h"

namespace tarvex {
namespace {

constexpr std::u16string_view kAddressPattern =
    u"\\w+([-+.']\\w+)*@\\w+([-.]\\w+)*\\.\\w+([-.]\\w+)*";

// Decoration around addresses in stored sender and recipient texts. The plus sign is not
// among them: it is part of addresses such as "john+news@example.com".
constexpr std::u16string_view kDroppedCharacters = u"^\")(`{}[]";

// A letter absent from `text`. It stands in for "-" while the address pattern runs, so that
// hyphenated names count as word characters; being absent, it turns back into "-" without
// touching anything else (a run of letters such as "ZZZZZZZ" would merge with an adjacent
// "Z" of the address). None only when the text holds every candidate.
std::optional<char16_t> UnusedLetter(std::u16string_view text) {
  std::vector<bool> present(0x10000, false);
  for (const char16_t unit : text) present[unit] = true;
  // CJK ideographs, then Hangul syllables: letters of every Unicode version.
  constexpr std::array<std::pair<char16_t, char16_t>, 2> kCandidates{
      {{u'\u4E00', u'\u9FA5'}, {u'\uAC00', u'\uD7A3'}}};
  for (const auto& [first, last] : kCandidates) {
    for (char32_t letter = first; letter <= last; ++letter) {
      if (!present[letter]) return static_cast<char16_t>(letter);
    }
  }
  return std::nullopt;
}

}  // namespace

std::u16string ExtractMailAddresses(std::u16string_view text) {
  std::u16string work(text);
  ReplaceAll(work, u" SMTP ", u"<");
  ReplaceAll(work, u"@ ", u"");
  work = Trim(work, u" ");
  for (const char16_t dropped : kDroppedCharacters) {
    ReplaceAll(work, std::u16string_view(&dropped, 1), u"");
  }

  const std::optional<char16_t> hyphen_marker =
      work.find(u'-') == std::u16string::npos ? std::nullopt : UnusedLetter(work);
  if (hyphen_marker) ReplaceAll(work, u"-", std::u16string_view(&*hyphen_marker, 1));

  std::u16string addresses = CollectMatches(kAddressPattern, work);
  ReplaceAll(addresses, u",,", u"");
  ReplaceAll(addresses, u",_", u",");
  if (hyphen_marker) ReplaceAll(addresses, std::u16string_view(&*hyphen_marker, 1), u"-");
  return addresses;
}

std::u16string CollapseRecipientSpaces(std::u16string_view text) {
  std::u16string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u' ') {
      result += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == u' ') {
      result += u' ';
      ++i;
    }
  }
  return result;
}

std::u16string EscapeAngleBrackets(std::u16string_view text) {
  std::u16string result(text);
  EscapeAngleBracketsInPlace(result);
  return result;
}

void EscapeAngleBracketsInPlace(std::u16string& text) {
  for (char16_t& unit : text) {
    if (unit == u'<') unit = u'[';
    if (unit == u'>') unit = u']';
  }
}

std::u16string MonthNamesToNumbers(std::u16string_view text) {
  static constexpr std::array<std::pair<std::u16string_view, std::u16string_view>, 12> kMonths{{
      {u"Jan", u"1"},
      {u"Feb", u"2"},
      {u"Mar", u"3"},
      {u"Apr", u"4"},
      {u"May", u"5"},
      {u"Jun", u"6"},
      {u"Jul", u"7"},
      {u"Aug", u"8"},
      {u"Sep", u"9"},
      {u"Oct", u"10"},
      {u"Nov", u"11"},
      {u"Dec", u"12"},
  }};
  std::u16string result(text);
  for (const auto& [name, number] : kMonths) ReplaceAll(result, name, number);
  return result;
}

}  // namespace tarvex
