#include "tools/edbforge/exchange/file_time.h"

namespace tarvex::edbforge {
namespace {

std::optional<int> Digits(std::string_view text, size_t offset, size_t count) {
  int value = 0;
  for (size_t i = offset; i < offset + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// Days from 1970-01-01 to a proleptic Gregorian date (the inverse of the civil calendar walk).
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<int64_t>(day_of_era) - 719468;
}

bool IsLeap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

}  // namespace

std::optional<uint64_t> ParseUtcTime(std::string_view text) {
  if (text.ends_with('Z')) text.remove_suffix(1);
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':') {
    return std::nullopt;
  }
  const auto year = Digits(text, 0, 4);
  const auto month = Digits(text, 5, 2);
  const auto day = Digits(text, 8, 2);
  const auto hour = Digits(text, 11, 2);
  const auto minute = Digits(text, 14, 2);
  const auto second = Digits(text, 17, 2);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (*year < 1601 || *month < 1 || *month > 12 || *day < 1 || *hour > 23 || *minute > 59 ||
      *second > 59) {
    return std::nullopt;
  }
  const int month_days = kMonthDays[*month - 1] + (*month == 2 && IsLeap(*year) ? 1 : 0);
  if (*day > month_days) return std::nullopt;
  constexpr int64_t kDaysFrom1601To1970 = 134774;
  const int64_t days =
      DaysFromCivil(*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day)) +
      kDaysFrom1601To1970;
  const int64_t seconds = days * 86400 + *hour * 3600 + *minute * 60 + *second;
  return static_cast<uint64_t>(seconds) * 10'000'000ULL;
}

}  // namespace tarvex::edbforge
