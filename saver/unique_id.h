#pragma once

#include <string>

namespace tarvex {

// A random (version 4) UUID in its lower-case text form, for the UID of a saved entry.
std::string NewUuid();

}  // namespace tarvex
