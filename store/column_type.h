#pragma once

#include <cstdint>

namespace tarvex {

// The engine's column types.
enum class ColumnType : std::uint32_t {
  kNil = 0,
  kBoolean = 1,
  kUnsigned8 = 2,
  kSigned16 = 3,
  kSigned32 = 4,
  kCurrency = 5,
  kFloat32 = 6,
  kFloat64 = 7,
  kDateTime = 8,
  kBinary = 9,
  kText = 10,
  kLongBinary = 11,
  kLongText = 12,
  kSuperLongValue = 13,
  kUnsigned32 = 14,
  kSigned64 = 15,
  kGuid = 16,
  kUnsigned16 = 17,
};

}  // namespace tarvex
