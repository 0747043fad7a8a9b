#include "store/value_text.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "store/stored_value.h"

namespace tarvex {
namespace {

using Bytes8 = std::array<std::uint8_t, 8>;

TEST(ValueText, PrintableFilterKeepsOnlyTheReadableBytes) {
  const std::uint8_t bytes[] = {0x41, 0x62, 0x2D, 0x31, 0x00, 0x01, 0x5A};
  EXPECT_EQ(PrintableFilter(bytes), u"Ab-1Z");
  const std::uint8_t edges[] = {' ',  '/',  '#',  '&',  '\\', '.', 0x2F, 0x5B, 0x5E,
                                0x5F, 0x7A, 0x7B, 0x80, 0xE9, '!', '@',  '_'};
  EXPECT_EQ(PrintableFilter(edges), u" /#&\\./_z@_");
  EXPECT_EQ(HexText(bytes), u"41622d3100015a");
  EXPECT_EQ(HexText({}), u"");
}

TEST(ValueText, ZeroUnitsAreBlanked) {
  const std::u16string units(u"a\0b\0", 4);
  EXPECT_EQ(Utf16ZerosToBlanks(units), u"a b ");
}

TEST(ValueText, IdentifiersInBothByteOrders) {
  // Replica 1 (little-endian) and counter 0x4FD (big-endian), as Exchange stores folder ids.
  const Bytes8 folder = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0xFD};
  EXPECT_EQ(IdentifierText(folder, ByteOrder::kBigEndian), u"1000000000004fd");
  EXPECT_EQ(IdentifierText(folder, ByteOrder::kLittleEndian), u"fd04000000000001");
  const Bytes8 small = {0, 0, 0, 0, 0, 0, 0x04, 0xFD};
  EXPECT_EQ(IdentifierText(small, ByteOrder::kBigEndian), u"4fd");
  EXPECT_EQ(IdentifierText(Bytes8{}, ByteOrder::kBigEndian), u"0");
  const Bytes8 nine = {0, 0, 0, 0, 0, 0, 0, 0x09};
  EXPECT_EQ(IdentifierText(nine, ByteOrder::kBigEndian), u"9");
  const Bytes8 sixteen = {0, 0, 0, 0, 0, 0, 0, 0x10};
  EXPECT_EQ(IdentifierText(sixteen, ByteOrder::kBigEndian), u"10");
}

TEST(ValueText, AlternativeIdentifierOfThe2010PublicStore) {
  const Bytes8 replica_one = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0xFD};
  EXPECT_EQ(AlternativeIdentifierText(replica_one, ByteOrder::kBigEndian), u"1-4FD");
  const Bytes8 replica_12 = {0x00, 0x12, 0x00, 0x00, 0x00, 0x00, 0xAB, 0xCD};
  EXPECT_EQ(AlternativeIdentifierText(replica_12, ByteOrder::kBigEndian), u"12-ABCD");
  const Bytes8 replica_2301 = {0x01, 0x23, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00};
  EXPECT_EQ(AlternativeIdentifierText(replica_2301, ByteOrder::kBigEndian), u"2301-10000");
  // Only the leading digits before the zeros of the replica text are kept.
  const Bytes8 replica_120 = {0x20, 0x01, 0, 0, 0, 0, 0, 0x05};
  EXPECT_EQ(AlternativeIdentifierText(replica_120, ByteOrder::kBigEndian), u"12-5");
  // Little-endian puts the replica bytes at the low end: a text of fewer than 4 digits is whole.
  EXPECT_EQ(AlternativeIdentifierText(replica_one, ByteOrder::kLittleEndian),
            u"100-FD04000000000000");
  EXPECT_EQ(AlternativeIdentifierText(Bytes8{}, ByteOrder::kBigEndian), u"0-0");
}

TEST(ValueText, DatesAreUtcWithEnglishMonthNames) {
  // 2010-01-05 09:03:07 UTC.
  EXPECT_EQ(DateText(129071557870000000ULL), u"Jan,05 2010 09:03:07");
  EXPECT_EQ(DateText(0), u"Jan,01 1601 00:00:00");
  // 2000-02-29 23:59:59 (leap day) and 2024-12-31 12:00:00.
  EXPECT_EQ(DateText(125963423990000000ULL), u"Feb,29 2000 23:59:59");
  EXPECT_EQ(DateText(133801200000000000ULL), u"Dec,31 2024 12:00:00");
  // The largest FILETIME Windows converts lies in the year 30828.
  EXPECT_EQ(DateText(0x7FFFFFFFFFFFFFFFULL), u"Sep,14 30828 02:48:05");
  EXPECT_EQ(DateText(0x8000000000000001ULL), u"(0x80000000 0x0000000");
}

TEST(StoredValue, TextIsDecodedInItsColumnsCodePage) {
  using Bytes = std::vector<std::uint8_t>;
  struct Case {
    Bytes stored;
    std::uint32_t code_page;
    std::u16string text;
  };
  const std::vector<Case> cases = {
      // A surrogate pair comes out whole (U+1F98A).
      {{'a', 0, 0x3E, 0xD8, 0x8A, 0xDD}, 1200, u"a\U0001F98A"},
      // A fixed column padded bytewise: the odd byte is the low half of one more unit.
      {{'a', 0, 'b'}, 1200, u"ab"},
      {{'a', 0, 0, 0, 'b', 0}, 1200, u"a"},
      {{'G', 'r', 0xFC, 0x80}, 1252, u"Gr\u00fc\u20ac"},
      {{'G', 'r', 0xFC, 0x80}, 0, u"Gr\u00fc\u20ac"},
      {{0xCF, 0xF0, 0, 'x'}, 1251, u"\u041f\u0440"},
      {{}, 1200, u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StoredText(c.stored, c.code_page), c.text) << c.code_page;
  }
}

TEST(StoredValue, NumbersNeedTheirExactSize) {
  const std::vector<std::uint8_t> bytes = {0xFF, 0xFF, 0x01};
  EXPECT_EQ(FixedSizeNumber(std::span(bytes).first(2), 2), 0xFFFFu);
  EXPECT_EQ(FixedSizeNumber(bytes, 3), 0x01FFFFu);
  EXPECT_EQ(FixedSizeNumber(bytes, 2), std::nullopt);
  EXPECT_EQ(FixedSizeNumber(std::span(bytes).first(1), 2), std::nullopt);
}

}  // namespace
}  // namespace tarvex
