#include "base/utf_conversion.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

TEST(UtfConversion, RoundTripsEveryPlane) {
  const std::u16string text = u"a\u00e9\u0416\u4e2d\U0001F98A";
  const std::string utf8 = Utf16ToUtf8(text);
  EXPECT_EQ(utf8, "a\xC3\xA9\xD0\x96\xE4\xB8\xAD\xF0\x9F\xA6\x8A");
  EXPECT_EQ(Utf8ToUtf16(utf8), text);
  EXPECT_EQ(DecodeUtf8Strict(utf8), text);
  EXPECT_EQ(DecodeUtf16LeStrict(EncodeUtf16Le(text)), text);
}

TEST(UtfConversion, IllFormedInputIsReplacedOrRejected) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xD83E}) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf8ToUtf16("a\xC0\x80"
                        "b"),
            u"a\uFFFD\uFFFDb");                                   // overlong NUL
  EXPECT_EQ(Utf8ToUtf16("\xE4\xB8"), u"\uFFFD");                  // truncated
  EXPECT_FALSE(DecodeUtf8Strict("\xED\xA0\x80"));                 // encoded surrogate
  EXPECT_FALSE(DecodeUtf8Strict("\xF4\x90\x80\x80"));             // beyond U+10FFFF
  EXPECT_FALSE(DecodeUtf16LeStrict(std::string("a\0b", 3)));      // odd size
  EXPECT_FALSE(DecodeUtf16LeStrict(std::string("\x3E\xD8", 2)));  // lone high surrogate
  EXPECT_FALSE(
      DecodeUtf16LeStrict(std::string("\x8A\xDD"
                                      "a\0",
                                      4)));  // lone low
  EXPECT_EQ(DecodeUtf16LeStrict(""), u"");
}

TEST(UtfConversion, ASurrogateIsFoundWhereverItStands) {
  // Texts are looked at four units at a time: every place in and after the words, each end of
  // the surrogate range and its neighbours.
  for (std::size_t length = 0; length < 11; ++length) {
    const std::u16string plain(length, u'\uD7FF');
    EXPECT_FALSE(HasSurrogate(plain));
    EXPECT_FALSE(HasSurrogate(std::u16string(length, u'\uE000')));
    for (std::size_t at = 0; at < length; ++at) {
      for (const char16_t unit : {char16_t{0xD800}, char16_t{0xDBFF}, char16_t{0xDC00},
                                  char16_t{0xDFFF}}) {
        std::u16string text = plain;
        text[at] = unit;
        EXPECT_TRUE(HasSurrogate(text)) << length << " " << at << " " << int{unit};
        // A lone one fails a strict decoding wherever it stands.
        EXPECT_FALSE(DecodeUtf16LeStrict(EncodeUtf16Le(text)));
      }
    }
  }
}

}  // namespace
}  // namespace tarvex
