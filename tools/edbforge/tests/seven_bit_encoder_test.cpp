#include "tools/edbforge/encoding/seven_bit_encoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "store/column_decompression.h"

namespace tarvex::edbforge {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::u16string RandomAscii(std::size_t size, std::mt19937& random) {
  std::uniform_int_distribution<unsigned> pick(0, 127);
  std::u16string text(size, u'\0');
  for (auto& unit : text) unit = static_cast<char16_t>(pick(random));
  return text;
}

Bytes Utf16Le(std::u16string_view text) {
  Bytes bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

Bytes Narrow(std::u16string_view text) {
  return Bytes(text.begin(), text.end());
}

// What the program's decoder makes of `text` in each form: the bytes and the text.
void ExpectRoundTrip(std::u16string_view text) {
  SCOPED_TRACE(text.size());
  const std::optional<Bytes> eight = EncodeSevenBit(Narrow(text));
  const std::optional<Bytes> eight_text = EncodeSevenBitText(text, SevenBitForm::kEightBit);
  const std::optional<Bytes> unicode = EncodeSevenBitText(text, SevenBitForm::kUnicode);
  const std::optional<Bytes> utf16 = EncodeSevenBitText(text, SevenBitForm::kUtf16Bytes);
  ASSERT_TRUE(eight && eight_text && unicode && utf16);
  EXPECT_EQ(*eight, *eight_text);
  EXPECT_EQ((*eight)[0] & 0xF8, 0x08);
  EXPECT_EQ((*unicode)[0] & 0xF8, 0x10);
  EXPECT_EQ((*utf16)[0] & 0xF8, 0x00);
  EXPECT_EQ(Decompress(*eight), Narrow(text));
  EXPECT_EQ(Decompress(*unicode), Narrow(text));
  EXPECT_EQ(Decompress(*utf16), Utf16Le(text));
  EXPECT_EQ(DecompressedSize(*eight), text.size());
  // Text without NUL characters reads back as the same text in every form.
  if (text.find(u'\0') == std::u16string_view::npos) {
    EXPECT_EQ(DecompressedText(*eight), text);
    EXPECT_EQ(DecompressedText(*unicode), text);
    EXPECT_EQ(DecompressedText(*utf16), text);
  }
}

TEST(SevenBitEncoder, WritesTheEngineHeader) {
  // As the engine wrote them in the samples: 12 characters end with 4 bits (0x0B), 41 with 7
  // (0x0E), 956 with 4 again.
  EXPECT_EQ((*EncodeSevenBitText(u"Tiny c ASCII", SevenBitForm::kEightBit))[0], 0x0B);
  EXPECT_EQ((*EncodeSevenBitText(std::u16string(41, u'a'), SevenBitForm::kEightBit))[0], 0x0E);
  EXPECT_EQ((*EncodeSevenBitText(u"Hello", SevenBitForm::kUnicode))[0], 0x12);
  EXPECT_EQ(*EncodeSevenBitText(u"Hello", SevenBitForm::kUnicode),
            (Bytes{0x12, 0xC8, 0x32, 0x9B, 0xFD, 0x06}));
  EXPECT_EQ(*EncodeSevenBit({}), Bytes{0x0F});
}

TEST(SevenBitEncoder, RoundTripsEveryLength) {
  // Every remainder of the length by 8, 7 (a whole spare group in the last byte) included.
  for (std::size_t size = 0; size <= 40; ++size) {
    std::u16string text;
    for (std::size_t i = 0; i < size; ++i) text += static_cast<char16_t>(u'A' + i % 26);
    ExpectRoundTrip(text);
  }
  ExpectRoundTrip(std::u16string(u"ends in NUL\0", 12));
  ExpectRoundTrip(std::u16string(7, u'\0'));
}

TEST(SevenBitEncoder, RoundTripsRandomText) {
  std::mt19937 random(2024);
  for (int i = 0; i < 300; ++i) {
    ExpectRoundTrip(
        RandomAscii(std::uniform_int_distribution<std::size_t>(0, 1100)(random), random));
  }
}

TEST(SevenBitEncoder, RefusesEightBitCharacters) {
  EXPECT_FALSE(EncodeSevenBit(Bytes{'a', 0x80}));
  EXPECT_FALSE(EncodeSevenBitText(u"caf\u00e9", SevenBitForm::kEightBit));
  EXPECT_FALSE(EncodeSevenBitText(u"caf\u00e9", SevenBitForm::kUnicode));
  EXPECT_FALSE(EncodeSevenBitText(u"caf\u00e9", SevenBitForm::kUtf16Bytes));
  // The UTF-16 form packs bytes, so units whose two bytes are both below 0x80 fit.
  const std::optional<Bytes> wide = EncodeSevenBitText(u"\u4e2d\u5b57", SevenBitForm::kUtf16Bytes);
  ASSERT_TRUE(wide);
  EXPECT_EQ(DecompressedText(*wide), u"\u4e2d\u5b57");
}

}  // namespace
}  // namespace tarvex::edbforge
