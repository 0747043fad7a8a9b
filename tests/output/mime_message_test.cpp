#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mime_message_fixture.h"
#include "output/content_type_table.h"
#include "output/mime_encoding.h"
#include "output/mime_message_writer.h"

namespace tarvex {
namespace {

// ---- The fixed layout, byte for byte, for ASCII input ----

TEST_F(MimeMessageTest, WritesEveryHeaderLineInOrder) {
  message_.from = u"Alice Smith <alice@example.com>, Bob <bob@example.com>  ";
  message_.to = u"Carol<carol@example.com>,Dan<dan@example.com>,";
  message_.cc = u"Frank <frank@example.com>";
  message_.bcc = u"eve@example.com";
  message_.date = u"Jan, 05 2010 09:03:07   ";
  message_.subject = u"Quarterly report, final ";
  SetBody(u"txt", "Hello\r\nWorld");

  const std::string expected =
      "From: Alice Smith <alice@example.com>,Bob <bob@example.com>\r\n"
      "To: Carol<carol@example.com>,Dan<dan@example.com>,\r\n"
      "Bcc: eve@example.com\r\n"
      "Cc: Frank <frank@example.com>\r\n"
      "Date: Jan, 05 2010 09:03:07 UTC\r\n"
      "Subject: Quarterly report, final \r\n" +
      std::string(kMimeBlock) + std::string(kTextPartHeader) + "Hello\r\nWorld\r\n" +
      std::string(kClosingLine);
  EXPECT_EQ(Write(), expected);
}

TEST_F(MimeMessageTest, LeavesOutEmptyHeadersButAlwaysWritesSubject) {
  SetBody(u"txt", "x");
  EXPECT_EQ(Write(), "Subject: \r\n" + std::string(kMimeBlock) + std::string(kTextPartHeader) +
                         "x\r\n" + std::string(kClosingLine));
}

TEST_F(MimeMessageTest, KeepsOnlyToEntriesEndedByACommaAndLongerThanThreeCharacters) {
  const auto to_line = [this](std::u16string to) {
    message_.to = std::move(to);
    const std::string text = Write();
    return text.substr(0, text.find("\r\n") + 2);
  };
  EXPECT_EQ(to_line(u"Ann<ann@x.org>, Ben<ben@x.org>, Last<last@x.org>"),
            "To: Ann<ann@x.org>,Ben<ben@x.org>,\r\n");
  EXPECT_EQ(to_line(u"abc,abcd,"), "To: abcd,\r\n");
  EXPECT_EQ(to_line(u"ab,"), "To: \r\n");
  EXPECT_EQ(to_line(u"Solo<solo@x.org>   "), "To: \r\n");
}

TEST_F(MimeMessageTest, BodyKindChoosesTheContentType) {
  SetBody(u"rtf", "plain");
  EXPECT_NE(Write().find("\r\nContent-Type: text/richtext;\r\n\tcharset=\"utf-8\"\r\n"),
            std::string::npos);
  SetBody(u"html", "<p>x</p>");
  EXPECT_NE(Write().find(std::string(kBoundaryLine) +
                         "Content-Type: text/html;\r\n\tcharset=\"utf-8\"\r\n"
                         "Content-Transfer-Encoding: 7bit\r\n\r\n<p>x</p>\r\n"),
            std::string::npos);
  // Case matters; an unknown kind declares nothing, and the empty line keeps a body line that
  // looks like a header from being taken for one.
  SetBody(u"TXT", "Subject: not a header");
  EXPECT_EQ(Write(), "Subject: \r\n" + std::string(kMimeBlock) + "\r\nSubject: not a header\r\n" +
                         std::string(kClosingLine));
}

TEST_F(MimeMessageTest, BodyBytesBecomeUtf8Text) {
  // UTF-16LE of plain letters reads the same in every encoding.
  for (BodyFileEncoding encoding :
       {BodyFileEncoding::kUnknown, BodyFileEncoding::kUtf16Le, BodyFileEncoding::kWindows1252}) {
    SetBody(u"txt", std::string("H\0i\0", 4), encoding);
    EXPECT_NE(Write().find(std::string(kTextPartHeader) + "Hi\r\n" + std::string(kClosingLine)),
              std::string::npos);
  }
  // A Latin-1 byte becomes its character in UTF-8, and the part says it is 8-bit.
  SetBody(u"txt", "caf\xE9");
  EXPECT_NE(Write().find("Content-Transfer-Encoding: 8bit\r\n\r\ncaf\xC3\xA9\r\n"),
            std::string::npos);
  // Windows-1252, not Latin-1: 0x80 is the euro sign.
  SetBody(u"txt", "5\x80", BodyFileEncoding::kWindows1252);
  EXPECT_NE(Write().find("\r\n\r\n5\xE2\x82\xAC\r\n"), std::string::npos);
}

TEST_F(MimeMessageTest, MissingOrEmptyBodyFileKeepsThePartHeaderOnly) {
  message_.body_kind = u"txt";
  message_.body_file = folder_ / "absent.txt";
  const std::string expected = "Subject: \r\n" + std::string(kMimeBlock) +
                               std::string(kTextPartHeader) + "\r\n" + std::string(kClosingLine);
  EXPECT_EQ(Write(), expected);
  SetBody(u"txt", "");
  EXPECT_EQ(Write(), expected);
}

TEST_F(MimeMessageTest, OnlyExistingAttachmentsStartAPart) {
  SetBody(u"txt", "body");
  Store(folder_ / "a.bin", "AB");
  message_.attachment_list =
      (folder_ / "a.bin").u16string() + u";" + (folder_ / "missing.bin").u16string() + u";";
  const std::string text = Write();
  const std::string tail = "body\r\n" + std::string(kBoundaryLine) + std::string(kPreambleLine) +
                           std::string(kBoundaryLine) + "Content-Type: application/octet-stream;";
  EXPECT_NE(text.find(tail), std::string::npos);
  EXPECT_EQ(Count(text, kBoundaryLine), 3u);
  EXPECT_TRUE(text.ends_with("QUI=\r\n\r\n" + std::string(kClosingLine)));

  // A list that names no existing file still writes the boundary and the preamble once.
  message_.attachment_list = (folder_ / "missing.bin").u16string() + u";;";
  EXPECT_TRUE(Write().ends_with("body\r\n" + std::string(kBoundaryLine) +
                                std::string(kPreambleLine) + std::string(kClosingLine)));
}

TEST_F(MimeMessageTest, ReplacesAnOldFileAndFailsSilentlyWithoutAFolder) {
  Store(message_.message_path, std::string(10000, 'z'));
  SetBody(u"txt", "new");
  EXPECT_EQ(Write().find('z'), std::string::npos);

  message_.message_path = root_ / "no-such-folder" / "x.eml";
  WriteEmlFile(message_);
  EXPECT_FALSE(fs::exists(message_.message_path));
}

// ---- The helpers the export shares ----

TEST(MimeHelpersTest, WidenBytesReadsLatin1AndSkipsZeros) {
  EXPECT_EQ(WidenBytes(nullptr, 4), u"");
  EXPECT_EQ(WidenBytes("abc", 0), u"");
  EXPECT_EQ(WidenBytes("abc", -1), u"");
  EXPECT_EQ(WidenBytes("H\0i\0", 4), u"Hi");
  EXPECT_EQ(WidenBytes("\xE9\x80\xFF", 2), u"\u00E9\u0080");
  EXPECT_EQ(WidenBytes("\xFF", 1), u"\u00FF");
}

TEST(MimeHelpersTest, SplitTextAlwaysAddsTheRestAsLastPiece) {
  using Pieces = std::vector<std::string>;
  EXPECT_EQ(SplitText("a,b,", ","), (Pieces{"a", "b", ""}));
  EXPECT_EQ(SplitText("a,b", ","), (Pieces{"a", "b"}));
  EXPECT_EQ(SplitText("abc", ";"), (Pieces{"abc"}));
  EXPECT_EQ(SplitText("", ";"), (Pieces{""}));
  EXPECT_EQ(SplitText(";;", ";"), (Pieces{"", "", ""}));
  EXPECT_EQ(SplitText("a--b---c", "--"), (Pieces{"a", "b", "-c"}));
  EXPECT_EQ(SplitText("a,b", ""), (Pieces{"a,b"}));
}

TEST(MimeEncodingTest, Base64MatchesTheStandardVectorsInLinesOf76) {
  EXPECT_EQ(Base64Lines(""), "");
  EXPECT_EQ(Base64Lines("f"), "Zg==\r\n");
  EXPECT_EQ(Base64Lines("fo"), "Zm8=\r\n");
  EXPECT_EQ(Base64Lines("foobar"), "Zm9vYmFy\r\n");
  EXPECT_EQ(Base64Lines(std::string("\0\xFF", 2)), "AP8=\r\n");
  const std::string lines = Base64Lines(std::string(58, 'a'));
  ASSERT_EQ(lines.find("\r\n"), 76u);
  EXPECT_EQ(lines.substr(78), "YQ==\r\n");
}

TEST(MimeEncodingTest, PlainHeaderTextIsKeptAndOtherTextEncoded) {
  EXPECT_EQ(EncodeHeaderText(u"Re: plain, text  "), u"Re: plain, text  ");
  EXPECT_EQ(EncodeAddressHeader(u"A <a@b.c>,"), u"A <a@b.c>,");
  // Only the run of words that need it is encoded; the ASCII words around it stay.
  EXPECT_EQ(EncodeHeaderText(u"Re: \u00E9 x"), u"Re: =?utf-8?B?w6k=?= x");
  // The address stays outside the encoded-word and apart from it.
  EXPECT_EQ(EncodeAddressHeader(u"\u00E9<e@x.org>,B<b@x.org>,"),
            u"=?utf-8?B?w6k=?= <e@x.org>,B<b@x.org>,");
  // Control characters are no header text either.
  EXPECT_FALSE(IsPlainHeaderText(u"a\x01"));
  EXPECT_TRUE(IsPlainHeaderText(u"a\tb ~"));
}

TEST(MimeEncodingTest, FileNameParametersQuotePlainNamesAndEncodeOthers) {
  EXPECT_EQ(FileNameParameter(u"filename", u"a \"b\"\\c.txt"),
            u"\tfilename=\"a \\\"b\\\"\\\\c.txt\"");
  EXPECT_EQ(FileNameParameter(u"filename", u"\u00E9 1.txt"), u"\tfilename*=utf-8''%C3%A9%201.txt");
  // Long names continue on numbered lines, and no %XX triplet is cut.
  const std::u16string parameter = FileNameParameter(u"filename", std::u16string(40, u'\u0436'));
  EXPECT_NE(parameter.find(u"\tfilename*0*=utf-8''%D0%B6"), std::u16string::npos);
  EXPECT_NE(parameter.find(u";\r\n\tfilename*1*=%"), std::u16string::npos);
  EXPECT_EQ(EncodedWordParameter(u"name", u"\u00E9"), u"\tname=\"=?utf-8?B?w6k=?=\"");
}

TEST(ContentTypeTest, BuiltInListThenSystemTableThenOctetStream) {
  const fs::path table =
      fs::temp_directory_path() / ("tarvex_mime_types_" + std::to_string(getpid()));
  {
    std::ofstream out(table);
    out << "# comment pdf\n"
           "application/x-foo\tfoo bar\n"
           "message/rfc822 eml\n"
           "text/bad;type baz\n"
           "application/x-fake-pdf pdf\n";
  }
  EXPECT_EQ(ContentTypeForFileName(u"Report.PDF", table), u"application/pdf");
  EXPECT_EQ(ContentTypeForFileName(u"photo.jpeg", table), u"image/jpeg");
  EXPECT_EQ(ContentTypeForFileName(u"data.bar", table), u"application/x-foo");
  EXPECT_EQ(ContentTypeForFileName(u"mail.eml", table), u"application/octet-stream");
  EXPECT_EQ(ContentTypeForFileName(u"x.baz", table), u"application/octet-stream");
  EXPECT_EQ(ContentTypeForFileName(u"noextension", table), u"application/octet-stream");
  EXPECT_EQ(ContentTypeForFileName(u"dot.", table), u"application/octet-stream");
  EXPECT_EQ(ContentTypeForFileName(u"x.bar", fs::path("/nonexistent/mime.types")),
            u"application/octet-stream");
  fs::remove(table);
}

}  // namespace
}  // namespace tarvex
