#pragma once

// Reads a whole database back through our own reader (ese/) into the same plain data as
// esedb_read_back.h, so that the two readers can be compared value for value.

#include <filesystem>
#include <optional>
#include <string>

#include "esedb_read_back.h"

namespace tarvex::edbforge::testing {

std::optional<ReadDatabase> ReadBackWithOurReader(const std::filesystem::path& path,
                                                  std::string& error);

}  // namespace tarvex::edbforge::testing
