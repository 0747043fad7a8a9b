#include "store/column_decompression.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "store/lzxpress_decoder.h"
#include "store/seven_bit_decoder.h"

namespace tarvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Packs 7-bit characters after `header`, lowest bits first.
Bytes PackSevenBit(std::uint8_t header, std::string_view characters) {
  Bytes packed{header};
  unsigned buffer = 0;
  unsigned bits = 0;
  for (const char c : characters) {
    buffer |= (static_cast<unsigned>(c) & 0x7Fu) << bits;
    bits += 7;
    while (bits >= 8) {
      packed.push_back(static_cast<std::uint8_t>(buffer & 0xFFu));
      buffer >>= 8;
      bits -= 8;
    }
  }
  if (bits > 0) packed.push_back(static_cast<std::uint8_t>(buffer));
  return packed;
}

// The engine's header for 7-bit text: its low bits count the bits used in the last byte.
std::uint8_t EngineHeader(std::uint8_t form, std::size_t characters) {
  const std::size_t last_bits = characters * 7 % 8 == 0 ? 8 : characters * 7 % 8;
  return static_cast<std::uint8_t>(form | (last_bits - 1));
}

Bytes Lzxpress(std::uint16_t size, const Bytes& stream) {
  Bytes value(kLzxpressHeaderSize + stream.size());
  value[0] = kLzxpressLeadByte;
  value[1] = static_cast<std::uint8_t>(size & 0xFF);
  value[2] = static_cast<std::uint8_t>(size >> 8);
  std::copy(stream.begin(), stream.end(), value.begin() + kLzxpressHeaderSize);
  return value;
}

// "abc" then a match 3 back of 6: flag bits 0001, the rest set as an encoder pads them.
const Bytes kAbcStream = {0xFF, 0xFF, 0xFF, 0x1F, 'a', 'b', 'c', 0x13, 0x00};

std::string AsString(const std::optional<Bytes>& bytes) {
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<failed>");
}

TEST(SevenBit, SizesFollowThePackedLength) {
  EXPECT_EQ(DecompressedSize(Bytes{0x10}), 0u);
  EXPECT_EQ(Decompress(Bytes{0x10}), Bytes{});
  // Header and seven packed bytes: eight characters.
  const Bytes eight = PackSevenBit(0x17, "ABCDEFGH");
  ASSERT_EQ(eight.size(), 8u);
  EXPECT_EQ(DecompressedSize(eight), 8u);
  EXPECT_EQ(AsString(Decompress(eight)), "ABCDEFGH");
  EXPECT_FALSE(DecompressedSize(Bytes{}));
  EXPECT_FALSE(Decompress(Bytes{}));
}

TEST(SevenBit, UnpacksHello) {
  const Bytes hello = {0x10, 0xC8, 0x32, 0x9B, 0xFD, 0x06};
  EXPECT_EQ(DecompressedSize(hello), 5u);
  EXPECT_EQ(AsString(Decompress(hello)), "Hello");
  EXPECT_EQ(DecompressedText(hello), u"Hello");
  EXPECT_EQ(PackSevenBit(0x10, "Hello"), hello);
}

// A long-value segment stands for a known size: 7-bit packed UTF-16 characters widen to it, and
// a segment that does not unpack to it is refused rather than handed on short.
TEST(SevenBit, SegmentsUnpackToTheSizeTheyStandFor) {
  const Bytes hello = {0x10, 0xC8, 0x32, 0x9B, 0xFD, 0x06};
  const Bytes wide = {'H', 0, 'e', 0, 'l', 0, 'l', 0, 'o', 0};
  EXPECT_EQ(DecompressSegment(hello, 10), wide);
  EXPECT_EQ(DecompressSegment(hello, 5), Bytes({'H', 'e', 'l', 'l', 'o'}));
  EXPECT_FALSE(DecompressSegment(hello, 12));
  Bytes ascii = hello;
  ascii[0] = 0x08;
  EXPECT_FALSE(DecompressSegment(ascii, 10)) << "8-bit characters are not widened";
}

TEST(SevenBit, LeadByteOtherThan0x18SelectsSevenBit) {
  const Bytes value = PackSevenBit(0x19, "xyz");
  EXPECT_EQ(AsString(Decompress(value)), "xyz");
}

TEST(SevenBit, OtherEngineFormsAreRefused) {
  // Scrubbed data, an Xpress9 and an Xpress10 header: no 7-bit packing behind them.
  for (const std::uint8_t lead : Bytes{0x20, 0x28, 0x30, 0x37}) {
    const Bytes value = PackSevenBit(lead, "abcdefgh");
    EXPECT_FALSE(DecompressedSize(value));
    EXPECT_FALSE(Decompress(value));
    EXPECT_FALSE(DecompressedText(value));
  }
  EXPECT_EQ(AsString(Decompress(PackSevenBit(0x38, "abcdefgh"))), "abcdefgh");
  EXPECT_EQ(AsString(Decompress(PackSevenBit(0x1F, "abcdefgh"))), "abcdefgh");
}

TEST(SevenBit, SetPaddingBitsFail) {
  Bytes value = PackSevenBit(0x10, "Hello");
  value.back() |= 0x80;
  EXPECT_FALSE(DecompressedSize(value));
  EXPECT_FALSE(Decompress(value));
  EXPECT_FALSE(DecompressedText(value));
}

// Texts of 7, 15, 23... characters leave 7 spare bits in the last byte, room for one more
// character; the engine's header says it is padding.
TEST(SevenBit, EngineHeaderDropsThePaddingCharacter) {
  for (const std::string text : {"1234567", "Tiny c ASCII", "abcdefghijklmno", "x"}) {
    SCOPED_TRACE(text);
    const Bytes ascii = PackSevenBit(EngineHeader(0x08, text.size()), text);
    EXPECT_EQ(DecompressedSize(ascii), text.size());
    EXPECT_EQ(AsString(Decompress(ascii)), text);
    const Bytes unicode = PackSevenBit(EngineHeader(0x10, text.size()), text);
    EXPECT_EQ(AsString(Decompress(unicode)), text);
  }
  // A character the header does not count but that is not zero is real data; a zero that
  // the header does count is real data too.
  EXPECT_EQ(AsString(Decompress(PackSevenBit(0x08, "1234567\x05"))), "1234567\x05");
  const std::string with_zero("1234567\0", 8);
  EXPECT_EQ(AsString(Decompress(PackSevenBit(0x0F, with_zero))), with_zero);
  // Outside the engine's header bytes every whole group counts.
  EXPECT_EQ(AsString(Decompress(PackSevenBit(0x19, "1234567"))), with_zero);
}

TEST(Lzxpress, HeaderOnlyAndShortValues) {
  EXPECT_EQ(DecompressedSize(Bytes{0x18, 0, 0}), 0u);
  EXPECT_EQ(Decompress(Bytes{0x18, 0, 0}), Bytes{});
  EXPECT_FALSE(DecompressedSize(Bytes{0x18, 0}));
  EXPECT_FALSE(Decompress(Bytes{0x18, 0}));
  EXPECT_FALSE(Decompress(Bytes{0x18}));
  EXPECT_EQ(DecompressedSize(Bytes{0x18, 0x34, 0x12}), 0x1234u);
}

TEST(Lzxpress, LiteralsAndOverlappingMatch) {
  EXPECT_EQ(AsString(Decompress(Lzxpress(9, kAbcStream))), "abcabcabc");
}

TEST(Lzxpress, LengthExtensions) {
  // 'a', a match of 20 (nibble 10 in the low half), a match of 15 (nibble 5 in the high half
  // of the same byte), then a match of 22 + 100 and one whose length is a 16-bit 997 (both
  // from one nibble byte again).
  const Bytes stream = {0xFF, 0xFF, 0xFF, 0x7F, 'a',  0x07, 0x00, 0x5A, 0x07, 0x00,
                        0x07, 0x00, 0xFF, 0x64, 0x07, 0x00, 0xFF, 0xE5, 0x03};
  const std::size_t size = 1 + 20 + 15 + 125 + 1000;
  const std::optional<Bytes> output = Decompress(Lzxpress(size, stream));
  ASSERT_TRUE(output);
  EXPECT_EQ(*output, Bytes(size, 'a'));
}

TEST(Lzxpress, MalformedStreamsFailCleanly) {
  // A distance reaching before the first byte.
  EXPECT_FALSE(Decompress(Lzxpress(3, {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0x08, 0x00})));
  EXPECT_FALSE(Decompress(Lzxpress(3, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00})));
  // A match word cut in half.
  EXPECT_FALSE(Decompress(Lzxpress(4, {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0x00})));
  // Missing nibble byte, length byte and 16-bit length.
  EXPECT_FALSE(Decompress(Lzxpress(20, {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0x07, 0x00})));
  EXPECT_FALSE(Decompress(Lzxpress(200, {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0x07, 0x00, 0x0F})));
  EXPECT_FALSE(
      Decompress(Lzxpress(2000, {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0x07, 0x00, 0x0F, 0xFF, 0xE5})));
  // A 16-bit length the short forms cover, and the zero that announces a 32-bit one.
  EXPECT_FALSE(
      Decompress(Lzxpress(14, {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0x07, 0x00, 0x0F, 0xFF, 10, 0})));
  EXPECT_FALSE(Decompress(
      Lzxpress(4, {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0x07, 0x00, 0x0F, 0xFF, 0, 0, 1, 0, 0, 0})));
  // A flag word cut short.
  EXPECT_FALSE(Decompress(Lzxpress(1, {0xFF, 0xFF})));
  // More output than declared, by a literal and by a match.
  EXPECT_FALSE(Decompress(Lzxpress(2, kAbcStream)));
  EXPECT_FALSE(Decompress(Lzxpress(8, kAbcStream)));
  // Less output than declared: the stream is truncated.
  EXPECT_FALSE(Decompress(Lzxpress(10, kAbcStream)));
  EXPECT_FALSE(Decompress(Lzxpress(0xFFFF, kAbcStream)));
  EXPECT_FALSE(Decompress(Lzxpress(0xFFFF, {})));
}

TEST(Lzxpress, MatchesBeyondTheLengthLimitFail) {
  // 'a' then one match of 32771 (16-bit 32768) and one of 32772.
  const auto value = [](std::uint16_t length) {
    return Lzxpress(
        static_cast<std::uint16_t>(1 + length + 3),
        {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0x07, 0x00, 0x0F, 0xFF,
         static_cast<std::uint8_t>(length & 0xFF), static_cast<std::uint8_t>(length >> 8)});
  };
  EXPECT_TRUE(Decompress(value(32768)));
  EXPECT_FALSE(Decompress(value(32769)));
}

TEST(PlainLz77, HugeDeclaredSizeOfAShortStreamIsRefused) {
  EXPECT_FALSE(DecodePlainLz77(kAbcStream, std::size_t{1} << 40));
  EXPECT_EQ(AsString(DecodePlainLz77(kAbcStream, 9)), "abcabcabc");
}

TEST(DecompressedText, Utf16WhereTheValueHoldsIt) {
  // LZXPRESS of even size: UTF-16LE, with or without a byte-order mark.
  const Bytes fox = {'F', 0, 'o', 0, 'x', 0, 0x3E, 0xD8, 0x8A, 0xDD};
  Bytes stream = {0, 0, 0, 0};
  stream.insert(stream.end(), fox.begin(), fox.end());
  EXPECT_EQ(DecompressedText(Lzxpress(10, stream)), u"Fox\U0001F98A");
  Bytes marked = {0, 0, 0, 0, 0xFF, 0xFE};
  marked.insert(marked.end(), fox.begin(), fox.end());
  EXPECT_EQ(DecompressedText(Lzxpress(12, marked)), u"Fox\U0001F98A");
  Bytes big_endian = {0, 0, 0, 0, 0xFE, 0xFF, 0, 'O', 0, 'k'};
  EXPECT_EQ(DecompressedText(Lzxpress(6, big_endian)), u"Ok");
  // 7-bit with bit 0x10 clear outside the engine's 8-bit forms: pairs of bytes are units.
  EXPECT_EQ(DecompressedText(PackSevenBit(0x00, std::string("O\0k\0", 4))), u"Ok");
}

TEST(DecompressedText, EightBitWhereTheValueHoldsIt) {
  // The engine's 7-bit text (lead byte 0x08-0x0F) is 8-bit characters even at an even size.
  const std::string text = "ASCII text";
  const Bytes engine = PackSevenBit(EngineHeader(0x08, text.size()), text);
  EXPECT_EQ(engine[0], 0x0D);
  EXPECT_EQ(DecompressedText(engine), u"ASCII text");
  EXPECT_EQ(DecompressedText(PackSevenBit(0x0B, "Tiny c ASCII")), u"Tiny c ASCII");
  // Odd sizes and bit 0x10 give 8-bit text.
  EXPECT_EQ(DecompressedText(Lzxpress(3, {0, 0, 0, 0, 'a', 'b', 'c'})), u"abc");
  EXPECT_EQ(DecompressedText(PackSevenBit(0x12, "abcd")), u"abcd");
  // UTF-8 where it is valid, the system code page where it is not.
  EXPECT_EQ(DecompressedText(Lzxpress(3, {0, 0, 0, 0, 0xC3, 0xA9, '!'})), u"\u00e9!");
  EXPECT_EQ(DecompressedText(Lzxpress(3, {0, 0, 0, 0, 0xE9, 0x80, '!'})), u"\u00e9\u20ac!");
  // Even LZXPRESS that is no valid UTF-16 (a lone surrogate) falls back to 8-bit text.
  EXPECT_EQ(DecompressedText(Lzxpress(2, {0, 0, 0, 0, 0x3E, 0xD8})), u">\u00d8");
}

TEST(DecompressedText, FailsWhereDecompressionFails) {
  EXPECT_FALSE(DecompressedText(Bytes{}));
  EXPECT_FALSE(DecompressedText(Bytes{0x18, 0}));
  EXPECT_FALSE(DecompressedText(Lzxpress(10, kAbcStream)));
}

}  // namespace
}  // namespace tarvex
