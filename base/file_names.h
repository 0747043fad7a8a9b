#pragma once

// Turning texts from the database into file names and paths.

#include <filesystem>
#include <string>
#include <string_view>

namespace tarvex {

// Paths hold UTF-8 on this platform.
std::filesystem::path PathFromText(std::u16string_view text);
std::u16string TextFromPath(const std::filesystem::path& path);

// A name that stays inside the folder it is written to: path separators and drive colons
// become "_", control characters are dropped, "." and ".." and reserved device names are
// defused, and an over-long name is shortened keeping its extension. Everything else of the
// visible name is kept. An empty result becomes `fallback`.
std::u16string SafeFileName(std::u16string_view name, std::u16string_view fallback = u"attachment");

}  // namespace tarvex
