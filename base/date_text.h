#pragma once

// The recovery program's date texts, always in UTC: "Jan,05 2010 09:03:07", or with the month
// as a number "1,05 2010 09:03:07" once month names have been replaced.

#include <optional>
#include <string_view>

namespace tarvex {

struct UtcDateTime {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Nullopt for anything else, including the "(0x... 0x...)" form of an unreadable time and
// dates that do not exist (Feb,30).
std::optional<UtcDateTime> ParseDateText(std::u16string_view text);

}  // namespace tarvex
