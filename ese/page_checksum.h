#pragma once

// Page checksums of the three ESE page formats:
// - before revision 11: one XOR word over the page from byte 4, seeded with 0x89abcdef;
// - from revision 11: an XOR word seeded with the page number plus an ECC word, over the page
//   from byte 8;
// - from revision 17 with 16/32 KiB pages: the page is cut into four blocks, each with its own
//   XOR/ECC pair (block 0 from byte 8, blocks 1-3 whole; their pairs live in the extended header,
//   which block 0 covers, so they are computed first).

#include <cstddef>
#include <cstdint>
#include <span>

#include "ese/page_layout.h"

namespace tarvex::ese {

struct XorEccChecksum {
  uint32_t xor_value = 0;
  uint32_t ecc_value = 0;
};

// XOR of the little-endian 32-bit words of `data` (whose size is a multiple of 4), seeded.
uint32_t XorChecksum(std::span<const uint8_t> data, uint32_t seed);

// XOR and ECC words over block[start, end); `start` is a multiple of 4 and the block size a
// multiple of 16.
XorEccChecksum EccChecksum(std::span<const uint8_t> block, size_t start, uint32_t seed);

// Whether a page's stored checksums agree with its bytes, in the format the page says it has.
bool PageChecksumMatches(const PageLayout& layout, uint32_t page_number,
                         std::span<const uint8_t> page);

// A page the engine never wrote.
bool IsZeroPage(std::span<const uint8_t> page);

}  // namespace tarvex::ese
