#pragma once

// Writes a whole store described by a StoreDescription. Every value is checked before the first
// byte is written, and a store that fails leaves no file behind.

#include <filesystem>
#include <string>

#include "tools/edbforge/exchange/store_description.h"
#include "tools/edbforge/exchange/store_writer.h"

namespace tarvex::edbforge {

// Throws ScenarioError naming the place; `source` (e.g. the scenario file) starts each place.
// Returns where the rows went.
StorePages BuildStore(const StoreDescription& description, const std::filesystem::path& path,
                      const std::string& source = "");

}  // namespace tarvex::edbforge
