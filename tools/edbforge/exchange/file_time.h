#pragma once

// Dates of scenarios ("2010-01-05T09:03:07Z", always UTC) as FILETIME ticks.

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvex::edbforge {

// None for anything but YYYY-MM-DDTHH:MM:SS with an optional trailing "Z", years 1601-9999.
std::optional<uint64_t> ParseUtcTime(std::string_view text);

}  // namespace tarvex::edbforge
