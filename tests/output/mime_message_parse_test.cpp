#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/utf_conversion.h"
#include "mime_message_fixture.h"
#include "output/mime_message_writer.h"

namespace tarvex {
namespace {

// Python's parser keeps the file's line ends in text parts; compare the text, not them.
std::string Lines(std::string text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out.push_back(c);
  }
  return out;
}

TEST_F(MimeMessageTest, NonAsciiHeadersBodyAndAttachmentsComeBackWhole) {
  message_.from = u"Иван Петров <ivan@example.com>";
  message_.to = u"Wang Wei 王伟<wang@example.cn>, Мария<maria@example.ru>,";
  message_.cc = u"田中 太郎 <tanaka@example.jp>";
  message_.subject = u"Отчёт за квартал — 季度报告 (final)";
  message_.date = u"1,05 2010 09:03:07";
  message_.transport_headers =
      u"Reply-To: \"Eva M\u00fcller\" <eva@example.com>\r\nX-Note: Gr\u00fc\u00dfe aus "
      u"Z\u00fcrich\r\n";
  const std::u16string body = u"Привет, мир!\r\nВторая строка";
  SetBody(u"txt", EncodeUtf16Le(body), BodyFileEncoding::kUtf16Le);

  std::string binary;
  for (int i = 0; i < 600; ++i) binary.push_back(static_cast<char>(i % 7 == 0 ? 0 : i * 31));
  Store(folder_ / "data.bin", binary);
  const fs::path named = folder_ / fs::path(Utf16ToUtf8(u"отчёт 2010 年.pdf"));
  const std::string pdf("%PDF-1.4\n\0\x01", 11);
  Store(named, pdf);
  message_.attachment_list =
      (folder_ / "data.bin").u16string() + u";" + Utf8ToUtf16(named.string()) + u";";

  const json parsed = Parse();
  ASSERT_TRUE(parsed.is_object());
  EXPECT_EQ(parsed["defects"], json::array());
  EXPECT_EQ(Header(parsed, "From"), "Иван Петров <ivan@example.com>");
  EXPECT_EQ(parsed["addresses"]["From"], json::parse(R"([["Иван Петров","ivan@example.com"]])"));
  EXPECT_EQ(parsed["addresses"]["To"],
            json::parse(R"([["Wang Wei 王伟","wang@example.cn"],["Мария","maria@example.ru"]])"));
  EXPECT_EQ(parsed["addresses"]["Cc"], json::parse(R"([["田中 太郎","tanaka@example.jp"]])"));
  EXPECT_EQ(Header(parsed, "Reply-To"), "Eva Müller <eva@example.com>");
  EXPECT_EQ(Header(parsed, "X-Note"), "Grüße aus Zürich");
  EXPECT_EQ(Header(parsed, "Subject"), "Отчёт за квартал — 季度报告 (final)");
  EXPECT_EQ(Header(parsed, "Date"), "Tue, 05 Jan 2010 09:03:07 +0000");
  EXPECT_EQ(parsed["body_type"], "text/plain");
  EXPECT_EQ(Lines(parsed["body"]), Lines(Utf16ToUtf8(body)));

  ASSERT_EQ(parsed["attachments"].size(), 2u);
  EXPECT_EQ(parsed["attachments"][0]["filename"], "data.bin");
  EXPECT_EQ(parsed["attachments"][0]["content_type"], "application/octet-stream");
  EXPECT_EQ(parsed["attachments"][0]["data"], Hex(binary));
  EXPECT_EQ(parsed["attachments"][1]["filename"], "отчёт 2010 年.pdf");
  EXPECT_EQ(parsed["attachments"][1]["content_type"], "application/pdf");
  EXPECT_EQ(parsed["attachments"][1]["data"], Hex(pdf));
}

TEST_F(MimeMessageTest, BodyFilesAreReadInTheirOwnEncoding) {
  const std::string cjk = "季度报告\r\n第二行";
  SetBody(u"html", cjk, BodyFileEncoding::kUtf8);
  EXPECT_EQ(Lines(Parse()["body"]), Lines(cjk));
  // Unknown encodings are recognised: well-formed UTF-8, a byte-order mark, else 1252.
  SetBody(u"txt", cjk);
  EXPECT_EQ(Lines(Parse()["body"]), Lines(cjk));
  SetBody(u"txt", "\xFF\xFE" + EncodeUtf16Le(u"Ёлка"));
  EXPECT_EQ(Parse()["body"], "Ёлка");
  // Stored UTF-16LE without a mark: the blanks' zero high bytes give it away.
  SetBody(u"txt", EncodeUtf16Le(u"Новый год, 2010 г."));
  EXPECT_EQ(Parse()["body"], "Новый год, 2010 г.");
  SetBody(u"txt", "caf\xE9 cr\xE8me");
  const json parsed = Parse();
  EXPECT_EQ(parsed["body"], "café crème");
  EXPECT_EQ(parsed["body_type"], "text/plain");
}

TEST_F(MimeMessageTest, LongNonAsciiValuesAreFoldedAndReadBack) {
  std::u16string subject;
  for (int i = 0; i < 12; ++i) subject += u"Длинная тема письма ";
  message_.subject = subject;
  std::u16string received = u"from";
  for (int i = 0; i < 30; ++i)
    received +=
        u" relay" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u".example.com";
  message_.transport_headers = u"Received: " + received + u"\r\n";
  SetBody(u"txt", "x");
  std::u16string name;
  for (int i = 0; i < 6; ++i) name += u"документ_";
  name += u".docx";
  const fs::path attachment = folder_ / fs::path(Utf16ToUtf8(name));
  Store(attachment, "PK");
  message_.attachment_list = Utf8ToUtf16(attachment.string()) + u";";

  const json parsed = Parse();
  EXPECT_EQ(Header(parsed, "Subject"), Utf16ToUtf8(subject));
  EXPECT_EQ(Header(parsed, "Received"), Utf16ToUtf8(received));
  ASSERT_EQ(parsed["attachments"].size(), 1u);
  EXPECT_EQ(parsed["attachments"][0]["filename"], Utf16ToUtf8(name));
  const std::string text = Load(message_.message_path);
  for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    EXPECT_LT(end - start, 100u) << text.substr(start, end - start);
  }
}

TEST_F(MimeMessageTest, ALineBreakInAValueCannotAddAHeader) {
  message_.subject = u"Hello\r\nBcc: victim@example.com";
  message_.from = u"Mallory <m@example.com>\nX-Injected: 1";
  message_.date = u"today\r\n\r\nbody";
  SetBody(u"txt", "x");
  const json parsed = Parse();
  for (const json& header : parsed["headers"]) {
    EXPECT_NE(header[0], "Bcc");
    EXPECT_NE(header[0], "X-Injected");
  }
  EXPECT_EQ(Header(parsed, "Subject"), "Hello  Bcc: victim@example.com");
  EXPECT_EQ(parsed["addresses"]["From"], json::parse(R"([["Mallory","m@example.com"]])"));
  EXPECT_EQ(Header(parsed, "Date"), "<absent>");
  EXPECT_EQ(parsed["body"], "x");
}

TEST_F(MimeMessageTest, ALineTooLongForMailIsSentAsBase64) {
  const std::string line(998, 'a');
  SetBody(u"html", line + "\r\n" + line);
  EXPECT_NE(Write().find("Content-Transfer-Encoding: 7bit"), std::string::npos);
  const std::string body = "x\r\n" + line + "b";
  SetBody(u"html", body);
  const json parsed = Parse();
  EXPECT_NE(Load(message_.message_path).find("Content-Transfer-Encoding: base64"),
            std::string::npos);
  EXPECT_EQ(Lines(parsed["body"]), Lines(body));
}

TEST_F(MimeMessageTest, ABodyHoldingTheBoundaryStaysOnePart) {
  const std::string body = "before\r\n" + std::string(kBoundaryLine) +
                           "Content-Type: text/html\r\n\r\nfake\r\n" + std::string(kClosingLine) +
                           "after";
  SetBody(u"txt", body);
  const json parsed = Parse();
  EXPECT_EQ(parsed["parts"], 0);
  EXPECT_EQ(Lines(parsed["body"]), Lines(body));
  EXPECT_NE(Load(message_.message_path).find("Content-Transfer-Encoding: base64"),
            std::string::npos);
}

// Outside the folder, missing, a folder, or the message file itself (which would grow while
// being read).
TEST_F(MimeMessageTest, AttachmentsOutsideTheFolderOrMissingAreSkipped) {
  SetBody(u"txt", "x");
  Store(root_ / "outside.txt", "secret");
  fs::create_directories(folder_ / "sub");
  fs::create_symlink(root_ / "outside.txt", folder_ / "link.txt");
  Store(folder_ / "say \"hi\".txt", "");
  const std::u16string folder = folder_.u16string();
  message_.attachment_list = u"../../etc/passwd;" + folder + u"/../outside.txt;" +
                             (root_ / "outside.txt").u16string() + u";" + folder + u"/link.txt;" +
                             folder + u"/sub;" + folder + u"/missing.txt;;" +
                             message_.message_path.u16string() + u";" + folder +
                             u"/say \"hi\".txt;" + folder + u"/ignored-last-piece.txt";
  Store(folder_ / "ignored-last-piece.txt", "not listed");

  const json parsed = Parse();
  ASSERT_EQ(parsed["attachments"].size(), 1u) << parsed.dump();
  EXPECT_EQ(parsed["attachments"][0]["filename"], "say \"hi\".txt");
  EXPECT_EQ(parsed["attachments"][0]["content_type"], "text/plain");
  EXPECT_EQ(parsed["attachments"][0]["data"], "");
  EXPECT_EQ(Load(message_.message_path).find("secret"), std::string::npos);
}

}  // namespace
}  // namespace tarvex
