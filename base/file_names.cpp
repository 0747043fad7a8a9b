#include "base/file_names.h"

#include <algorithm>
#include <array>

#include "base/utf16_text.h"
#include "base/utf_conversion.h"

namespace tarvex {
namespace {

// Most file systems here allow 255 bytes per name; UTF-8 needs up to 3 bytes per unit.
constexpr std::size_t kMaxNameUnits = 80;

bool IsReservedDeviceName(std::u16string_view name) {
  // Windows reserves these with any extension; a file copied there must not become a device.
  const std::u16string stem = ToAsciiUpper(name.substr(0, name.find(u'.')));
  static constexpr std::array<std::u16string_view, 4> kPlain = {u"CON", u"PRN", u"AUX", u"NUL"};
  for (std::u16string_view reserved : kPlain) {
    if (stem == reserved) return true;
  }
  return stem.size() == 4 && (stem.starts_with(u"COM") || stem.starts_with(u"LPT")) &&
         stem[3] >= u'1' && stem[3] <= u'9';
}

}  // namespace

std::filesystem::path PathFromText(std::u16string_view text) {
  return std::filesystem::path(Utf16ToUtf8(text));
}

std::u16string TextFromPath(const std::filesystem::path& path) {
  return Utf8ToUtf16(path.string());
}

std::u16string SafeFileName(std::u16string_view name, std::u16string_view fallback) {
  std::u16string safe;
  safe.reserve(name.size());
  for (char16_t unit : name) {
    if (unit < 0x20 || unit == 0x7F) continue;
    safe.push_back(unit == u'/' || unit == u'\\' || unit == u':' ? u'_' : unit);
  }
  safe = Trim(safe, u" .");
  if (safe.empty()) return std::u16string(fallback);
  if (IsReservedDeviceName(safe)) safe.insert(safe.begin(), u'_');
  if (safe.size() > kMaxNameUnits) {
    const std::size_t dot = safe.rfind(u'.');
    const std::size_t extension_length =
        (dot != std::u16string::npos && safe.size() - dot <= 16) ? safe.size() - dot : 0;
    std::size_t keep = kMaxNameUnits - extension_length;
    // Never cut a surrogate pair in half.
    if (keep > 0 && safe[keep - 1] >= 0xD800 && safe[keep - 1] <= 0xDBFF) --keep;
    safe = safe.substr(0, keep) + safe.substr(safe.size() - extension_length);
  }
  return safe;
}

UniqueFileNames::UniqueFileNames(std::span<const std::u16string_view> taken) {
  for (std::u16string_view name : taken) taken_.insert(ToAsciiUpper(name));
}

std::u16string UniqueFileNames::For(std::u16string_view name, std::u16string_view fallback) {
  if (const auto given = given_.find(name); given != given_.end()) return given->second;
  const std::u16string safe = SafeFileName(name, fallback);
  std::u16string unique = safe;
  const std::size_t dot = safe.rfind(u'.');
  const std::size_t stem_end = dot == std::u16string::npos || dot == 0 ? safe.size() : dot;
  const std::u16string extension = safe.substr(stem_end);
  for (int number = 2; !taken_.insert(ToAsciiUpper(unique)).second; ++number) {
    const std::u16string suffix = u" (" + FromAscii(std::to_string(number)) + u")";
    // Still within the length SafeFileName keeps, so that it leaves the name as it is.
    std::size_t keep = std::min(
        stem_end, kMaxNameUnits - std::min(kMaxNameUnits, suffix.size() + extension.size()));
    if (keep > 0 && safe[keep - 1] >= 0xD800 && safe[keep - 1] <= 0xDBFF) --keep;
    unique = safe.substr(0, keep) + suffix + extension;
  }
  given_.emplace(std::u16string(name), unique);
  return unique;
}

}  // namespace tarvex
