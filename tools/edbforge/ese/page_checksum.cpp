#include "tools/edbforge/ese/page_checksum.h"

#include <bit>

#include "tools/edbforge/ese/byte_order.h"

namespace tarvex::edbforge {
namespace {

bool OddParity(uint32_t value) {
  return (std::popcount(value) & 1) != 0;
}

}  // namespace

uint32_t XorChecksum(std::span<const uint8_t> data, uint32_t seed) {
  uint32_t result = seed;
  for (size_t i = 0; i + 4 <= data.size(); i += 4) result ^= LoadLe32(data.data() + i);
  return result;
}

XorEccChecksum EccChecksum(std::span<const uint8_t> block, size_t start, uint32_t seed) {
  // Each 16-byte row contributes its parity to one bit pattern; the four word columns give the
  // cross parities; the XOR of everything selects the low bits. Together they let the engine
  // locate a single flipped bit.
  uint32_t ecc = 0;
  uint32_t row = 0;
  uint32_t row_mask = 0xff800000U;
  uint32_t columns[4] = {0, 0, 0, 0};
  for (size_t i = start; i + 4 <= block.size(); i += 4) {
    const uint32_t word = LoadLe32(block.data() + i);
    const size_t column = (i % 16) / 4;
    columns[column] ^= word;
    row ^= word;
    if (column == 3) {
      if (OddParity(row)) ecc ^= row_mask;
      row_mask -= 0x007fff80U;
      row = 0;
    }
  }
  if (row != 0 && OddParity(row)) ecc ^= row_mask;
  if (OddParity(columns[0] ^ columns[1])) ecc ^= 0x00400000U;
  if (OddParity(columns[0] ^ columns[2])) ecc ^= 0x00200000U;
  if (OddParity(columns[1] ^ columns[3])) ecc ^= 0x00000020U;
  if (OddParity(columns[2] ^ columns[3])) ecc ^= 0x00000040U;

  const uint32_t total = columns[0] ^ columns[1] ^ columns[2] ^ columns[3];
  uint32_t low_bits = 0;
  uint32_t bit_mask = 0xffff0000U;
  for (int bit = 0; bit < 32; ++bit) {
    if ((total >> bit) & 1U) low_bits ^= bit_mask;
    bit_mask -= 0x0000ffffU;
  }
  if (block.size() < 8192) ecc &= ~static_cast<uint32_t>(block.size() << 19);
  ecc = (ecc & ~0x001f001fU) | (low_bits & 0x001f001fU);
  return {seed ^ total, ecc};
}

}  // namespace tarvex::edbforge
