#include "base/utf16_text.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

TEST(Utf16Text, ReplaceAllScansLeftToRightWithoutOverlap) {
  EXPECT_EQ(ReplacedAll(u"aaaa", u"aa", u"b"), u"bb");
  EXPECT_EQ(ReplacedAll(u"aaa", u"aa", u"b"), u"ba");
  EXPECT_EQ(ReplacedAll(u"x SMTP y SMTP ", u" SMTP ", u"<"), u"x<y<");
  EXPECT_EQ(ReplacedAll(u"abc", u"", u"z"), u"abc");
  EXPECT_EQ(ReplacedAll(u"abc", u"b", u""), u"ac");
  // The replacement may contain the searched text without looping.
  EXPECT_EQ(ReplacedAll(u"a-b", u"-", u"--"), u"a--b");
}

TEST(Utf16Text, TrimCaseAndSplit) {
  EXPECT_EQ(Trim(u"  \tab c\r\n"), u"ab c");
  EXPECT_EQ(Trim(u"   "), u"");
  EXPECT_EQ(Trim(u"\tx\t", u" "), u"\tx\t");
  // In place, the same.
  for (std::u16string_view text : {u"  \tab c\r\n", u"   ", u"", u"x", u" x", u"x "}) {
    std::u16string trimmed(text);
    TrimInPlace(trimmed);
    EXPECT_EQ(trimmed, Trim(text));
  }
  EXPECT_EQ(ToAsciiUpper(u"Inbox \u00e9\u0431z"), u"INBOX \u00e9\u0431Z");
  EXPECT_TRUE(StartsWithIgnoringAsciiCase(u"Folders-12", u"FOLDERS-"));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase(u"Fold", u"Folders"));
  EXPECT_TRUE(EqualsIgnoringAsciiCase(u"ipf.Note", u"IPF.NOTE"));
  EXPECT_EQ(Split(u"Folders-1-2", u'-'), (std::vector<std::u16string>{u"Folders", u"1", u"2"}));
  EXPECT_EQ(Split(u"a--", u'-'), (std::vector<std::u16string>{u"a", u"", u""}));
  EXPECT_EQ(Split(u"", u'-'), (std::vector<std::u16string>{u""}));
}

TEST(Utf16Text, FindUnitFindsWhatFindFinds) {
  // Units whose bytes hold the wanted unit's low byte elsewhere: as the high byte (U+0A00),
  // as the low byte of another unit (U+4E0A), across two units (U+0A41 U+000A ...).
  const std::u16string_view texts[] = {
      u"", u"\n", u"ab\ncd\n", u"\u0a00\u4e0a\u0a41x\n\u0a00\n", u"\u4e0a\u4e0a\u4e0a",
      u"no line end here at all"};
  for (std::u16string_view text : texts) {
    for (char16_t unit : {u'\n', u'x', u'\u4e0a', u'\u0a00'}) {
      for (std::size_t from = 0; from <= text.size() + 1; ++from) {
        EXPECT_EQ(FindUnit(text, unit, from), text.find(unit, from))
            << static_cast<int>(unit) << " from " << from << " in a text of " << text.size();
      }
    }
  }
}

}  // namespace
}  // namespace tarvex
