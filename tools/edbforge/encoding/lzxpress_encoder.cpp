#include "tools/edbforge/encoding/lzxpress_encoder.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace tarvex::edbforge {
namespace {

constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 32771;
constexpr std::size_t kMaxDistance = 8192;  // 13 bits of (distance - 1)
constexpr std::size_t kHashBits = 15;
constexpr std::size_t kMaxChainSteps = 256;
constexpr std::uint32_t kNoPosition = 0xFFFFFFFFu;

struct Match {
  std::size_t length = 0;
  std::size_t distance = 0;
};

// Positions by the hash of the three bytes starting there, newest first.
class HashChains {
 public:
  explicit HashChains(std::span<const std::uint8_t> data)
      : data_(data), heads_(std::size_t{1} << kHashBits, kNoPosition), previous_(data.size()) {}

  void Insert(std::size_t position) {
    if (data_.size() - position < kMinMatch) return;
    const std::size_t hash = Hash(position);
    previous_[position] = heads_[hash];
    heads_[hash] = static_cast<std::uint32_t>(position);
  }

  Match Longest(std::size_t position) const {
    Match best;
    if (data_.size() - position < kMinMatch) return best;
    const std::size_t limit = std::min(kMaxMatch, data_.size() - position);
    std::uint32_t candidate = heads_[Hash(position)];
    for (std::size_t steps = 0; candidate != kNoPosition && steps < kMaxChainSteps; ++steps) {
      const std::size_t distance = position - candidate;
      if (distance > kMaxDistance) break;
      std::size_t length = 0;
      while (length < limit && data_[candidate + length] == data_[position + length]) ++length;
      if (length > best.length) {
        best = {length, distance};
        if (length == limit) break;
      }
      candidate = previous_[candidate];
    }
    if (best.length < kMinMatch) return {};
    return best;
  }

 private:
  std::size_t Hash(std::size_t position) const {
    const std::uint32_t value = static_cast<std::uint32_t>(data_[position]) |
                                (static_cast<std::uint32_t>(data_[position + 1]) << 8) |
                                (static_cast<std::uint32_t>(data_[position + 2]) << 16);
    return (value * 2654435761u) >> (32 - kHashBits);
  }

  std::span<const std::uint8_t> data_;
  std::vector<std::uint32_t> heads_;
  std::vector<std::uint32_t> previous_;
};

class StreamWriter {
 public:
  StreamWriter() { ReserveFlags(); }

  void Literal(std::uint8_t byte) {
    output_.push_back(byte);
    AddFlag(0);
  }

  void Match(std::size_t length, std::size_t distance) {
    const std::size_t code = length - kMinMatch;
    PutWord(((distance - 1) << 3) | std::min<std::size_t>(code, 7));
    if (code >= 7) {
      const std::size_t nibble_code = code - 7;
      PutNibble(std::min<std::size_t>(nibble_code, 15));
      if (nibble_code >= 15) {
        const std::size_t byte_code = nibble_code - 15;
        if (byte_code < 255) {
          output_.push_back(static_cast<std::uint8_t>(byte_code));
        } else {
          output_.push_back(255);
          PutWord(code);
        }
      }
    }
    AddFlag(1);
  }

  // Unused flag bits are set: a reader stops at a set bit with no input left.
  std::vector<std::uint8_t> Finish() {
    const unsigned unused = 32 - flag_count_;
    const std::uint64_t padded =
        (static_cast<std::uint64_t>(flags_) << unused) | ((std::uint64_t{1} << unused) - 1);
    StoreFlags(static_cast<std::uint32_t>(padded));
    return std::move(output_);
  }

 private:
  void ReserveFlags() {
    flag_position_ = output_.size();
    output_.insert(output_.end(), 4, 0);
    flags_ = 0;
    flag_count_ = 0;
  }
  void StoreFlags(std::uint32_t flags) {
    for (int i = 0; i < 4; ++i) {
      output_[flag_position_ + i] = static_cast<std::uint8_t>(flags >> (8 * i));
    }
  }
  void AddFlag(unsigned bit) {
    flags_ = (flags_ << 1) | bit;
    if (++flag_count_ == 32) {
      StoreFlags(flags_);
      ReserveFlags();
    }
  }
  void PutWord(std::size_t word) {
    output_.push_back(static_cast<std::uint8_t>(word & 0xFF));
    output_.push_back(static_cast<std::uint8_t>((word >> 8) & 0xFF));
  }
  // Two long matches share one byte: the first its low nibble, the next its high nibble.
  void PutNibble(std::size_t nibble) {
    if (nibble_position_) {
      output_[*nibble_position_] |= static_cast<std::uint8_t>(nibble << 4);
      nibble_position_.reset();
    } else {
      nibble_position_ = output_.size();
      output_.push_back(static_cast<std::uint8_t>(nibble));
    }
  }

  std::vector<std::uint8_t> output_;
  std::size_t flag_position_ = 0;
  std::uint32_t flags_ = 0;
  unsigned flag_count_ = 0;
  std::optional<std::size_t> nibble_position_;
};

}  // namespace

std::vector<std::uint8_t> EncodePlainLz77(std::span<const std::uint8_t> data) {
  HashChains chains(data);
  StreamWriter writer;
  std::size_t position = 0;
  while (position < data.size()) {
    const Match match = chains.Longest(position);
    if (match.length == 0) {
      chains.Insert(position);
      writer.Literal(data[position++]);
      continue;
    }
    writer.Match(match.length, match.distance);
    for (const std::size_t end = position + match.length; position < end; ++position) {
      chains.Insert(position);
    }
  }
  return writer.Finish();
}

std::optional<std::vector<std::uint8_t>> EncodeLzxpress(std::span<const std::uint8_t> data) {
  if (data.size() > kLzxpressMaxInput) return std::nullopt;
  std::vector<std::uint8_t> value = {0x18, static_cast<std::uint8_t>(data.size() & 0xFF),
                                     static_cast<std::uint8_t>(data.size() >> 8)};
  const std::vector<std::uint8_t> stream = EncodePlainLz77(data);
  value.insert(value.end(), stream.begin(), stream.end());
  return value;
}

}  // namespace tarvex::edbforge
