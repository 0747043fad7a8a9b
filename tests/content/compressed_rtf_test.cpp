#include "content/compressed_rtf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace tarvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPrefixSize = 207;

// The two worked streams of MS-OXRTFCP.
const Bytes kSimpleStream = {0x2d, 0x00, 0x00, 0x00, 0x2b, 0x00, 0x00, 0x00, 0x4c, 0x5a,
                             0x46, 0x75, 0xf1, 0xc5, 0xc7, 0xa7, 0x03, 0x00, 0x0a, 0x00,
                             0x72, 0x63, 0x70, 0x67, 0x31, 0x32, 0x35, 0x42, 0x32, 0x0a,
                             0xf3, 0x20, 0x68, 0x65, 0x6c, 0x09, 0x00, 0x20, 0x62, 0x77,
                             0x05, 0xb0, 0x6c, 0x64, 0x7d, 0x0a, 0x80, 0x0f, 0xa0};
const Bytes kRunStream = {0x1a, 0x00, 0x00, 0x00, 0x1c, 0x00, 0x00, 0x00, 0x4c, 0x5a,
                          0x46, 0x75, 0xe2, 0xd4, 0x4b, 0x51, 0x41, 0x00, 0x04, 0x20,
                          0x57, 0x58, 0x59, 0x5a, 0x0d, 0x6e, 0x7d, 0x01, 0x0e, 0xb0};

void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Writes token data the way a compressor lays it out and ends it with the end-of-stream
// reference; five filler bytes follow beyond the compressed size, which the decoder never reads.
class StreamBuilder {
 public:
  StreamBuilder& Literal(std::uint8_t byte) {
    NextSlot(false);
    tokens_.push_back(byte);
    ++written_;
    return *this;
  }
  StreamBuilder& Literals(std::string_view text) {
    for (char c : text) Literal(static_cast<std::uint8_t>(c));
    return *this;
  }
  StreamBuilder& Reference(unsigned offset, unsigned length) {
    NextSlot(true);
    const unsigned value = (offset << 4) | (length - 2);
    tokens_.push_back(static_cast<std::uint8_t>(value >> 8));
    tokens_.push_back(static_cast<std::uint8_t>(value));
    written_ += length;
    return *this;
  }
  Bytes Finish(std::uint32_t raw_size, std::uint8_t filler = 0xEE) const {
    StreamBuilder ended = *this;
    ended.Reference(static_cast<unsigned>((kPrefixSize + written_) % 4096), 2);
    const Bytes& tokens = ended.tokens_;
    Bytes stream(16 + tokens.size() + 5, filler);
    std::fill(stream.begin(), stream.begin() + 16, std::uint8_t{0});
    std::copy(tokens.begin(), tokens.end(), stream.begin() + 16);
    PutLe32(stream, 0, static_cast<std::uint32_t>(12 + tokens.size()));
    PutLe32(stream, 4, raw_size);
    PutLe32(stream, 8, 0x75465A4C);
    return stream;
  }

 private:
  void NextSlot(bool reference) {
    if (slot_ == 8) {
      control_at_ = tokens_.size();
      tokens_.push_back(0);
      slot_ = 0;
    }
    if (reference) tokens_[control_at_] |= static_cast<std::uint8_t>(1u << slot_);
    ++slot_;
  }

  Bytes tokens_;
  std::size_t control_at_ = 0;
  int slot_ = 8;
  std::size_t written_ = 0;
};

std::string Decoded(const Bytes& stream) {
  const auto result = DecompressRtf(stream);
  EXPECT_TRUE(result.has_value());
  return result.value_or("<failed>");
}

TEST(CompressedRtf, PrefixIsTheFixedDictionaryStart) {
  EXPECT_EQ(CompressedRtfPrefix().size(), kPrefixSize);
  EXPECT_EQ(CompressedRtfPrefix().substr(0, 6), "{\\rtf1");
  EXPECT_EQ(CompressedRtfPrefix().substr(168, 2), "\r\n");
  EXPECT_EQ(CompressedRtfPrefix().substr(200), "\\tab\\tx");
}

TEST(CompressedRtf, WorkedStreamsDecodeWhole) {
  // The closing brace and CR LF stand in the stream's last four bytes, before its end marker.
  EXPECT_EQ(Decoded(kSimpleStream), "{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n}}");
  // A reference reaching over the write position repeats "WXYZ".
  EXPECT_EQ(Decoded(kRunStream), "{\\rtf1 WXYZWXYZWXYZWXYZWXYZ}}}");
}

TEST(CompressedRtf, TypeAndCrcFieldsAreIgnored) {
  Bytes bad_crc = kSimpleStream;
  PutLe32(bad_crc, 12, 0x12345678);
  EXPECT_EQ(Decoded(bad_crc), Decoded(kSimpleStream));

  // An uncompressed-type stream still runs through the token decoder: the control byte 0x01
  // turns "\x00\x05" into a reference to the first seven prefix bytes.
  Bytes mela = {0, 0, 0, 0, 0, 0, 0, 0, 'M', 'E', 'L', 'A', 0, 0, 0, 0, 0x01, 0x00, 0x05, 'x'};
  PutLe32(mela, 0, static_cast<std::uint32_t>(mela.size() - 4));
  PutLe32(mela, 4, 8);
  EXPECT_EQ(Decoded(mela), "{\\rtf1\\x}}");
}

TEST(CompressedRtf, HeaderAndSizeRules) {
  EXPECT_FALSE(DecompressRtf(Bytes{}));
  EXPECT_FALSE(DecompressRtf(Bytes(15, 0)));

  // A compressed-size field one beyond the held bytes fails; equal to them is accepted.
  Bytes too_long = kSimpleStream;
  PutLe32(too_long, 0, static_cast<std::uint32_t>(too_long.size() + 1));
  EXPECT_FALSE(DecompressRtf(too_long));
  Bytes exact = kSimpleStream;
  PutLe32(exact, 0, static_cast<std::uint32_t>(exact.size()));
  EXPECT_TRUE(DecompressRtf(exact));

  // A stream cut short of its compressed size is refused rather than read past.
  const Bytes cut(kSimpleStream.begin(), kSimpleStream.begin() + 30);
  EXPECT_FALSE(DecompressRtf(cut));

  // Compressed size 12 or less reads no token at all.
  for (std::uint32_t size : {0u, 7u, 12u}) {
    Bytes stream = kSimpleStream;
    PutLe32(stream, 0, size);
    EXPECT_EQ(Decoded(stream), "}}") << size;
  }
  // With 13 only the control byte is read; with 14 the literal after it as well.
  Bytes one = StreamBuilder().Literal('q').Finish(1);
  PutLe32(one, 0, 13);
  EXPECT_EQ(Decoded(one), "}}");
  PutLe32(one, 0, 14);
  EXPECT_EQ(Decoded(one), "q}}");

  // The string_view form decodes the same bytes.
  const std::string as_text(kSimpleStream.begin(), kSimpleStream.end());
  EXPECT_EQ(DecompressRtf(std::string_view(as_text)), Decoded(kSimpleStream));
}

TEST(CompressedRtf, DecodingEndsAtTheEndMarkerOrTheCompressedSize) {
  // Nothing after the end marker is read, whatever the size field says.
  const Bytes a = StreamBuilder().Literals("{\\rtf1 body}").Finish(12, 0x00);
  Bytes b = StreamBuilder().Literals("{\\rtf1 body}").Finish(12, 0xFF);
  PutLe32(b, 0, static_cast<std::uint32_t>(b.size() - 4));
  EXPECT_EQ(Decoded(a), "{\\rtf1 body}}}");
  EXPECT_EQ(Decoded(b), Decoded(a));

  // Without a marker the last byte the size field covers is still read; a reference that
  // would need a byte beyond it is not.
  Bytes stream = StreamBuilder().Literals("abc").Finish(3);
  PutLe32(stream, 0, 12 + 1 + 3);  // control, 'a', 'b', 'c'
  EXPECT_EQ(Decoded(stream), "abc}}");
  PutLe32(stream, 0, 12 + 1 + 3 + 1);  // the first byte of the marker
  EXPECT_EQ(Decoded(stream), "abc}}");
}

TEST(CompressedRtf, References) {
  // Into the prefix, longest length, and runs from the bytes just written.
  EXPECT_EQ(Decoded(StreamBuilder().Reference(0, 6).Finish(6)), "{\\rtf1}}");
  EXPECT_EQ(Decoded(StreamBuilder().Reference(0, 17).Finish(17)), "{\\rtf1\\ansi\\mac\\d}}");
  EXPECT_EQ(Decoded(StreamBuilder().Literal('A').Reference(kPrefixSize, 9).Finish(10)),
            "AAAAAAAAAA}}");
  EXPECT_EQ(Decoded(StreamBuilder().Literals("xy").Reference(kPrefixSize, 5).Finish(7)),
            "xyxyxyx}}");
  // A reference at the write position itself ends the stream: what follows is not decoded.
  EXPECT_EQ(
      Decoded(StreamBuilder().Literal('z').Reference(kPrefixSize + 1, 2).Literal('!').Finish(4)),
      "z}}");
}

TEST(CompressedRtf, DictionaryWrapsAfter4096Bytes) {
  StreamBuilder builder;
  constexpr std::size_t kCount = 4200;
  std::string expected;
  for (std::size_t i = 0; i < kCount; ++i) {
    builder.Literal(static_cast<std::uint8_t>(i % 251));
    expected.push_back(static_cast<char>(i % 251));
  }
  // Ring offset 5 was last written by byte 3894 (207 + 3894 = 4096 + 5).
  builder.Reference(5, 3);
  for (std::size_t i = 3894; i < 3897; ++i) expected.push_back(static_cast<char>(i % 251));
  // A reference ending at 4095 continues at 0.
  builder.Reference(4094, 4);
  for (std::size_t i : {3887u, 3888u, 3889u, 3890u}) expected.push_back(static_cast<char>(i % 251));
  const std::string decoded = Decoded(builder.Finish(static_cast<std::uint32_t>(expected.size())));
  ASSERT_EQ(decoded.size(), expected.size() + 2);
  EXPECT_EQ(decoded.substr(kCount - 8), expected.substr(kCount - 8) + "}}");
  EXPECT_TRUE(decoded.starts_with(expected.substr(0, kCount)));
}

TEST(CompressedRtf, OutputStaysWithinRawSizePlusOneHundred) {
  StreamBuilder builder;
  for (int i = 0; i < 64; ++i) builder.Reference(0, 17);  // 8 groups of 136 bytes
  const std::string full = std::string(CompressedRtfPrefix().substr(0, 17));

  // Raw size 0: the first group is cut at 97 bytes so "}}" and the NUL fit in 100.
  const std::string zero = Decoded(builder.Finish(0));
  ASSERT_EQ(zero.size(), 99u);
  EXPECT_EQ(zero.substr(97), "}}");
  EXPECT_EQ(zero.substr(0, 17), full);

  // Raw size 40: the whole first group (136 <= 137) is kept, then the stop rule ends decoding.
  EXPECT_EQ(Decoded(builder.Finish(40)).size(), 136u + 2);
  // Raw size 118: 136 is not beyond 118 + 18, so a second group follows and is cut at 215.
  EXPECT_EQ(Decoded(builder.Finish(118)).size(), 215u + 2);
  // A raw size covering everything decodes all 64 references.
  EXPECT_EQ(Decoded(builder.Finish(2000)).size(), 64u * 17 + 2);
}

TEST(CompressedRtf, HugeRawSizeNeitherOverflowsNorDrivesAllocation) {
  Bytes stream = kSimpleStream;
  PutLe32(stream, 4, 0xFFFFFFFF);
  const auto result = DecompressRtf(stream);
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, Decoded(kSimpleStream));
  EXPECT_LT(result->capacity(), 4096u);

  for (std::uint32_t raw : {0xFFFFFF9Cu, 0xFFFFFFFDu}) {  // raw + 100 and raw + 3 wrap in 32 bits
    PutLe32(stream, 4, raw);
    EXPECT_EQ(Decoded(stream), Decoded(kSimpleStream)) << raw;
  }
}

// Random and mutated streams: never a crash or an out-of-bounds access (ASan runs this too),
// and every result keeps the size rules.
TEST(CompressedRtf, RandomAndMutatedStreamsStayInBounds) {
  std::mt19937 random(20261206);
  auto check = [](const Bytes& stream) {
    const auto result = DecompressRtf(stream);
    if (stream.size() < 16) {
      EXPECT_FALSE(result);
      return;
    }
    const std::uint64_t compressed =
        stream[0] | stream[1] << 8 | stream[2] << 16 | static_cast<std::uint64_t>(stream[3]) << 24;
    const std::uint64_t raw =
        stream[4] | stream[5] << 8 | stream[6] << 16 | static_cast<std::uint64_t>(stream[7]) << 24;
    ASSERT_EQ(result.has_value(), compressed <= stream.size());
    if (!result) return;
    ASSERT_GE(result->size(), 2u);
    EXPECT_EQ(result->substr(result->size() - 2), "}}");
    EXPECT_LE(result->size() - 2, raw + 97);
    const std::uint64_t read_end = std::min<std::uint64_t>(compressed + 4, stream.size());
    const std::uint64_t tokens = read_end > 16 ? read_end - 16 : 0;
    EXPECT_LE(result->size() - 2, tokens * 17 / 2 + 17);
  };

  for (int i = 0; i < 2000; ++i) {
    Bytes stream(random() % 300);
    for (auto& byte : stream) byte = static_cast<std::uint8_t>(random());
    if (stream.size() >= 16 && random() % 4 != 0) {
      PutLe32(stream, 0, static_cast<std::uint32_t>(random() % (stream.size() + 3)));
      PutLe32(stream, 4, static_cast<std::uint32_t>(random() % 600));
    }
    check(stream);
  }
  for (int i = 0; i < 2000; ++i) {
    Bytes stream = i % 2 ? kSimpleStream : kRunStream;
    const int flips = 1 + static_cast<int>(random() % 6);
    for (int f = 0; f < flips; ++f) {
      stream[random() % stream.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
    }
    if (random() % 3 == 0) stream.resize(random() % (stream.size() + 1));
    check(stream);
  }
}

}  // namespace
}  // namespace tarvex
