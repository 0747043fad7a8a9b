#include "base/text_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/code_page_conversion.h"
#include "base/utf16_file.h"
#include "base/utf_conversion.h"
#include "support/test_files.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;

class TextFileTest : public ::testing::Test {
 protected:
  std::string Bytes() const { return testing::FileText(path_); }
  void Store(std::string_view bytes) const { testing::WriteFile(path_, bytes); }
  static std::string Le(std::u16string_view text) { return EncodeUtf16Le(text); }
  static std::string Be(std::u16string_view text) {
    std::string bytes;
    for (char16_t unit : text) {
      bytes.push_back(static_cast<char>(unit >> 8));
      bytes.push_back(static_cast<char>(unit & 0xFF));
    }
    return bytes;
  }
  template <typename File>
  static std::vector<std::u16string> Lines(File& file) {
    std::vector<std::u16string> lines;
    std::u16string line;
    while (file.ReadString(line)) lines.push_back(line);
    return lines;
  }
  std::vector<std::u16string> Utf16Lines(std::string_view bytes) const {
    Store(bytes);
    Utf16File file;
    EXPECT_TRUE(file.Open(path_, BinaryFile::kRead));
    return Lines(file);
  }

  testing::ScratchFolder folder_;
  fs::path path_ = folder_ / "file.txt";
};

using LineList = std::vector<std::u16string>;
constexpr unsigned kCreateWrite = BinaryFile::kCreate | BinaryFile::kWrite;
constexpr unsigned kCreateReadWrite = BinaryFile::kCreate | BinaryFile::kReadWrite;
const std::string kLeMark = "\xFF\xFE";
const std::string kBeMark = "\xFE\xFF";

TEST_F(TextFileTest, Utf16FileWritesOneMarkThenUnitsAsTheyAre) {
  Utf16File file;
  ASSERT_EQ(kCreateWrite, 0x1001u);
  ASSERT_TRUE(file.Open(path_, kCreateWrite));
  EXPECT_TRUE(file.WriteString(u"abc"));
  file.Close();
  EXPECT_EQ(Bytes(), std::string("\xFF\xFE"
                                 "a\0b\0c\0",
                                 8));

  ASSERT_TRUE(file.Open(path_, kCreateWrite));
  file.WriteString(u"abc", true);
  file.WriteString(u"abc");
  file.WriteString(u"a\r\nb\n\U0001F98A");  // line ends untouched, a pair as two units
  file.WriteString(std::string_view("\xE9x"));
  file.Close();
  EXPECT_EQ(Bytes(), kLeMark + Le(u"abcabc") + Le(u"a\r\nb\n\U0001F98A") + "\xE9x");
}

TEST_F(TextFileTest, Utf16FileReadWriteOpenTruncatesAndForgetsTheOldMark) {
  Store(kLeMark + Le(u"old text"));
  Utf16File file;
  ASSERT_EQ(kCreateReadWrite, 0x1002u);
  ASSERT_TRUE(file.Open(path_, kCreateReadWrite));
  EXPECT_FALSE(file.IsUnicode());
  EXPECT_EQ(file.Length(), 0u);
  file.WriteString(u"new");
  file.Close();
  EXPECT_EQ(Bytes(), kLeMark + Le(u"new"));
}

TEST_F(TextFileTest, Utf16FileLineEnds) {
  EXPECT_EQ(Utf16Lines(kLeMark + Le(u"a\r\nb")), (LineList{u"a", u"b"}));
  EXPECT_EQ(Utf16Lines(kLeMark + Le(u"a\nb")), (LineList{u"a", u"b"}));
  EXPECT_EQ(Utf16Lines(kLeMark + Le(u"a\n\nb")), (LineList{u"a", u"b"}));
  EXPECT_EQ(Utf16Lines(kLeMark + Le(u"a\n\rb\r\rc\rd")), (LineList{u"a", u"b", u"c", u"d"}));
  EXPECT_EQ(Utf16Lines(kLeMark + Le(u"a\r\n\r\nb\r\n")), (LineList{u"a", u"", u"b"}));
  EXPECT_EQ(Utf16Lines(kLeMark + Le(u"\r\nx")), (LineList{u"", u"x"}));
  EXPECT_EQ(Utf16Lines(kLeMark), LineList{});
  // A trailing odd byte is no unit.
  EXPECT_EQ(Utf16Lines(kLeMark + Le(u"ab") + "c"), (LineList{u"ab"}));
  // The big-endian twin reads the same.
  EXPECT_EQ(Utf16Lines(kBeMark + Be(u"a\r\nb\n\nc\u20AC")), (LineList{u"a", u"b", u"c\u20AC"}));
}

TEST_F(TextFileTest, Utf16FileLineEndSplitAcrossReadAhead) {
  // The first refill takes 4096 bytes after the mark: 2048 units. CR is the last of them and
  // its LF the first unit of the next refill.
  const std::u16string first(2047, u'x');
  const std::u16string second(5000, u'y');
  Store(kLeMark + Le(first + u"\r\n" + second + u"\n\nz"));
  Utf16File file;
  ASSERT_TRUE(file.Open(path_, BinaryFile::kRead));
  EXPECT_EQ(Lines(file), (LineList{first, second, u"z"}));
  EXPECT_EQ(file.LogicalPosition(), 2 + 2 * (first.size() + second.size() + 5));
}

TEST_F(TextFileTest, Utf16FileBufferReadKeepsTheFirstLineEndUnit) {
  Store(kLeMark + Le(u"ab\r\ncdefg\n"));
  Utf16File file;
  ASSERT_TRUE(file.Open(path_, BinaryFile::kRead));
  char16_t buffer[8] = {};
  EXPECT_EQ(file.ReadString(buffer, 1), nullptr);
  EXPECT_EQ(file.ReadString(buffer, 8), buffer);
  EXPECT_EQ(std::u16string(buffer), u"ab\r");
  // A line longer than the buffer continues with the next call.
  EXPECT_EQ(file.ReadString(buffer, 4), buffer);
  EXPECT_EQ(std::u16string(buffer), u"cde");
  EXPECT_EQ(file.ReadString(buffer, 8), buffer);
  EXPECT_EQ(std::u16string(buffer), u"fg\n");
  EXPECT_EQ(file.ReadString(buffer, 8), nullptr);
  EXPECT_EQ(buffer[0], 0);
}

TEST_F(TextFileTest, Utf16FileSeekDropsTheReadAhead) {
  Store(kLeMark + Le(u"one\r\ntwo\r\n"));
  Utf16File file;
  ASSERT_TRUE(file.Open(path_, BinaryFile::kRead));
  EXPECT_TRUE(file.IsUnicode());
  EXPECT_EQ(file.LogicalPosition(), 2u);
  std::u16string line;
  ASSERT_TRUE(file.ReadString(line));
  EXPECT_EQ(file.LogicalPosition(), 12u);
  EXPECT_EQ(file.Seek(2, SeekOrigin::kBegin), 2u);
  ASSERT_TRUE(file.ReadString(line));
  EXPECT_EQ(line, u"one");
  file.Seek(12, SeekOrigin::kBegin);
  ASSERT_TRUE(file.ReadString(line));
  EXPECT_EQ(line, u"two");
  EXPECT_FALSE(file.ReadString(line));
}

TEST_F(TextFileTest, Utf16FileWithoutMarkReadsBytesFromTheStart) {
  Store("\xE9t\xE9\r\nsecond");
  Utf16File file;
  ASSERT_TRUE(file.Open(path_, BinaryFile::kRead));
  EXPECT_FALSE(file.IsUnicode());
  EXPECT_EQ(file.LogicalPosition(), 0u);
  EXPECT_EQ(Lines(file), (LineList{u"\u00E9t\u00E9", u"second"}));

  Store("x");  // shorter than a mark
  ASSERT_TRUE(file.Open(path_, BinaryFile::kRead));
  EXPECT_EQ(Lines(file), (LineList{u"x"}));
}

TEST_F(TextFileTest, OpenModesAndFailures) {
  Utf16File file;
  std::error_code error;
  EXPECT_FALSE(file.Open(folder_ / "missing.txt", BinaryFile::kRead, &error));
  EXPECT_EQ(error, std::errc::no_such_file_or_directory);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(file.WriteString(u"x"));
  TextFile ex;
  EXPECT_FALSE(ex.Open(folder_ / "no" / "folder.txt", kCreateWrite));
  EXPECT_FALSE(ex.WriteString(u"x"));
  // Without kCreate a missing file is not created.
  EXPECT_FALSE(ex.Open(folder_ / "missing.txt", BinaryFile::kWrite));
  EXPECT_FALSE(fs::exists(folder_ / "missing.txt"));

  // kNoTruncate keeps an existing file and creates a missing one.
  constexpr unsigned kKeep = BinaryFile::kCreate | BinaryFile::kNoTruncate;
  Store("hello");
  BinaryFile plain;
  ASSERT_TRUE(plain.Open(path_, kKeep | BinaryFile::kWrite));
  EXPECT_EQ(plain.Length(), 5u);
  EXPECT_EQ(plain.Seek(0, SeekOrigin::kEnd), 5u);
  EXPECT_TRUE(plain.Write("!", 1));
  plain.Close();
  EXPECT_EQ(Bytes(), "hello!");
  ASSERT_TRUE(plain.Open(folder_ / "new.txt", kKeep | BinaryFile::kReadWrite));
  EXPECT_TRUE(fs::exists(folder_ / "new.txt"));
  // Reading after writing on one handle sees the written bytes.
  EXPECT_TRUE(plain.Write("abc", 3));
  plain.SeekToBegin();
  char back[3] = {};
  EXPECT_EQ(plain.Read(back, 3), 3u);
  EXPECT_EQ(std::string(back, 3), "abc");
}

TEST_F(TextFileTest, TextFileUtf16ContentMarksOnlyTheFirstString) {
  TextFile file;
  ASSERT_TRUE(file.Open(path_, TextFile::kUtf16Content | kCreateWrite | 0x4000));
  EXPECT_TRUE(file.IsUtf16Content());
  EXPECT_EQ(file.OpenFlags(), 0x200000u | 0x1001u | 0x8000u);
  file.WriteString(u"ab");
  file.WriteString(u"c\r\n");
  file.Close();
  EXPECT_EQ(Bytes(), kLeMark + Le(u"abc\r\n"));
}

TEST_F(TextFileTest, TextFileEightBitContent) {
  TextFile file;
  ASSERT_TRUE(file.Open(path_, kCreateWrite));
  EXPECT_FALSE(file.IsUtf16Content());
  file.SetCodePage(kUtf8CodePage);
  file.WriteString(u"\u00E9\u4E2D");
  file.WriteString(u"\n\U0001F98A");
  file.Close();
  EXPECT_EQ(Bytes(), "\xEF\xBB\xBF\xC3\xA9\xE4\xB8\xAD\n\xF0\x9F\xA6\x8A");

  // The system code page: Windows-1252, '#' for what it lacks, no mark.
  ASSERT_TRUE(file.Open(path_, kCreateWrite));
  file.SetCodePage(kSystemCodePage);
  file.WriteString(u"\u00E9\u20AC\u4E2D\U0001F98A\r\n");
  file.SetUnknownCharacter('?');
  file.WriteString(u"\u4E2D");
  file.Close();
  EXPECT_EQ(Bytes(), "\xE9\x80##\r\n?");

  // Other code pages go through iconv; the settings stay with the object across opens.
  ASSERT_TRUE(file.Open(path_, kCreateWrite));
  file.SetCodePage(1251);
  file.WriteString(u"\u0416a\u4E2D\U0001F98A");
  file.SetCodePage(932);
  file.WriteString(u"\u65E5\u672C");
  file.Close();
  EXPECT_EQ(Bytes(),
            "\xC6"
            "a??\x93\xFA\x96\x7B");

  // No mark when it is turned off.
  ASSERT_TRUE(file.Open(path_, TextFile::kUtf16Content | kCreateWrite));
  file.SetWriteByteOrderMark(false);
  file.WriteString(u"a");
  file.Close();
  EXPECT_EQ(Bytes(), Le(u"a"));
}

TEST_F(TextFileTest, TextFileReadsLines) {
  Store(kLeMark + Le(u"line1\r\nline2\r\r\n\nlast"));
  TextFile file;
  ASSERT_TRUE(file.Open(path_, BinaryFile::kRead));
  EXPECT_TRUE(file.IsUtf16Content());
  EXPECT_EQ(Lines(file), (LineList{u"line1", u"line2\r", u"", u"last"}));
  // A seek makes the next read at offset 0 skip the mark again.
  file.Seek(0, SeekOrigin::kBegin);
  std::u16string line;
  ASSERT_TRUE(file.ReadString(line));
  EXPECT_EQ(line, u"line1");

  // Only FF FE marks UTF-16 content; kUtf16Content does not make it so when reading.
  Store(kBeMark + Be(u"x"));
  ASSERT_TRUE(file.Open(path_, BinaryFile::kRead | TextFile::kUtf16Content));
  EXPECT_FALSE(file.IsUtf16Content());

  Store("caf\xE9\r\nna\xEFve");
  ASSERT_TRUE(file.Open(path_, BinaryFile::kRead));
  EXPECT_EQ(Lines(file), (LineList{u"caf\u00E9", u"na\u00EFve"}));

  Store("\xC6\xE8\n");
  ASSERT_TRUE(file.Open(path_, BinaryFile::kRead));
  file.SetCodePage(1251);
  EXPECT_EQ(Lines(file), (LineList{u"\u0416\u0438"}));
}

TEST_F(TextFileTest, TextFileSkipsAUtf8MarkOnlyWhenThere) {
  TextFile file;
  Store("\xEF\xBB\xBF\xC3\xA9t\xC3\xA9\n");
  ASSERT_TRUE(file.Open(path_, BinaryFile::kRead));
  file.SetCodePage(kUtf8CodePage);
  EXPECT_EQ(Lines(file), (LineList{u"\u00E9t\u00E9"}));

  Store("abc\ndef");
  ASSERT_TRUE(file.Open(path_, BinaryFile::kRead));
  file.SetCodePage(kUtf8CodePage);
  EXPECT_EQ(Lines(file), (LineList{u"abc", u"def"}));

  // Written and read back through one read-write handle.
  ASSERT_TRUE(file.Open(path_, kCreateReadWrite | TextFile::kUtf16Content));
  file.SetWriteByteOrderMark(false);
  file.WriteString(u"ab\ncd");
  file.Seek(0, SeekOrigin::kBegin);
  EXPECT_EQ(Lines(file), (LineList{u"ab", u"cd"}));
}

TEST(CodePageConversion, RoundTripsAndSubstitutes) {
  EXPECT_EQ(CodePageToWide("\x93\xFA\x96\x7B", 932), u"\u65E5\u672C");
  EXPECT_EQ(WideToCodePage(u"\u65E5\u672C", 932, '#'), "\x93\xFA\x96\x7B");
  EXPECT_EQ(CodePageToWide("a\x81", 932), u"a\uFFFD");  // lead byte without its trail
  EXPECT_EQ(WideToCodePage(u"\u00E9", 28591, '#'), "\xE9");
  EXPECT_EQ(WideToCodePage(std::u16string(1, char16_t{0xD800}) + u"x", 1251, '#'), "#x");
  // An unknown code page falls back to Windows-1252.
  EXPECT_EQ(WideToCodePage(u"\u20AC", 99999, '#'), "\x80");
  EXPECT_EQ(CodePageToWide("\x80", 99999), u"\u20AC");
}

}  // namespace
}  // namespace tarvex
