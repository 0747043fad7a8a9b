#pragma once

// How a command that read the store ends: what it could not read, as the `losses` object of
// the JSON output and as the last line on standard error, and the exit code that says whether
// the store was read whole (0) or with losses (7).

#include <nlohmann/json.hpp>

#include "ese/database.h"

namespace tarvex::cli {

// {"any": bool, "pages_unreadable", "pages_beyond_end_of_file", "checksum_mismatches",
//  "records_unreadable", "long_values_unreadable", "tables_damaged", "catalog_incomplete"}.
nlohmann::json LossesJson(const ese::Database& database);

// Prints "tarvex: completed with losses: ..." unless `quiet` when something could not be read;
// returns kExitCompletedWithLosses then, kExitOk otherwise.
int FinishRead(const ese::Database& database, bool quiet);

}  // namespace tarvex::cli
