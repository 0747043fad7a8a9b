#include "tools/edbforge/encoding/rtf_compressor.h"

#include <algorithm>
#include <array>
#include <memory>

#include "content/compressed_rtf.h"

namespace tarvex::edbforge {
namespace {

constexpr std::size_t kDictionarySize = 4096;
constexpr std::size_t kMask = kDictionarySize - 1;
constexpr std::size_t kLongestMatch = 17;
constexpr std::size_t kShortestMatch = 2;
constexpr std::size_t kHeaderSize = 16;
// The compressed-size field counts the header's last 12 bytes as well.
constexpr std::uint32_t kSizeFieldExtra = 12;
constexpr std::int16_t kNone = -1;

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    table[i] = value;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

// The ring dictionary of the encoder. Every written position sits in the list of its byte
// value, oldest first, so the longest-match search visits only positions whose first byte
// matches and prefers the oldest of equally long matches (as the format's own examples do).
class Dictionary {
 public:
  Dictionary() {
    head_.fill(kNone);
    tail_.fill(kNone);
    for (char c : CompressedRtfPrefix()) Write(static_cast<std::uint8_t>(c));
  }

  std::size_t write_position() const { return write_; }

  void Write(std::uint8_t byte) {
    const auto at = static_cast<std::int16_t>(write_);
    if (written_[write_]) Unlink(at);
    bytes_[write_] = byte;
    written_[write_] = true;
    Append(at);
    write_ = (write_ + 1) & kMask;
  }

  struct Match {
    std::size_t offset = 0;
    std::size_t length = 0;
  };

  // Longest match for the start of `input`. A reference may run over the write position: the
  // decoder then reads bytes it has just written, which are the input's own earlier bytes.
  Match Longest(std::string_view input) const {
    Match best;
    const std::size_t most = std::min(input.size(), kLongestMatch);
    if (most < kShortestMatch) return best;
    const auto first = static_cast<std::uint8_t>(input[0]);
    for (std::int16_t at = head_[first]; at != kNone; at = next_[at]) {
      const auto offset = static_cast<std::size_t>(at);
      // A reference at the write position is the end-of-stream marker.
      if (offset == write_) continue;
      std::size_t length = 1;
      while (length < most) {
        const std::size_t position = (offset + length) & kMask;
        const std::size_t ahead = (position - write_) & kMask;
        int byte = 0;
        if (ahead < length) {
          byte = static_cast<std::uint8_t>(input[ahead]);
        } else if (written_[position]) {
          byte = bytes_[position];
        } else {
          break;
        }
        if (byte != static_cast<std::uint8_t>(input[length])) break;
        ++length;
      }
      if (length > best.length) best = {offset, length};
      if (length == most) break;
    }
    return best;
  }

 private:
  void Append(std::int16_t at) {
    const std::uint8_t byte = bytes_[at];
    prev_[at] = tail_[byte];
    next_[at] = kNone;
    if (tail_[byte] == kNone) {
      head_[byte] = at;
    } else {
      next_[tail_[byte]] = at;
    }
    tail_[byte] = at;
  }

  void Unlink(std::int16_t at) {
    const std::uint8_t byte = bytes_[at];
    if (prev_[at] == kNone) {
      head_[byte] = next_[at];
    } else {
      next_[prev_[at]] = next_[at];
    }
    if (next_[at] == kNone) {
      tail_[byte] = prev_[at];
    } else {
      prev_[next_[at]] = prev_[at];
    }
  }

  std::array<std::uint8_t, kDictionarySize> bytes_{};
  std::array<bool, kDictionarySize> written_{};
  std::array<std::int16_t, kDictionarySize> prev_{};
  std::array<std::int16_t, kDictionarySize> next_{};
  std::array<std::int16_t, 256> head_{};
  std::array<std::int16_t, 256> tail_{};
  std::size_t write_ = 0;
};

// Token data: a control byte announces the next eight tokens, bit 0 first.
class TokenWriter {
 public:
  void Literal(std::uint8_t byte) {
    Slot(false);
    data_.push_back(byte);
  }

  void Reference(std::size_t offset, std::size_t length) {
    Slot(true);
    const auto value = static_cast<std::uint16_t>((offset << 4) | (length - kShortestMatch));
    data_.push_back(static_cast<std::uint8_t>(value >> 8));
    data_.push_back(static_cast<std::uint8_t>(value & 0xFF));
  }

  std::vector<std::uint8_t>& data() { return data_; }

 private:
  void Slot(bool reference) {
    if (slot_ == 8) {
      control_ = data_.size();
      data_.push_back(0);
      slot_ = 0;
    }
    if (reference) data_[control_] |= static_cast<std::uint8_t>(1u << slot_);
    ++slot_;
  }

  std::vector<std::uint8_t> data_;
  std::size_t control_ = 0;
  int slot_ = 8;
};

void PutLe32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::vector<std::uint8_t> WithHeader(std::span<const std::uint8_t> contents, std::size_t raw_size,
                                     std::uint32_t type, std::uint32_t crc) {
  std::vector<std::uint8_t> stream(kHeaderSize + contents.size());
  PutLe32(stream, 0, static_cast<std::uint32_t>(contents.size()) + kSizeFieldExtra);
  PutLe32(stream, 4, static_cast<std::uint32_t>(raw_size));
  PutLe32(stream, 8, type);
  PutLe32(stream, 12, crc);
  std::copy(contents.begin(), contents.end(), stream.begin() + kHeaderSize);
  return stream;
}

}  // namespace

std::uint32_t RtfCrc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0;
  for (std::uint8_t byte : bytes) crc = kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return crc;
}

std::vector<std::uint8_t> CompressRtf(std::string_view rtf) {
  // Allocated per call: the dictionary and its lists are some 30 KB.
  auto dictionary = std::make_unique<Dictionary>();
  TokenWriter tokens;
  std::size_t read = 0;
  while (read < rtf.size()) {
    const auto match = dictionary->Longest(rtf.substr(read));
    if (match.length >= kShortestMatch) {
      tokens.Reference(match.offset, match.length);
    } else {
      tokens.Literal(static_cast<std::uint8_t>(rtf[read]));
    }
    const std::size_t taken = std::max<std::size_t>(match.length, 1);
    for (std::size_t i = 0; i < taken; ++i) {
      dictionary->Write(static_cast<std::uint8_t>(rtf[read + i]));
    }
    read += taken;
  }
  tokens.Reference(dictionary->write_position(), kShortestMatch);
  return WithHeader(tokens.data(), rtf.size(), kRtfCompressedType, RtfCrc32(tokens.data()));
}

std::vector<std::uint8_t> WrapRtfUncompressed(std::string_view rtf) {
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(rtf.data()),
                                            rtf.size());
  return WithHeader(bytes, rtf.size(), kRtfUncompressedType, 0);
}

}  // namespace tarvex::edbforge
