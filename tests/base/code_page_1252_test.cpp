#include "base/code_page_1252.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

TEST(CodePage1252, EveryByteRoundTrips) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
  const std::u16string wide = Windows1252ToUtf16(all);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(wide[0x80], u'\u20AC');
  EXPECT_EQ(wide[0x8A], u'\u0160');
  EXPECT_EQ(wide[0x92], u'\u2019');
  EXPECT_EQ(wide[0x9F], u'\u0178');
  EXPECT_EQ(wide[0x81], u'\u0081');
  EXPECT_EQ(wide[0xE9], u'\u00E9');
  EXPECT_EQ(Utf16ToWindows1252(wide), all);
}

TEST(CodePage1252, UnmappableCharactersBecomeTheUnknownCharacter) {
  EXPECT_EQ(Utf16ToWindows1252(u"a\u0416\u20ACb"),
            "a?\x80"
            "b");
  // A surrogate pair is one character, so one question mark.
  EXPECT_EQ(Utf16ToWindows1252(u"\U0001F98A!"), "?!");
  EXPECT_EQ(Utf16ToWindows1252(u"\u4e2d", '#'), "#");
}

}  // namespace
}  // namespace tarvex
