#include "ese/page_checksum.h"

#include <bit>

#include "ese/format.h"

#include "ese/byte_order.h"

namespace tarvex::ese {
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

bool PageChecksumMatches(const PageLayout& layout, std::uint32_t page_number,
                         std::span<const std::uint8_t> page) {
  if (page.size() != layout.page_size || page.size() < page_header::kExtendedSize) return false;
  const std::uint8_t* at = page.data();
  const std::uint32_t flags = LoadLe32(at + page_header::kFlags);
  if (layout.Large()) {
    const std::size_t block = page.size() / 4;
    for (std::size_t index = 1; index < 4; ++index) {
      const XorEccChecksum sum = EccChecksum(page.subspan(index * block, block), 0, page_number);
      const std::size_t field = page_header::kExtendedChecksums + 8 * (index - 1);
      if (sum.xor_value != LoadLe32(at + field) || sum.ecc_value != LoadLe32(at + field + 4)) {
        return false;
      }
    }
    const XorEccChecksum sum = EccChecksum(page.subspan(0, block), 8, page_number);
    return sum.xor_value == LoadLe32(at) && sum.ecc_value == LoadLe32(at + 4);
  }
  // Pages that an engine before Exchange 2003 SP1 wrote keep the plain XOR checksum.
  if ((flags & page_flag::kNewChecksumFormat) == 0) {
    return LoadLe32(at + page_header::kPageNumber) == page_number &&
           XorChecksum(page.subspan(4), file_header::kSignature) == LoadLe32(at);
  }
  const XorEccChecksum sum = EccChecksum(page, 8, page_number);
  return sum.xor_value == LoadLe32(at) && sum.ecc_value == LoadLe32(at + 4);
}

bool IsZeroPage(std::span<const std::uint8_t> page) {
  for (std::uint8_t byte : page) {
    if (byte != 0) return false;
  }
  return true;
}

}  // namespace tarvex::ese
