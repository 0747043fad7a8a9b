// One compressed RTF stream, with the limits the decoder promises on what it returns.

#include <optional>
#include <string>

#include "content/compressed_rtf.h"
#include "fuzz/checks.h"
#include "fuzz/targets.h"

namespace tarvex::fuzz {
namespace {

std::uint64_t HeaderWord(const std::uint8_t* at) {
  return static_cast<std::uint64_t>(at[0]) | static_cast<std::uint64_t>(at[1]) << 8 |
         static_cast<std::uint64_t>(at[2]) << 16 | static_cast<std::uint64_t>(at[3]) << 24;
}

}  // namespace

int FuzzCompressedRtf(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kHeaderSize = 16;
  constexpr std::uint64_t kMostBeyondRawSize = 99;  // decoded bytes and "}}", without the NUL
  const std::optional<std::string> rtf = DecompressRtf(std::span(data, size));
  const bool readable = size >= kHeaderSize && HeaderWord(data) <= size;
  Require(rtf.has_value() == readable, "only a short input or a long size field fails");
  if (!rtf) return 0;
  Require(rtf->ends_with("}}"), "the text ends with the closing braces");
  Require(rtf->size() <= HeaderWord(data + 4) + kMostBeyondRawSize,
          "the text stays within the raw size and its margin");
  return 0;
}

}  // namespace tarvex::fuzz
