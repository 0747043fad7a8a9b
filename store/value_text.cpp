#include "store/value_text.h"

#include <array>
#include <charconv>
#include <cstdio>

#include "base/utf16_text.h"

namespace tarvex {
namespace {

bool IsPrintableByte(std::uint8_t byte) {
  switch (byte) {
    case '-':
    case ' ':
    case '/':
    case '#':
    case '&':
    case '\\':
    case '.':
      return true;
    default:
      return (byte >= 0x30 && byte <= 0x5A) || (byte >= 0x5F && byte <= 0x7A);
  }
}

// As "%llx" writes it; every message and folder id is made this way, so no printf.
std::u16string LowerHex(std::uint64_t value) {
  IdentifierDigits digits;
  return std::u16string(LowerHexInto(value, digits));
}

// Days since 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's civil_from_days).
struct CivilDate {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

CivilDate CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto day_of_era = static_cast<std::uint64_t>(days - era * 146097);
  const std::uint64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::uint64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::uint64_t month_index = (5 * day_of_year + 2) / 153;
  const auto day = static_cast<unsigned>(day_of_year - (153 * month_index + 2) / 5 + 1);
  const auto month = static_cast<unsigned>(month_index < 10 ? month_index + 3 : month_index - 9);
  const std::int64_t year = static_cast<std::int64_t>(year_of_era) + era * 400 + (month <= 2);
  return {year, month, day};
}

constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

std::u16string PrintableFilter(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  for (std::uint8_t byte : bytes) {
    if (IsPrintableByte(byte)) text.push_back(static_cast<char16_t>(byte));
  }
  return text;
}

std::u16string HexText(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::u16string text;
  text.reserve(bytes.size() * 2);
  for (std::uint8_t byte : bytes) {
    text.push_back(static_cast<char16_t>(kDigits[byte >> 4]));
    text.push_back(static_cast<char16_t>(kDigits[byte & 0x0F]));
  }
  return text;
}

std::u16string Utf16ZerosToBlanks(std::u16string_view units) {
  std::u16string text(units);
  for (char16_t& unit : text) {
    if (unit == 0) unit = u' ';
  }
  return text;
}

std::uint64_t ReadUint64(std::span<const std::uint8_t, 8> bytes, ByteOrder order) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    const std::size_t index = order == ByteOrder::kBigEndian ? i : 7 - i;
    value = (value << 8) | bytes[index];
  }
  return value;
}

std::u16string_view LowerHexInto(std::uint64_t value, IdentifierDigits& room) {
  std::size_t first = room.size();
  do {
    room[--first] = u"0123456789abcdef"[value & 0x0F];
    value >>= 4;
  } while (value != 0);
  return std::u16string_view(room.data() + first, room.size() - first);
}

std::u16string IdentifierText(std::span<const std::uint8_t, 8> bytes, ByteOrder order) {
  return LowerHex(ReadUint64(bytes, order));
}

std::u16string AlternativeIdentifierText(std::span<const std::uint8_t, 8> bytes, ByteOrder order) {
  std::array<std::uint8_t, 8> counter_part{};
  std::copy(bytes.begin(), bytes.end(), counter_part.begin());
  counter_part[0] = 0;
  counter_part[1] = 0;
  const std::u16string counter_text = ToAsciiUpper(LowerHex(ReadUint64(counter_part, order)));

  const std::array<std::uint8_t, 8> replica_part = {bytes[1], bytes[0], 0, 0, 0, 0, 0, 0};
  const std::u16string replica_text = LowerHex(ReadUint64(replica_part, order));
  // A character past the end counts as "not 0", as the terminator of a C string would.
  auto is_zero_at = [&replica_text](std::size_t index) {
    return index < replica_text.size() && replica_text[index] == u'0';
  };
  std::size_t keep = 2;
  if (!is_zero_at(3)) {
    keep = 4;
  } else if (!is_zero_at(2)) {
    keep = 3;
  } else if (is_zero_at(1)) {
    keep = 1;
  }
  return replica_text.substr(0, keep) + u"-" + counter_text;
}

namespace {

// The number in decimal, with zeros before it up to `width` digits.
void AppendPadded(std::u16string& text, std::uint64_t value, std::size_t width) {
  char digits[20];
  const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
  const auto count = static_cast<std::size_t>(end - digits);
  if (count < width) text.append(width - count, u'0');
  text.append(digits, end);
}

}  // namespace

std::u16string DateText(std::uint64_t filetime) {
  // Windows refuses FILETIMEs with the top bit set; so do we.
  if (filetime >= 0x8000000000000000ULL) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "(0x%08x 0x%08x)", static_cast<unsigned>(filetime >> 32),
                  static_cast<unsigned>(filetime & 0xFFFFFFFFU));
    return FromAscii(buffer).substr(0, 21);
  }
  constexpr std::uint64_t kTicksPerSecond = 10'000'000;
  constexpr std::int64_t kDaysFrom1601To1970 = 134774;
  const std::uint64_t total_seconds = filetime / kTicksPerSecond;
  const auto days = static_cast<std::int64_t>(total_seconds / 86400) - kDaysFrom1601To1970;
  const std::uint64_t second_of_day = total_seconds % 86400;
  const CivilDate date = CivilFromDays(days);
  // "%s,%02u %04lld %02u:%02u:%02u", written without printf: every item's date is made so. A
  // complete date is never cut, whatever its length.
  std::u16string text = FromAscii(kMonthNames[date.month - 1]);
  text.push_back(u',');
  AppendPadded(text, date.day, 2);
  text.push_back(u' ');
  AppendPadded(text, static_cast<std::uint64_t>(date.year), 4);
  text.push_back(u' ');
  AppendPadded(text, second_of_day / 3600, 2);
  text.push_back(u':');
  AppendPadded(text, second_of_day / 60 % 60, 2);
  text.push_back(u':');
  AppendPadded(text, second_of_day % 60, 2);
  return text;
}

}  // namespace tarvex
