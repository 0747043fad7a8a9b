#pragma once

// The database file header, written twice (page -1 and its shadow copy).

#include <cstdint>
#include <vector>

#include "tools/edbforge/ese/page_format.h"

namespace tarvex::edbforge {

// A header page of `format.page_size` bytes for a cleanly shut down database.
std::vector<uint8_t> BuildFileHeader(const PageFormat& format, uint32_t last_object_id);

}  // namespace tarvex::edbforge
