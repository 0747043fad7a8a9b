// The builder's names for identifiers agree with what the program's readers make of them.

#include <gtest/gtest.h>

#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "store/folder_key.h"
#include "store/value_text.h"
#include "tools/edbforge/exchange/file_time.h"
#include "tools/edbforge/exchange/identifier.h"

namespace tarvex::edbforge {
namespace {

TEST(Identifier, ReplicaComesFirstLittleEndianThenTheCounterBigEndian) {
  const auto id = ParseIdentifier(u"1-4FD");
  ASSERT_TRUE(id);
  EXPECT_EQ(id->bytes, (std::array<uint8_t, 8>{0x01, 0, 0, 0, 0, 0, 0x04, 0xFD}));
  EXPECT_EQ(IdentifierHexText(*id), u"1000000000004fd");
  EXPECT_EQ(ContentTableName(*id), u"1-4FD");
  EXPECT_EQ(ParseIdentifier(u"0x1000000000004fd"), id);
  EXPECT_EQ(ParseIdentifier(u"102-1")->bytes[0], 0x02);
  EXPECT_EQ(ParseIdentifier(u"102-1")->bytes[1], 0x01);
  for (const char16_t* bad : {u"", u"4FD", u"1-", u"-4FD", u"1-4FG", u"12345-1", u"1-1234567890123",
                              u"0x", u"0x12345678901234567"}) {
    EXPECT_FALSE(ParseIdentifier(bad)) << Utf16ToUtf8(bad);
  }
  // Without a replica number the text is too short to name a content table.
  EXPECT_FALSE(ContentTableName(*ParseIdentifier(u"0x4fd")));
}

TEST(Identifier, NamesAgreeWithTheReadersForManyReplicasAndCounters) {
  for (uint32_t replica : {1u, 0x10u, 0x12u, 0xFFu, 0x100u, 0x102u, 0x1000u, 0xFFFFu}) {
    for (uint64_t counter : {0x1ULL, 0x4FDULL, 0x10000ULL, 0xFFFFFFFFFFFFULL}) {
      const Identifier id = MakeIdentifier(replica, counter);
      const std::span<const uint8_t, 8> bytes(id.bytes);
      EXPECT_EQ(IdentifierHexText(id), tarvex::IdentifierText(bytes, ByteOrder::kBigEndian));
      EXPECT_EQ(ReplicaCounterText(id),
                tarvex::AlternativeIdentifierText(bytes, ByteOrder::kBigEndian))
          << replica << " " << counter;
      // Replicas whose low byte is zero give texts too short to name a content table.
      const auto table = ContentTableName(id);
      EXPECT_EQ(table.has_value(), (replica & 0xFF) != 0) << replica;
      if (table) {
        EXPECT_EQ(FolderKeyFromTableName(*table), ToAsciiUpper(IdentifierHexText(id)))
            << replica << " " << counter;
      }
    }
  }
}

TEST(FileTime, UtcTimesBecomeTheTicksTheReadersShow) {
  EXPECT_EQ(DateText(*ParseUtcTime("2010-01-05T09:03:07Z")), u"Jan,05 2010 09:03:07");
  EXPECT_EQ(DateText(*ParseUtcTime("2000-02-29T23:59:59")), u"Feb,29 2000 23:59:59");
  EXPECT_EQ(ParseUtcTime("1601-01-01T00:00:00Z"), 0u);
  for (const char* bad : {"2010-02-29T00:00:00Z", "2010-13-01T00:00:00Z", "2010-01-05 09:03:07",
                          "1600-12-31T23:59:59Z", "2010-01-05T24:00:00Z", "yesterday"}) {
    EXPECT_FALSE(ParseUtcTime(bad)) << bad;
  }
}

}  // namespace
}  // namespace tarvex::edbforge
