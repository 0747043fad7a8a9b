#include "saver/body_file.h"

#include <gtest/gtest.h>

#include "base/utf16_file.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "saver/calendar_writer.h"
#include "saver/mail_writer.h"
#include "saver/note_body.h"
#include "saver/output_files.h"
#include "saver/vcard_writer.h"
#include "saver_test_files.h"

namespace tarvex::testing {
namespace {

TEST(BodyFileTest, UnmarkedUtf16BodiesOfAnyScript) {
  // Cyrillic and CJK in UTF-16LE have few or no zero bytes; the file name says what they are.
  for (std::u16string_view text :
       {std::u16string_view(u"Привет, мир"), std::u16string_view(u"中文字符测试"),
        std::u16string_view(u"Hello\r\nWorld"), std::u16string_view(u"Ünïcödé 🦊")}) {
    for (std::u16string_view name : {u"textbody.txt", u"blank.txt", u"blank.html"}) {
      EXPECT_EQ(DecodeBodyFileBytes(EncodeUtf16Le(text), name, BodyType::kText), text);
    }
  }
  // A terminator is not text.
  EXPECT_EQ(DecodeBodyFileBytes(EncodeUtf16Le(u"Hi") + std::string(2, '\0'), u"textbody.txt",
                                BodyType::kText),
            u"Hi");
  // Plain 8-bit bytes in a file of that name are still read as what they are.
  EXPECT_EQ(DecodeBodyFileBytes("Hello!", u"textbody.txt", BodyType::kText), u"Hello!");
  EXPECT_EQ(DecodeBodyFileBytes("odd", u"textbody.txt", BodyType::kText), u"odd");
}

TEST(BodyFileTest, MarksUtf8AndCodePage1252) {
  EXPECT_EQ(DecodeBodyFileBytes("\xFF\xFE" + EncodeUtf16Le(u"Жук"), u"x.txt", BodyType::kText),
            u"Жук");
  EXPECT_EQ(DecodeBodyFileBytes("\xEF\xBB\xBF" + Utf16ToUtf8(u"Жук"), u"x.txt", BodyType::kText),
            u"Жук");
  EXPECT_EQ(DecodeBodyFileBytes(Utf16ToUtf8(u"Жук 中文"), u"tempbody.txt", BodyType::kText),
            u"Жук 中文");
  EXPECT_EQ(DecodeBodyFileBytes(Utf16ToUtf8(u"<p>Жук</p>"), u"htmlbody.html", BodyType::kHtml),
            u"<p>Жук</p>");
  EXPECT_EQ(DecodeBodyFileBytes("caf\xE9 \x80", u"tempbody.txt", BodyType::kText), u"café €");
  // An unknown name: UTF-16LE is recognised by its zero high bytes.
  EXPECT_EQ(DecodeBodyFileBytes(EncodeUtf16Le(u"plain text"), u"other.txt", BodyType::kText),
            u"plain text");
}

TEST(BodyFileTest, RtfThatIsStillRtfBecomesText) {
  EXPECT_EQ(DecodeBodyFileBytes(Utf16ToUtf8(u"Converted Жук"), u"rtfbody.txt", BodyType::kRtf),
            u"Converted Жук");
  const std::u16string from_rtf =
      DecodeBodyFileBytes("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Hello \\'e9t\\'e9}",
                          u"rtfbody.txt", BodyType::kRtf);
  EXPECT_NE(from_rtf.find(u"Hello été"), std::u16string::npos);
  EXPECT_EQ(from_rtf.find(u"Arial"), std::u16string::npos);

  // A compressed stream of literals only: each control byte 0 announces eight literal bytes.
  // The decoder leaves the stream's last tokens to its own closing braces, as real streams end
  // with their end marker there; filler takes that place here.
  const std::string rtf = "{\\rtf1 Stored body text.}" + std::string(16, ' ');
  std::string payload;
  for (std::size_t i = 0; i < rtf.size(); i += 8) payload += '\0' + rtf.substr(i, 8);
  auto le32 = [](std::size_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
  };
  const std::string stream =
      le32(payload.size() + 12) + le32(rtf.size()) + "LZFu" + le32(0) + payload;
  const std::u16string decoded = DecodeBodyFileBytes(stream, u"rtfbody.txt", BodyType::kRtf);
  EXPECT_NE(decoded.find(u"Stored body text"), std::u16string::npos) << Utf16ToUtf8(decoded);
}

TEST(BodyFileTest, MissingFileIsAnEmptyBody) {
  testing::ScratchFolder folder;
  BodyContent body;
  std::string error;
  EXPECT_TRUE(
      ReadBodyFile(testing::Text(folder.path() / "gone.txt"), BodyType::kHtml, body, error));
  EXPECT_TRUE(body.text.empty());
  EXPECT_TRUE(body.html);
  // Paths written with backslashes between folders are found as well.
  testing::WriteFile(folder.path() / "tempbody.txt", "body");
  std::u16string windows_style = testing::Text(folder.path()) + u"\\tempbody.txt";
  EXPECT_TRUE(ReadBodyFile(windows_style, BodyType::kText, body, error));
  EXPECT_EQ(body.text, u"body");
  EXPECT_EQ(
      BodyPlainText({u"<p>a</p><p>b &amp; c</p>", true}).find(u"b & c") != std::u16string::npos,
      true);
}

TEST(OutputFolderTest, NamesFromTheDatabaseStayInside) {
  EXPECT_EQ(OutputFolderFromText(u"/out/Box/Inbox"), "/out/Box/Inbox");
  EXPECT_EQ(OutputFolderFromText(u"/out/Box/../../etc"), "/out/Box/_/_/etc");
  EXPECT_EQ(OutputFolderFromText(u"/out/Box/./x"), "/out/Box/_/x");
  EXPECT_EQ(OutputFolderFromText(u"/out\\Box\\Sent Items"), "/out/Box/Sent Items");
  EXPECT_EQ(OutputFolderFromText(u"/out//Box/"), "/out/Box");
  EXPECT_EQ(OutputFolderFromText(u"/out/Bad\nName\x01"), "/out/BadName");
  EXPECT_EQ(OutputFolderFromText(u"/out/Входящие/CON"), "/out/Входящие/CON");
  EXPECT_EQ(OutputFolderFromText(u"relative/box"), "relative/box");
  EXPECT_TRUE(OutputFolderFromText(u"").empty());
  EXPECT_TRUE(OutputFolderFromText(u"//").empty());
  for (const auto& component : OutputFolderFromText(u"/o/../..\\..//.")) {
    EXPECT_NE(component, "..");
    EXPECT_NE(component, ".");
  }
}

TEST(OutputFilesTest, AnAbandonedAppendLeavesTheFileAsItWas) {
  testing::ScratchFolder folder;
  const auto file = folder.path() / "mail.mbox";
  testing::WriteFile(file, "kept\n");
  std::string error;
  {
    AppendingFile output;
    ASSERT_TRUE(output.Open(file, error)) << error;
    ASSERT_TRUE(output.Write("half an entry", error));
  }
  EXPECT_EQ(testing::FileText(file), "kept\n");
  {
    AppendingFile output;
    ASSERT_TRUE(output.Open(file, error));
    ASSERT_TRUE(output.Write("more\n", error));
    ASSERT_TRUE(output.Commit(error));
  }
  EXPECT_EQ(testing::FileText(file), "kept\nmore\n");
  ASSERT_TRUE(ReplaceFileAtomically(file, "new", error)) << error;
  EXPECT_EQ(testing::FileText(file), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                          std::filesystem::directory_iterator()),
            1);  // no temporary file left behind
}

TEST(FormatTest, FoldingKeepsCharactersWholeAndLinesShort) {
  const std::string line = "NOTE:" + Utf16ToUtf8(std::u16string(60, u'中')) + std::string(100, 'a');
  const std::string folded = FoldContentLine(line);
  std::string unfolded;
  std::size_t start = 0;
  while (start < folded.size()) {
    const std::size_t end = folded.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    std::string piece = folded.substr(start, end - start);
    EXPECT_LE(piece.size(), 75u);
    if (start > 0) {
      ASSERT_EQ(piece[0], ' ');
      piece.erase(0, 1);
    }
    EXPECT_TRUE(DecodeUtf8Strict(piece).has_value()) << "a character was split";
    unfolded += piece;
    start = end + 2;
  }
  EXPECT_EQ(unfolded, line);
  EXPECT_EQ(FoldContentLine("SHORT:x"), "SHORT:x\r\n");
}

TEST(FormatTest, MboxrdQuoting) {
  EXPECT_EQ(QuoteMboxLine("From here\n"), ">From here\n");
  EXPECT_EQ(QuoteMboxLine(">From here\n"), ">>From here\n");
  EXPECT_EQ(QuoteMboxLine(">>>From x"), ">>>>From x");
  EXPECT_EQ(QuoteMboxLine("From:x\n"), "From:x\n");
  EXPECT_EQ(QuoteMboxLine(" From x\n"), " From x\n");
  EXPECT_EQ(QuoteMboxLine("> From x\n"), "> From x\n");
}

// The note record's body as the export builds it: the body file read line by line with the
// program's own text file class, each line followed by "<newlinebreak>", commas as "\cama".
std::u16string NoteRecordBody(const std::filesystem::path& body_file) {
  Utf16File file;
  EXPECT_TRUE(file.Open(body_file, BinaryFile::kRead));
  std::u16string body;
  std::size_t total = 0;
  for (std::u16string line; file.ReadString(line);) {
    total += line.size();
    if (total < 65000) body += line + u"<newlinebreak>";
  }
  return ReplacedAll(body, u",", u"\\cama");
}

TEST(NoteBodyTest, EscapesAreUndone) {
  EXPECT_EQ(NoteBodyText(u"a\\cama b<newlinebreak>second<newlinebreak>"), u"a, b\nsecond");
  EXPECT_EQ(NoteBodyText(u""), u"");
  testing::ScratchFolder folder;
  testing::WriteFile(folder.path() / "htmlbody.html", Utf16ToUtf8(u"<p>Жук, жаба</p>\r\n<p>2</p>"));
  EXPECT_EQ(NoteBodyText(NoteRecordBody(folder.path() / "htmlbody.html")),
            u"<p>Жук, жаба</p>\n<p>2</p>");  // the line reader took UTF-8 for 1252
  EXPECT_EQ(NoteBodyText(u"caf\u00e9 cr\u00e8me"), u"caf\u00e9 cr\u00e8me");  // not UTF-8 bytes
  EXPECT_EQ(NoteBodyText(u"Жук"), u"Жук");
}

TEST(NoteBodyTest, AFallbackBodyReadAsBytesIsRecovered) {
  testing::ScratchFolder folder;
  for (std::u16string_view text :
       {std::u16string_view(u"Milk, eggs\r\nХлеб\r\n中文 — end"), std::u16string_view(u"one line"),
        std::u16string_view(u"ends with a line end\r\n")}) {
    // "blank.html": UTF-16LE without a mark, which the line reader takes for 8-bit text.
    testing::WriteFile(folder.path() / "blank.html", EncodeUtf16Le(text));
    const std::u16string record_body = NoteRecordBody(folder.path() / "blank.html");
    ASSERT_NE(record_body.find(u'\0'), std::u16string::npos);
    std::u16string expected = ReplacedAll(text, u"\r\n", u"\n");
    while (!expected.empty() && expected.back() == u'\n') expected.pop_back();
    EXPECT_EQ(NoteBodyText(record_body), expected);
  }
}

}  // namespace
}  // namespace tarvex::testing
