// Random and mutated values must decode or fail cleanly, never crash or read astray (this
// suite also runs under the address and undefined-behaviour sanitizers).

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "store/column_decompression.h"

namespace tarvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

class Mutator {
 public:
  explicit Mutator(std::uint32_t seed) : random_(seed) {}

  std::size_t Below(std::size_t bound) {
    return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_);
  }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Below(256)); }

  Bytes RandomValue(std::uint8_t lead) {
    Bytes value(1 + Below(200));
    for (auto& byte : value) byte = Byte();
    value[0] = lead;
    return value;
  }

  Bytes Mutate(Bytes value) {
    const std::size_t rounds = 1 + Below(4);
    for (std::size_t round = 0; round < rounds; ++round) {
      switch (Below(5)) {
        case 0:  // flip a bit
          if (!value.empty())
            value[Below(value.size())] ^= static_cast<std::uint8_t>(1u << Below(8));
          break;
        case 1:  // overwrite a byte, the declared size bytes included
          if (!value.empty()) value[Below(value.size())] = Byte();
          break;
        case 2:  // truncate
          value.resize(Below(value.size() + 1));
          break;
        case 3:  // append noise
          for (std::size_t n = Below(16); n > 0; --n) value.push_back(Byte());
          break;
        default:  // drop a byte from the middle
          if (value.size() > 1)
            value.erase(value.begin() + static_cast<std::ptrdiff_t>(Below(value.size())));
          break;
      }
    }
    return value;
  }

 private:
  std::mt19937 random_;
};

// What holds for every input, valid or not.
void CheckConsistent(const Bytes& value) {
  const std::optional<Bytes> output = Decompress(value);
  const std::optional<std::u16string> text = DecompressedText(value);
  EXPECT_EQ(output.has_value(), text.has_value());
  if (output) {
    EXPECT_EQ(DecompressedSize(value), output->size());
  }
}

// Valid values with literals, short and overlapping matches and every length extension.
std::vector<Bytes> LzxpressSeeds() {
  return {
      {0x18, 9, 0, 0xFF, 0xFF, 0xFF, 0x1F, 'a', 'b', 'c', 0x13, 0x00},
      {0x18, 0x89, 0x04, 0xFF, 0xFF, 0xFF, 0x7F, 'a',  0x07, 0x00, 0x5A, 0x07,
       0x00, 0x07, 0x00, 0xFF, 0x64, 0x07, 0x00, 0xFF, 0xE5, 0x03},
      {0x18, 10, 0, 0, 0, 0, 0, 'F', 0, 'o', 0, 'x', 0, 0x3E, 0xD8, 0x8A, 0xDD},
  };
}

std::vector<Bytes> SevenBitSeeds() {
  return {
      {0x10, 0xC8, 0x32, 0x9B, 0xFD, 0x06},
      {0x0B, 0xD4, 0xB4, 0x3B, 0x0F, 0x1A, 0x83, 0x82, 0xD3, 0x61, 0x32, 0x09},
      {0x08, 0x31, 0xD9, 0x8C, 0x56, 0xB3, 0xDD, 0x00},
  };
}

TEST(DecompressionFuzz, LzxpressSurvivesRandomAndMutatedInput) {
  Mutator mutator(20240601);
  for (const Bytes& seed : LzxpressSeeds()) ASSERT_TRUE(Decompress(seed));
  for (int i = 0; i < 1000; ++i) CheckConsistent(mutator.RandomValue(0x18));
  for (int i = 0; i < 3000; ++i) {
    const std::vector<Bytes> seeds = LzxpressSeeds();
    Bytes value = mutator.Mutate(seeds[mutator.Below(seeds.size())]);
    if (!value.empty() && mutator.Below(2) == 0) value[0] = 0x18;
    CheckConsistent(value);
  }
}

TEST(DecompressionFuzz, SevenBitSurvivesRandomAndMutatedInput) {
  Mutator mutator(7);
  for (const Bytes& seed : SevenBitSeeds()) ASSERT_TRUE(Decompress(seed));
  for (int i = 0; i < 1000; ++i) {
    std::uint8_t lead = mutator.Byte();
    if (lead == 0x18) lead = 0x10;
    CheckConsistent(mutator.RandomValue(lead));
  }
  for (int i = 0; i < 3000; ++i) {
    const std::vector<Bytes> seeds = SevenBitSeeds();
    Bytes value = mutator.Mutate(seeds[mutator.Below(seeds.size())]);
    if (!value.empty() && value[0] == 0x18) value[0] = 0x0B;
    CheckConsistent(value);
  }
}

}  // namespace
}  // namespace tarvex
