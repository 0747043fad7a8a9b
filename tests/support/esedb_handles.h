#pragma once

// What tests need on top of the program's own libesedb handles: opening a database by path
// and finding a table by name.

#include <filesystem>
#include <string_view>

#include "store/esedb_handles.h"

namespace tarvex::testing {

// The database opened read-only; empty when libesedb cannot open it.
EsedbFile OpenEsedbFile(const std::filesystem::path& database);

// The table named `name` (UTF-8); empty when there is none.
EsedbTable GetTableByName(libesedb_file_t* file, std::string_view name);

}  // namespace tarvex::testing
