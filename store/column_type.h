#pragma once

#include "ese/format.h"

namespace tarvex {

// The engine's column types, as the reader declares them.
using ColumnType = ese::ColumnType;

}  // namespace tarvex
