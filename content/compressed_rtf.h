#pragma once

// Decoder of the compressed RTF stream Exchange keeps in the body column (MS-OXRTFCP).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarvex {

// The 207 bytes the decoder's dictionary starts with.
std::string_view CompressedRtfPrefix();

// Decodes a whole column value: the 16-byte header, then the tokens.
//
// The result holds the decoded bytes followed by "}}", which close the groups of a stream cut
// short; it holds no NUL of its own (c_str() supplies the terminator). Tokens are read up to
// the end the compressed-size field gives (`compressed size + 4`, or the end of the input when
// that is shorter) or to the end-of-stream reference, the one that points at the dictionary's
// write position. The type and CRC fields are not examined, so an uncompressed stream runs
// through the same decoder.
//
// At most `raw size + 97` decoded bytes are kept, so that decoded bytes, "}}" and a NUL never
// exceed `raw size + 100`. Decoding stops once a control group has carried the output past
// `raw size + 18`.
//
// Fails (nullopt) on input shorter than the header or a compressed-size field larger than the
// input.
std::optional<std::string> DecompressRtf(std::span<const std::uint8_t> stream);
std::optional<std::string> DecompressRtf(std::string_view stream);

}  // namespace tarvex
