#include "base/date_text.h"

#include <array>

#include "base/utf16_text.h"

namespace tarvex {
namespace {

// Reads exactly `digits` decimal digits at `pos`.
std::optional<int> ReadNumber(std::u16string_view text, std::size_t& pos, std::size_t digits) {
  if (pos + digits > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const char16_t unit = text[pos + i];
    if (unit < u'0' || unit > u'9') return std::nullopt;
    value = value * 10 + (unit - u'0');
  }
  pos += digits;
  return value;
}

bool Expect(std::u16string_view text, std::size_t& pos, char16_t unit) {
  if (pos >= text.size() || text[pos] != unit) return false;
  ++pos;
  return true;
}

std::optional<int> ReadMonth(std::u16string_view text, std::size_t& pos) {
  static constexpr std::array<std::u16string_view, 12> kNames = {u"Jan", u"Feb", u"Mar", u"Apr",
                                                                 u"May", u"Jun", u"Jul", u"Aug",
                                                                 u"Sep", u"Oct", u"Nov", u"Dec"};
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (text.substr(pos).starts_with(kNames[i])) {
      pos += 3;
      return static_cast<int>(i) + 1;
    }
  }
  const std::size_t comma = text.find(u',', pos);
  if (comma == std::u16string_view::npos || comma == pos || comma - pos > 2) return std::nullopt;
  return ReadNumber(text, pos, comma - pos);
}

int DaysInMonth(int year, int month) {
  static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

}  // namespace

std::optional<UtcDateTime> ParseDateText(std::u16string_view raw) {
  const std::u16string trimmed = Trim(raw);
  const std::u16string_view text = trimmed;
  std::size_t pos = 0;
  UtcDateTime date;
  const auto month = ReadMonth(text, pos);
  if (!month || !Expect(text, pos, u',')) return std::nullopt;
  const auto day = ReadNumber(text, pos, 2);
  if (!day || !Expect(text, pos, u' ')) return std::nullopt;
  const auto year = ReadNumber(text, pos, 4);
  if (!year || !Expect(text, pos, u' ')) return std::nullopt;
  const auto hour = ReadNumber(text, pos, 2);
  if (!hour || !Expect(text, pos, u':')) return std::nullopt;
  const auto minute = ReadNumber(text, pos, 2);
  if (!minute || !Expect(text, pos, u':')) return std::nullopt;
  const auto second = ReadNumber(text, pos, 2);
  if (!second || pos != text.size()) return std::nullopt;
  date = {*year, *month, *day, *hour, *minute, *second};
  if (date.month < 1 || date.month > 12 || date.year < 1601 || date.day < 1 ||
      date.day > DaysInMonth(date.year, date.month) || date.hour > 23 || date.minute > 59 ||
      date.second > 59) {
    return std::nullopt;
  }
  return date;
}

}  // namespace tarvex
