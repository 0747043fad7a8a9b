#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/utf_conversion.h"
#include "mime_message_fixture.h"
#include "output/content_type_table.h"
#include "output/mime_encoding.h"
#include "output/mime_message_writer.h"

namespace tarvex {
namespace {

// ---- The layout, byte for byte, for ASCII input ----

TEST_F(MimeMessageTest, WritesTheHeaderBlockAndOneTextPart) {
  message_.from = u"Alice Smith <alice@example.com>";
  message_.to = u"Carol<carol@example.com>,Dan [dan@example.com]";
  message_.cc = u"frank@example.com";
  message_.date = u"Jan,05 2010 09:03:07";
  message_.subject = u"Quarterly report - final?";
  message_.item_id = u"1-2A/0001";
  message_.transport_headers =
      u"Microsoft Mail Internet Headers Version 2.0\r\n"
      u"Received: from a\r\n by b\r\nContent-Type: text/html\r\nReply-To: r@example.com\r\n"
      u"To: other@example.com\r\nIn-Reply-To: <parent@example.com>\r\n\r\nNot: a header\r\n";
  SetBody(u"rtf", "Hello\nWorld");

  EXPECT_EQ(Write(),
            "From: \"Alice Smith\" <alice@example.com>\r\n"
            // The delivered list stands for the item's own.
            "To: other@example.com\r\n"
            "Cc: frank@example.com\r\n"
            "Date: Tue, 05 Jan 2010 09:03:07 +0000\r\n"
            "Subject: Quarterly report - final?\r\n"
            "Message-ID: <item-1-2A-0001@recovered.tarvex.invalid>\r\n"
            "In-Reply-To: <parent@example.com>\r\n"
            "Received: from a by b\r\n"
            "Reply-To: r@example.com\r\n"
            "MIME-Version: 1.0\r\n"
            "X-MimeOLE: Produced By Tarvex Mailbox Rescue\r\n"
            "Content-Type: text/plain; charset=\"utf-8\"\r\n"
            "Content-Transfer-Encoding: 7bit\r\n\r\n"
            "Hello\r\nWorld");

  // A stored message id wins over the derived one; a message with an attachment is
  // multipart/mixed without a preamble.
  message_.message_id = u"abc@mail.example.com";
  message_.transport_headers.clear();
  Store(folder_ / "a.txt", "hi");
  message_.attachment_list = (folder_ / "a.txt").u16string() + u";";
  const std::string text = Write();
  EXPECT_NE(text.find("Message-ID: <abc@mail.example.com>\r\n"), std::string::npos);
  EXPECT_NE(text.find("Content-Type: multipart/mixed;\r\n\tboundary=\"----=_NextPart_000_000D_"
                      "01C2A06C.7F8E75B0\"\r\n\r\n" +
                      std::string(kBoundaryLine) + "Content-Type: text/plain"),
            std::string::npos);
  EXPECT_EQ(Count(text, kBoundaryLine), 2u);
  EXPECT_TRUE(text.ends_with(kClosingLine));
}

TEST_F(MimeMessageTest, AddressListsAreReadInEveryFormAndWrittenValid) {
  struct Case {
    std::u16string listed;
    std::string header;  // the From line's value; empty: no From line
  };
  const Case cases[] = {
      {u"Carla Rossi<carla.rossi@example.com,><carla.rossi@example.com,>",
       "\"Carla Rossi\" <carla.rossi@example.com>"},
      {u"Tarvex blog <>", "\"Tarvex blog\" : ;"},
      {u"Tarvex blog", "\"Tarvex blog\" : ;"},
      {u"a@x.org, ,b@y.org,", "a@x.org,\r\n b@y.org"},
      {u"\"Rossi, Carla\" <c@x.org>; SMTP:d@x.org", "\"Rossi, Carla\" <c@x.org>,\r\n d@x.org"},
      {u"Name [n@x.org] [m@x.org]", "\"Name\" <n@x.org>,\r\n m@x.org"},
      {u"Eva M\u00fcller <e@x.org>", "Eva =?utf-8?B?TcO8bGxlcg==?= <e@x.org>"},
      {u"  ", ""},
  };
  SetBody(u"txt", "x");
  for (const Case& entry : cases) {
    message_.from = entry.listed;
    const std::string text = Write();
    const std::string expected =
        entry.header.empty() ? "Subject: " : "From: " + entry.header + "\r\nSubject: ";
    EXPECT_TRUE(text.starts_with(expected)) << Utf16ToUtf8(entry.listed) << "\n" << text;
  }
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
