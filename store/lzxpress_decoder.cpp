#include "store/lzxpress_decoder.h"

namespace tarvex {
namespace {

// Longer matches are not written by the engine, whose chunks never exceed a page.
constexpr std::size_t kMaxMatchLength = 32771;

// The position of the byte whose high nibble the next long match uses, if any.
constexpr std::size_t kNoPendingNibble = static_cast<std::size_t>(-1);

class StreamReader {
 public:
  explicit StreamReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool AtEnd() const { return position_ == bytes_.size(); }
  std::size_t Position() const { return position_; }
  std::uint8_t ByteAt(std::size_t index) const { return bytes_[index]; }

  std::optional<std::uint8_t> Byte() {
    if (bytes_.size() - position_ < 1) return std::nullopt;
    return bytes_[position_++];
  }
  std::optional<std::uint16_t> Word() {
    if (bytes_.size() - position_ < 2) return std::nullopt;
    const auto value = static_cast<std::uint16_t>(bytes_[position_] | (bytes_[position_ + 1] << 8));
    position_ += 2;
    return value;
  }
  std::optional<std::uint32_t> DoubleWord() {
    if (bytes_.size() - position_ < 4) return std::nullopt;
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | bytes_[position_ + i];
    position_ += 4;
    return value;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

// Reads the length that follows a match word; nullopt when an extension byte is missing or
// the encoding is one no encoder writes.
std::optional<std::size_t> MatchLength(unsigned length_code, StreamReader& input,
                                       std::size_t& pending_nibble) {
  std::size_t length = length_code;
  if (length == 7) {
    unsigned nibble = 0;
    if (pending_nibble != kNoPendingNibble) {
      nibble = input.ByteAt(pending_nibble) >> 4;
      pending_nibble = kNoPendingNibble;
    } else {
      pending_nibble = input.Position();
      const std::optional<std::uint8_t> byte = input.Byte();
      if (!byte) return std::nullopt;
      nibble = *byte & 0x0Fu;
    }
    length += nibble;
    if (length == 22) {
      const std::optional<std::uint8_t> byte = input.Byte();
      if (!byte) return std::nullopt;
      length += *byte;
      if (length == 277) {
        const std::optional<std::uint16_t> word = input.Word();
        // A zero would announce a 32-bit length, far beyond any value here; anything below 22
        // fits the shorter forms and is malformed.
        if (!word || *word < 22) return std::nullopt;
        length = *word;
      }
    }
  }
  return length + 3;
}

}  // namespace

std::optional<std::size_t> LzxpressDecodedSize(std::span<const std::uint8_t> value) {
  if (value.size() < kLzxpressHeaderSize) return std::nullopt;
  return static_cast<std::size_t>(value[1] | (value[2] << 8));
}

std::optional<std::vector<std::uint8_t>> DecodeLzxpress(std::span<const std::uint8_t> value) {
  const std::optional<std::size_t> size = LzxpressDecodedSize(value);
  if (!size) return std::nullopt;
  return DecodePlainLz77(value.subspan(kLzxpressHeaderSize), *size);
}

std::optional<std::vector<std::uint8_t>> DecodePlainLz77(std::span<const std::uint8_t> stream,
                                                         std::size_t output_size) {
  // The output can never outgrow what the stream could describe, so a huge declared size in
  // a short stream is refused before anything is allocated.
  if (output_size / kMaxMatchLength > stream.size()) return std::nullopt;
  std::vector<std::uint8_t> output(output_size);
  std::size_t written = 0;
  StreamReader input(stream);
  std::size_t pending_nibble = kNoPendingNibble;
  std::uint32_t flags = 0;
  int flag_count = 0;
  while (true) {
    if (flag_count == 0) {
      if (input.AtEnd()) break;
      const std::optional<std::uint32_t> word = input.DoubleWord();
      if (!word) return std::nullopt;
      flags = *word;
      flag_count = 32;
    }
    --flag_count;
    if (input.AtEnd()) break;
    if (((flags >> flag_count) & 1u) == 0) {
      if (written == output_size) return std::nullopt;
      output[written++] = *input.Byte();
      continue;
    }
    const std::optional<std::uint16_t> match = input.Word();
    if (!match) return std::nullopt;
    const std::size_t distance = (*match >> 3) + 1u;
    const std::optional<std::size_t> length = MatchLength(*match & 7u, input, pending_nibble);
    if (!length || *length > kMaxMatchLength) return std::nullopt;
    if (distance > written || *length > output_size - written) return std::nullopt;
    // Byte by byte: an overlapping match repeats its pattern.
    for (std::size_t i = 0; i < *length; ++i, ++written)
      output[written] = output[written - distance];
  }
  // A stream that stops short of the declared size is truncated.
  if (written != output_size) return std::nullopt;
  return output;
}

}  // namespace tarvex
