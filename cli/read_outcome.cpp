#include "cli/read_outcome.h"

#include <cstdio>

#include "cli/database_run.h"
#include "ese/read_losses.h"

namespace tarvex::cli {

nlohmann::json LossesJson(const ese::Database& database) {
  const ese::ReadLosses losses = ese::LossesOf(database);
  return {{"any", losses.Any()},
          {"pages_unreadable", losses.unparsable_pages},
          {"pages_beyond_end_of_file", losses.missing_pages},
          {"checksum_mismatches", losses.checksum_mismatches},
          {"records_unreadable", losses.unreadable_records},
          {"long_values_unreadable", losses.unreadable_long_values},
          {"tables_damaged", losses.damaged_tables},
          {"catalog_incomplete", losses.catalog_incomplete}};
}

int FinishRead(const ese::Database& database, bool quiet) {
  const ese::ReadLosses losses = ese::LossesOf(database);
  if (!losses.Any()) return kExitOk;
  if (!quiet) PrintError("completed with losses: " + ese::DescribeLosses(losses));
  return kExitCompletedWithLosses;
}

}  // namespace tarvex::cli
