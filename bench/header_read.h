#pragma once

// One read of a store's header tables with our own reader, the measure a search is held to:
// every record of each folder's content table and of "Msg" (older layout), or of every
// "MsgHeader-" table (2010 layout), with the transport headers of "Msg" read whole.

#include <cstdint>

#include "store/store_session.h"

namespace tarvex::bench {

struct HeaderReadTally {
  std::uint64_t tables = 0;
  std::uint64_t records = 0;
  std::uint64_t header_bytes = 0;  // the transport headers read
};

HeaderReadTally ReadHeaderTables(const StoreSession& session);

}  // namespace tarvex::bench
