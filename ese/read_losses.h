#pragma once

// What a run could not read, summed up for the user: the counts of the reader's report that
// mean lost or doubtful data, the tables whose trees were damaged and the catalogue's state.
// A run that meets none of these read the whole store.

#include <cstdint>
#include <string>

namespace tarvex::ese {

class Database;

struct ReadLosses {
  std::uint64_t unparsable_pages = 0;
  std::uint64_t missing_pages = 0;  // beyond the end of the file
  std::uint64_t checksum_mismatches = 0;
  std::uint64_t unreadable_records = 0;
  std::uint64_t unreadable_long_values = 0;
  std::uint64_t damaged_tables = 0;  // tables read so far whose tree walk met damage
  bool catalog_incomplete = false;

  bool Any() const;
};

// The losses met so far: tables not yet read count only once they are.
ReadLosses LossesOf(const Database& database);

// "3 pages unreadable, 1 page beyond the end of the file, catalogue incomplete": every loss
// there is, in plain English; empty when there is none.
std::string DescribeLosses(const ReadLosses& losses);

}  // namespace tarvex::ese
