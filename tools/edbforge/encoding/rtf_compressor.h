#pragma once

// Writes RTF bodies the way Exchange stores them in the compressed RTF column (MS-OXRTFCP).

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tarvex::edbforge {

// The header's compression type fields: "LZFu" and "MELA" as little-endian values.
inline constexpr std::uint32_t kRtfCompressedType = 0x75465A4C;
inline constexpr std::uint32_t kRtfUncompressedType = 0x414C454D;

// A compressed stream: header (compressed size, raw size, "LZFu", CRC of the token data), then
// control bytes and tokens found by longest-match search of the 4096-byte dictionary, closed by
// the end-of-stream reference (a reference at the write position).
std::vector<std::uint8_t> CompressRtf(std::string_view rtf);

// The uncompressed form: header with "MELA" and CRC 0, then the RTF bytes as they are.
std::vector<std::uint8_t> WrapRtfUncompressed(std::string_view rtf);

// The CRC-32 that MS-OXRTFCP puts in the header: the usual reflected polynomial 0xEDB88320,
// but started from 0 and not inverted at the end.
std::uint32_t RtfCrc32(std::span<const std::uint8_t> bytes);

}  // namespace tarvex::edbforge
