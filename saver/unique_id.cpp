#include "saver/unique_id.h"

#include <cstdio>
#include <random>

namespace tarvex {

std::string NewUuid() {
  std::random_device random;
  char uuid[40];
  std::snprintf(uuid, sizeof uuid, "%08x-%04x-4%03x-%04x-%08x%04x", random(), random() & 0xFFFF,
                random() & 0xFFF, (random() & 0x3FFF) | 0x8000, random(), random() & 0xFFFF);
  return uuid;
}

}  // namespace tarvex
