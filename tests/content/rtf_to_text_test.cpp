// RTF to text on documents shaped like those that mail clients and word processors write
// (tests/content/rtf_corpus), and on damaged or hostile input.

#include "content/rtf_to_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "base/utf_conversion.h"
#include "content/html_visible_text.h"

namespace tarvex {
namespace {

std::string CorpusFile(const std::string& name) {
  std::ifstream in(std::filesystem::path(TARVEX_RTF_CORPUS_DIR) / name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Shows line ends and tabs in failure messages.
std::string Visible(const std::u16string& text) {
  std::string shown;
  for (char c : Utf16ToUtf8(text)) {
    if (c == '\r') {
      shown += "\\r";
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else {
      shown += c;
    }
  }
  return shown;
}

#define EXPECT_TEXT(actual, expected) EXPECT_EQ(Visible(actual), Visible(expected))

std::u16string Convert(std::string_view rtf) {
  return RtfToPlainText(rtf);
}

// Each corpus document: the behaviour it shows, and the whole text it gives.
TEST(RtfToPlainTextCorpus, EveryDocumentGivesItsVisibleText) {
  struct Case {
    const char* file;
    std::u16string text;
  };
  for (const Case& each : std::initializer_list<Case>{
           // word document shows only its body
           {"word_document.rtf",
            u"Dear team,\r\n"
            u"The numbers are in\u00a0\u2013 see the attached file\u2019s second sheet. It\u2019s "
            u"a \u201cgood\u201d quarter\u2014mostly.\r\n"
            u"Revenue up 4%\r\n"
            u"Costs flat, non\u2011binding estimate\r\n"
            u"Regards\r\nAnn\u2022 Sales"},
           // unicode escapes skip their fallback by uc
           {"unicode_escapes.rtf",
            u"caf\u00e9, na\u00efve, \u20ac 5\r\n"
            u"zero skip \u201cquoted\u201d\r\n"
            u"two \u2014 dashes\r\n"
            u"\u4e2d\u6587\r\n"
            u"smile \U0001F60A and \uFFFF end\r\n"
            u"group bold \u00f6inner \u00fcafter \u00e4\r\n"
            u"A negative? \u8000ok"},
           // tables give tabs between cells and line ends after rows
           {"tables.rtf",
            u"Before table\r\n"
            u"Name\tQty\tPrice\r\n"
            u"Apples\t3\t1.20\r\n"
            u"Pears\t\t0.80\r\n"
            u"Nested:\r\n"
            u"Outer\tin1\tin2\t\r\n\r\n"
            u"After table"},
           // fields show their result not their instruction
           {"fields.rtf",
            u"See the report online.\r\n"
            u"Page 3 of 9.\r\n"
            u"\u00abName\u00bb\r\n"
            u"Heading\r\n"
            u"\u00b7 a@example.com"},
           // pictures objects and binary data contribute nothing
           {"pictures.rtf", u"Picture follows:done.\r\nBinary  after binary.\r\nObject  end."},
           // escaped bytes follow their font charset or code page
           {"cyrillic_charsets.rtf",
            u"\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440!\r\n"
            u"D\u011bkuji, \u0393\u03b5\u03b9\u03b1, caf\u00e9\r\n"
            u"\u0414\u0430\u00e9"},
           // literal high bytes and escapes alike are in the document's ANSI code page
           {"cyrillic_ansicpg.rtf", u"\u0414\u0430, \u0434\u0430 \u044f \u044f"},
           // double byte code pages keep characters whole
           {"cjk.rtf",
            u"\u3042\u3044\u30a2 ja\r\n"
            u"\u4e2d\u6587 zh\r\n"
            u"\ud55c\u4e2d ko-tw\r\n"
            u"\u3042 upr\r\n"
            u"\u65e5\u672c uni"},
           // encapsulated html gives the text a browser shows
           {"outlook_html.rtf",
            u"Hello team,\r\n"
            u"\u00a0\r\n"
            u"Price: 5 \u20ac < 10, caf\u00e9 bold and \u041f\u0440\u0438\u0432\u0435\u0442 "
            u"link\r\n"
            u"A1\tB1\r\n"
            u"Line one\r\nLine two \u2013 \U0001F60A x"},
           // exchange text body keeps empty lines and tabs
           {"exchange_from_text.rtf",
            u"Hi Bob,\r\n\r\nMeeting moved to 3pm http://x/.\r\n\tRoom \u00b7 4\r\n\r\n-- \r\n"
            u"Alice"},
       }) {
    SCOPED_TRACE(each.file);
    EXPECT_TEXT(Convert(CorpusFile(each.file)), each.text);
  }
}

TEST(RtfToPlainText, ControlSymbolsAndSpecialCharacters) {
  EXPECT_TEXT(Convert(R"({\rtf1 a\\b\{c\}d\~e\_f\-g\|h\:i})"), u"a\\b{c}d\u00a0e\u2011fghi");
  // A backslash before a line end is a paragraph end.
  EXPECT_TEXT(Convert("{\\rtf1 one\\\ntwo\\\r\nthree}"), u"one\r\ntwo\r\nthree");
  EXPECT_TEXT(
      Convert(R"({\rtf1 \lquote x\rquote  \ldblquote y\rdblquote  \endash \emdash \bullet })"),
      u"\u2018x\u2019 \u201cy\u201d \u2013\u2014\u2022");
  // Literal line ends in the source are not text; literal tabs are.
  EXPECT_TEXT(Convert("{\\rtf1 a\r\nb\tc}"), u"ab\tc");
}

TEST(RtfToPlainText, StarredDestinationsAreSkippedUnlessKnown) {
  EXPECT_TEXT(Convert(R"({\rtf1 a{\*\unknown b{c}d}e{\*\ud f}g})"), u"aefg");
  // The star marks its own group, not the group that follows it.
  EXPECT_TEXT(Convert(R"({\rtf1 a{\*{b}c}d})"), u"ad");
  // Without \fromhtml an htmltag is just another unknown destination.
  EXPECT_TEXT(Convert(R"({\rtf1 a{\*\htmltag <b>}b})"), u"ab");
  // Hidden text (\v) is not visible text.
  EXPECT_TEXT(Convert(R"({\rtf1 a{\v hidden}b\v c\v0 d\v e\plain f})"), u"abdf");
}

TEST(RtfToPlainText, DefaultFontAndPlainGiveTheDefaultFontsCodePage) {
  EXPECT_TEXT(
      Convert(R"({\rtf1\deff1{\fonttbl{\f0 A;}{\f1\fcharset204 B;}}\'e4\f0\'e4\plain\'e4})"),
      u"\u0434\u00e4\u0434");
  // Without a font table entry the document's code page applies; \cpg beats \fcharset.
  EXPECT_TEXT(Convert(R"({\rtf1\ansicpg1253{\fonttbl{\f2\fcharset204\cpg1250 C;}}\f7\'e1\f2\'e1})"),
              u"\u03b1\u00e1");
}

TEST(RtfToPlainText, LastParagraphMarkIsNotText) {
  EXPECT_TEXT(Convert(R"({\rtf1 a\par b\par})"), u"a\r\nb");
  EXPECT_TEXT(Convert(R"({\rtf1 a\par\par})"), u"a\r\n");
  EXPECT_TEXT(Convert(R"({\rtf1 a\line b\sect c\page d})"), u"a\r\nb\r\nc\r\nd");
}

TEST(RtfToPlainText, WideInputTakesHighUnitsAsCharacters) {
  EXPECT_TEXT(RtfToPlainText(std::u16string_view(u"{\\rtf1 caf\u00e9 \u4e2d\\'e9}")),
              u"caf\u00e9 \u4e2d\u00e9");
  EXPECT_TEXT(RtfToPlainText(
                  std::u16string_view(u"{\\rtf1{\\fonttbl{\\f1\\fcharset204 X;}}\\f1 \\'e4\\'e0}")),
              u"\u0434\u0430");
}

TEST(RtfToPlainText, InputThatIsNotRtfIsPlainText) {
  EXPECT_TEXT(Convert("hello\r\nworld"), u"hello\r\nworld");
  EXPECT_TEXT(Convert("\xc5\xbelu\xc5\xa5"), u"\u017elu\u0165");  // UTF-8
  EXPECT_TEXT(Convert("caf\xe9"), u"caf\u00e9");                  // not UTF-8: 1252
  EXPECT_TEXT(Convert(""), u"");
  EXPECT_TEXT(RtfToPlainText(std::u16string_view(u"plain \u4e2d")), u"plain \u4e2d");
}

TEST(RtfToPlainTextHostile, UnbalancedBracesEndCleanly) {
  EXPECT_TEXT(Convert(R"({\rtf1 a{\b b)"), u"ab");
  // Text after the document's closing brace is not part of it: the compressed-RTF decoder
  // appends "}}" to every stream.
  EXPECT_TEXT(Convert(R"({\rtf1 a}}} b}}{\rtf1 c})"), u"a");
  EXPECT_TEXT(Convert(R"({\rtf1 a{\*\fonttbl{\f0 x;})"), u"a");
}

TEST(RtfToPlainTextHostile, DeepNestingNeedsNoRecursion) {
  const std::size_t depth = 100000;
  std::string plain = "{\\rtf1 x" + std::string(depth, '{') + "y" + std::string(depth, '}') + "z}";
  EXPECT_TEXT(Convert(plain), u"xyz");

  // Every level changes state: too deep a group is dropped, what surrounds it survives.
  std::string formatted = "{\\rtf1 x";
  for (std::size_t i = 0; i < depth; ++i) formatted += "{\\b\\uc1 ";
  formatted += "y" + std::string(depth, '}') + "z}";
  EXPECT_TEXT(Convert(formatted), u"xz");

  // A skipped destination may nest as deep as it likes.
  std::string skipped =
      "{\\rtf1 x{\\*\\foo" + std::string(depth, '{') + std::string(depth, '}') + "}z}";
  EXPECT_TEXT(Convert(skipped), u"xz");
}

TEST(RtfToPlainTextHostile, TruncatedEscapesStandForNothing) {
  EXPECT_TEXT(Convert("{\\rtf1 a\\'4"), u"a");
  EXPECT_TEXT(Convert("{\\rtf1 a\\'"), u"a");
  EXPECT_TEXT(Convert("{\\rtf1 a\\"), u"a");
  EXPECT_TEXT(Convert("{\\rtf1 a\\'4g}"), u"ag");
  EXPECT_TEXT(Convert("{\\rtf1 a\\u"), u"a");
  EXPECT_TEXT(Convert("{\\rtf1 a\\u4660"), u"a\u1234");
  EXPECT_TEXT(Convert("{\\rtf1 a\\u-"), u"a");
  // A double-byte character cut in half decodes to the replacement character.
  EXPECT_TEXT(Convert("{\\rtf1{\\fonttbl{\\f1\\fcharset128 M;}}\\f1 \\'82}"), u"\uFFFD");
}

TEST(RtfToPlainTextHostile, HugeParametersAreBounded) {
  EXPECT_TEXT(Convert("{\\rtf1 a\\bin4294967295 xyz}"), u"a");
  EXPECT_TEXT(Convert("{\\rtf1 a\\bin99999999999999999999999 xyz}"), u"a");
  EXPECT_TEXT(Convert("{\\rtf1 a\\bin3 }}}b}"), u"ab");
  EXPECT_TEXT(Convert("{\\rtf1 a\\bin-5 b\\bin c}"), u"abc");
  EXPECT_TEXT(Convert("{\\rtf1 \\uc99999999 \\u4660 abc}"), u"\u1234");
  // Characters out of range are dropped, their fallback still skipped.
  EXPECT_TEXT(Convert("{\\rtf1 \\u99999?\\u-99999?ab}"), u"ab");
  EXPECT_TEXT(Convert("{\\rtf1 a\\" + std::string(100000, 'x') + " b}"), u"ab");
  EXPECT_TEXT(Convert("{\\rtf1 a\\f" + std::string(100000, '9') + " b}"), u"ab");
}

TEST(RtfToPlainTextHostile, RandomBytesAfterTheHeaderNeverFail) {
  std::mt19937 random(20240611);
  const std::string alphabet = "{}\\'*abfu0123456789- \r\n\xe9\x82";
  for (int round = 0; round < 2000; ++round) {
    std::string rtf = "{\\rtf1 ";
    const std::size_t size = random() % 200;
    for (std::size_t i = 0; i < size; ++i) {
      rtf.push_back(random() % 4 == 0 ? static_cast<char>(random())
                                      : alphabet[random() % alphabet.size()]);
    }
    const std::u16string text = Convert(rtf);
    EXPECT_LE(text.size(), rtf.size() * 2) << round;
  }
}

TEST(HtmlVisibleText, TagsEntitiesAndWhiteSpace) {
  EXPECT_TEXT(HtmlVisibleText(u"<p>a  b\r\n c</p><p>d&amp;e&#233;&#x1F60A;&bogus;&lt</p>"),
              u"a b c\r\nd&e\u00e9\U0001F60A&bogus;&lt");
  EXPECT_TEXT(HtmlVisibleText(u"<HEAD><Title>t</title></HEAD><body>x<br>y<script>z</script>"
                              u"<!-- c --></body>"),
              u"x\r\ny");
  EXPECT_TEXT(HtmlVisibleText(u"<pre>a  b\r\nc</pre>d"), u"a  b\r\nc\r\nd");
  EXPECT_TEXT(HtmlVisibleText(u"<header>h</header><p title='a>b'>q</p>"), u"h\r\nq");
  EXPECT_TEXT(HtmlVisibleText(u"1 < 2 <3 a<b"), u"1 < 2 <3 a");
  EXPECT_TEXT(HtmlVisibleText(u"<p> lead</p>x&amp;y <br> z\tw\u00e9"), u"lead\r\nx&y\r\nz w\u00e9");
  EXPECT_TEXT(HtmlVisibleText(u"<style>unterminated"), u"");
  EXPECT_TEXT(HtmlVisibleText(u"<table><tr><th>a</th><td>b</td></tr><tr><td>c</td></tr></table>"),
              u"a\tb\r\nc");
}

TEST(HtmlVisibleText, HostileMarkupStaysLinear) {
  // Half a million ampersands without a semicolon, and unterminated comments and tags.
  const std::u16string ampersands(500000, u'&');
  EXPECT_EQ(HtmlVisibleText(ampersands), ampersands);
  EXPECT_TEXT(HtmlVisibleText(u"a<!-- never closed <p>b</p>"), u"a");
  EXPECT_TEXT(HtmlVisibleText(u"a<p title=\"never closed>b"), u"a");
}

}  // namespace
}  // namespace tarvex
