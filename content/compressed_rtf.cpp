#include "content/compressed_rtf.h"

#include <algorithm>
#include <array>

namespace tarvex {
namespace {

constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kDictionarySize = 4096;
constexpr std::size_t kDictionaryMask = kDictionarySize - 1;

// Room the output buffer keeps beyond the raw size, of which "}}" and the NUL take three.
constexpr std::uint64_t kOutputSlack = 100;
constexpr std::uint64_t kClosingBytes = 3;
// The compressed-size field counts the stream from the end of its own four bytes.
constexpr std::uint64_t kSizeFieldBytes = 4;
// Decoding stops once a whole control group has gone this far past the raw size.
constexpr std::uint64_t kStopMargin = 18;
// Most bytes one 2-byte reference can produce.
constexpr std::uint64_t kLongestReference = 17;

constexpr std::string_view kPrefix =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern "
    "\\fscript \\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0"
    "\\blue0\r\n\\par \\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
static_assert(kPrefix.size() == 207);

std::uint32_t ReadLe32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// Ring dictionary plus the output it feeds; every decoded byte passes through here.
class Decoder {
 public:
  Decoder(std::string& output, std::uint64_t limit) : output_(output), limit_(limit) {
    std::copy(kPrefix.begin(), kPrefix.end(), dictionary_.begin());
  }

  // False once the output limit is reached; the byte is then dropped.
  bool Put(std::uint8_t byte) {
    if (output_.size() >= limit_) return false;
    dictionary_[write_] = byte;
    write_ = (write_ + 1) & kDictionaryMask;
    output_.push_back(static_cast<char>(byte));
    return true;
  }

  // Each byte is stored before the next one is read, so a reference that overlaps the write
  // position repeats what it has just written.
  bool Copy(std::size_t offset, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      if (!Put(dictionary_[(offset + i) & kDictionaryMask])) return false;
    }
    return true;
  }

  std::size_t write_position() const { return write_; }

 private:
  std::array<std::uint8_t, kDictionarySize> dictionary_{};
  std::size_t write_ = kPrefix.size();
  std::string& output_;
  std::uint64_t limit_;
};

}  // namespace

std::string_view CompressedRtfPrefix() {
  return kPrefix;
}

std::optional<std::string> DecompressRtf(std::span<const std::uint8_t> stream) {
  if (stream.size() < kHeaderSize) return std::nullopt;
  const std::uint64_t compressed_size = ReadLe32(stream, 0);
  const std::uint64_t raw_size = ReadLe32(stream, 4);
  if (compressed_size > stream.size()) return std::nullopt;

  // The size field counts the bytes after itself. A stream a few bytes short of that is read
  // as far as it goes; tokens never reach past the held bytes.
  const std::size_t end = static_cast<std::size_t>(
      std::min<std::uint64_t>(compressed_size + kSizeFieldBytes, stream.size()));
  const std::uint64_t limit = raw_size + kOutputSlack - kClosingBytes;
  const std::uint64_t stop_after = raw_size + kStopMargin;

  // A hostile raw size must not drive the allocation: the token bytes bound what can come out.
  const std::uint64_t token_bytes = end > kHeaderSize ? end - kHeaderSize : 0;
  const std::uint64_t reachable = (token_bytes / 2 + 1) * kLongestReference;
  std::string output;
  output.reserve(static_cast<std::size_t>(std::min(limit, reachable) + 2));

  Decoder decoder(output, limit);
  std::size_t pos = kHeaderSize;
  bool more = true;
  while (more && pos < end) {
    const std::uint8_t control = stream[pos++];
    for (int bit = 0; bit < 8 && more && pos < end; ++bit) {
      if ((control & (1u << bit)) == 0) {
        more = decoder.Put(stream[pos++]);
        continue;
      }
      if (pos + 1 >= end) {
        more = false;
        break;
      }
      const unsigned value = static_cast<unsigned>(stream[pos]) << 8 | stream[pos + 1];
      pos += 2;
      // A reference to the write position itself marks the end of the stream.
      if ((value >> 4) == decoder.write_position()) {
        more = false;
        break;
      }
      more = decoder.Copy(value >> 4, (value & 0xF) + 2);
    }
    if (output.size() > stop_after) break;
  }
  // Closes the groups of a stream cut short; after a whole document a reader ignores them.
  output += "}}";
  return output;
}

std::optional<std::string> DecompressRtf(std::string_view stream) {
  return DecompressRtf(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size()));
}

}  // namespace tarvex
