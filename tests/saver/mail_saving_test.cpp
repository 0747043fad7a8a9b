// The mailsaving program on mail manifests, its mbox read back by Python's mailbox and email.

#include <glib.h>
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>

#include "base/code_page_1252.h"
#include "base/utf_conversion.h"
#include "saver_test_files.h"

namespace tarvex::testing {
namespace {

std::string Base64(std::string_view bytes) {
  std::unique_ptr<gchar, decltype(&g_free)> encoded(
      g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size()), g_free);
  return encoded.get();
}

nlohmann::json ReadMbox(const std::filesystem::path& mbox) {
  int exit_code = 0;
  const std::string output =
      testing::RunForOutput({PYTHON_PROGRAM, READ_MBOX_SCRIPT, mbox.string()}, exit_code);
  EXPECT_EQ(exit_code, 0) << output;
  return exit_code == 0 ? nlohmann::json::parse(output) : nlohmann::json::array();
}

// A working folder, an output folder and the manifest of one mail item, as the export leaves
// them: the message file holds only "From: " and the sender in Windows-1252.
class MailSavingTest : public testing::SaverFolderTest {
 protected:
  MailSavingTest() : SaverFolderTest("Inbox") {
    WriteFile(work_ / "1a2b.eml", "From: " + Utf16ToWindows1252(u"Zoë Ärger <zoe@example.com>"));
  }

  ManifestLines Lines(std::u16string body_file, std::u16string type, std::u16string attachments) {
    const std::u16string folder = Text(box_);
    return {{u"exFolderPath:", folder},
            {u"FolderPath:", folder},
            {u"ATTA:", attachments},
            {u"SUBJECT:", u"Отчёт 報告 Q1"},
            {u"TO:", u"Bob Brown<bob@example.com>,Ирина<irina@example.ru>,"},
            {u"CC:", u"Carl [carl@example.org], dave@example.net"},
            {u"BCC:", u"Eve [eve@example.com]"},
            {u"TYPE:", type},
            {u"DATE:", u"Jan,05 2010 09:03:07"},
            {u"PATH:", Text(work_ / "1a2b.eml")},
            {u"BPATH:", body_file}};
  }
};

TEST_F(MailSavingTest, EveryFieldBodyAndAttachmentComesBack) {
  const std::u16string body = u"Здравствуйте,\r\nFrom the report:\r\n>From quoted\r\n中文 end";
  WriteFile(work_ / "textbody.txt", EncodeUtf16Le(body));
  std::string binary;
  for (int i = 0; i < 3000; ++i) binary.push_back(static_cast<char>(i * 7 % 256));
  binary += std::string(10, '\0');
  WriteFile(work_ / "Übersicht.bin", binary);
  WriteFile(work_ / "пустой.dat", std::string("\0\0\0\x01", 4));
  const std::u16string attachments =
      Text(work_ / "Übersicht.bin") + u";" + Text(work_ / "пустой.dat") + u";";
  WriteManifest(Lines(Text(work_ / "textbody.txt"), u"txt", attachments));

  const testing::SaverRun run = RunSaver("mailimport", scratch_.path());
  ASSERT_EQ(run.exit_code, 0) << run.standard_error;

  const nlohmann::json messages = ReadMbox(box_ / "mail.mbox");
  ASSERT_EQ(messages.size(), 1u);
  const nlohmann::json& m = messages[0];
  EXPECT_EQ(m["from"], Utf16ToUtf8(u"Zoë Ärger <zoe@example.com>"));
  EXPECT_NE(m["envelope"].get<std::string>().find("zoe@example.com"), std::string::npos);
  EXPECT_EQ(m["to"], nlohmann::json({"bob@example.com", "irina@example.ru"}));
  EXPECT_EQ(m["to_names"], nlohmann::json({"Bob Brown", Utf16ToUtf8(u"Ирина")}));
  EXPECT_EQ(m["cc"], nlohmann::json({"carl@example.org", "dave@example.net"}));
  EXPECT_EQ(m["bcc"], nlohmann::json({"eve@example.com"}));
  EXPECT_EQ(m["subject"], Utf16ToUtf8(u"Отчёт 報告 Q1"));
  EXPECT_EQ(m["date"], "2010-01-05T09:03:07+00:00");
  ASSERT_EQ(m["parts"].size(), 1u);
  EXPECT_EQ(m["parts"][0]["type"], "text/plain");
  EXPECT_EQ(m["parts"][0]["text"],
            Utf16ToUtf8(u"Здравствуйте,\nFrom the report:\n>From quoted\n中文 end"));
  ASSERT_EQ(m["attachments"].size(), 2u);
  EXPECT_EQ(m["attachments"][0]["name"], Utf16ToUtf8(u"Übersicht.bin"));
  EXPECT_EQ(m["attachments"][0]["data"], Base64(binary));
  EXPECT_EQ(m["attachments"][1]["name"], Utf16ToUtf8(u"пустой.dat"));
  EXPECT_EQ(m["attachments"][1]["data"], Base64(std::string("\0\0\0\x01", 4)));
}

TEST_F(MailSavingTest, FromLinesOfA7BitBodyAreQuoted) {
  const std::u16string body = u"Dear Bob,\r\nFrom the report:\r\n>From quoted\r\nFrom";
  WriteFile(work_ / "textbody.txt", EncodeUtf16Le(body));
  WriteManifest(Lines(Text(work_ / "textbody.txt"), u"txt", u""));
  const testing::SaverRun run = RunSaver("mailimport", scratch_.path());
  ASSERT_EQ(run.exit_code, 0) << run.standard_error;
  const std::string raw = FileText(box_ / "mail.mbox");
  EXPECT_NE(raw.find("\n>From the report:\n"), std::string::npos) << raw;
  EXPECT_NE(raw.find("\n>>From quoted\n"), std::string::npos) << raw;
  EXPECT_EQ(raw.find("\nFrom the report"), std::string::npos) << raw;
  const nlohmann::json messages = ReadMbox(box_ / "mail.mbox");
  ASSERT_EQ(messages.size(), 1u);
  // An mbox message always ends with a line end: the last line gains one.
  EXPECT_EQ(messages[0]["parts"][0]["text"], "Dear Bob,\nFrom the report:\n>From quoted\nFrom\n");
  EXPECT_NE(raw.find("\nFrom\n"), std::string::npos) << "only \"From \" is quoted";

  // Records with the lines added later: the exact subject wins over the cleaned one, and a
  // whole message file is appended as it is, its CR LF lines as LF and quoted the same way.
  ManifestLines exact = Lines(Text(work_ / "textbody.txt"), u"txt", u"");
  exact.push_back({u"EXACTSUBJECT:", u"Re: Q-1 \u2014 final?"});
  exact.push_back({u"MESSAGEFILE:", u""});
  WriteManifest(exact);
  ASSERT_EQ(RunSaver("mailimport", scratch_.path()).exit_code, 0);
  WriteFile(work_ / "1a2b.message.eml",
            "From: \"Zo\" <zoe@example.com>\r\nSubject: Whole\r\nMIME-Version: 1.0\r\n\r\n"
            "Dear Bob,\r\nFrom the report:\r\n>From quoted\r\n");
  exact.back().second = Text(work_ / "1a2b.message.eml");
  WriteManifest(exact);
  ASSERT_EQ(RunSaver("mailimport", scratch_.path()).exit_code, 0);
  const std::string both = FileText(box_ / "mail.mbox");
  EXPECT_EQ(both.find('\r'), std::string::npos);
  const nlohmann::json three = ReadMbox(box_ / "mail.mbox");
  ASSERT_EQ(three.size(), 3u);
  EXPECT_EQ(three[1]["subject"], Utf16ToUtf8(u"Re: Q-1 \u2014 final?"));
  EXPECT_EQ(three[2]["subject"], "Whole");
  EXPECT_EQ(three[2]["parts"][0]["text"], "Dear Bob,\nFrom the report:\n>From quoted\n");
  // One blank line after the message, as after every other one.
  EXPECT_TRUE(both.ends_with("\n>>From quoted\n\n") && !both.ends_with("\n\n\n")) << both;
}

TEST_F(MailSavingTest, HtmlAndConvertedRtfBodiesAndTwoAppends) {
  const std::u16string html = u"<html><body><p>Привет <b>мир</b> 中文</p></body></html>";
  WriteFile(work_ / "htmlbody.html", Utf16ToUtf8(html));
  WriteManifest(Lines(Text(work_ / "htmlbody.html"), u"html", u""));
  testing::SaverRun run = RunSaver("mailimport", scratch_.path());
  ASSERT_EQ(run.exit_code, 0) << run.standard_error;

  // The RTF route leaves the converted plain text in UTF-8.
  WriteFile(work_ / "rtfbody.txt", Utf16ToUtf8(u"Converted from RTF: Ωμέγα\r\nline 2"));
  WriteManifest(Lines(Text(work_ / "rtfbody.txt"), u"rtf", u""));
  run = RunSaver("mailimport", scratch_.path());
  ASSERT_EQ(run.exit_code, 0) << run.standard_error;

  const nlohmann::json messages = ReadMbox(box_ / "mail.mbox");
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0]["parts"][0]["type"], "text/html");
  EXPECT_EQ(messages[0]["parts"][0]["text"], Utf16ToUtf8(html));
  EXPECT_EQ(messages[1]["parts"][0]["type"], "text/plain");
  EXPECT_EQ(messages[1]["parts"][0]["text"], Utf16ToUtf8(u"Converted from RTF: Ωμέγα\nline 2"));
  EXPECT_EQ(messages[1]["subject"], messages[0]["subject"]);
  EXPECT_TRUE(messages[1]["attachments"].empty());
}

TEST_F(MailSavingTest, FallbackBodyAndAMissingAttachment) {
  // No body route found a body: "tempbody.txt" in UTF-8, possibly empty.
  WriteFile(work_ / "tempbody.txt", "");
  ManifestLines lines =
      Lines(Text(work_ / "tempbody.txt"), u"txt", Text(work_ / "gone.bin") + u";");
  lines[3].second = u"";
  lines[8].second = u"";
  WriteManifest(lines);
  const testing::SaverRun run = RunSaver("mailimport", scratch_.path());
  ASSERT_EQ(run.exit_code, 0) << run.standard_error;
  EXPECT_NE(run.standard_error.find("gone.bin"), std::string::npos) << "the loss is reported";
  const nlohmann::json messages = ReadMbox(box_ / "mail.mbox");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0]["parts"][0]["text"], "");
  EXPECT_EQ(messages[0]["subject"], "");
  EXPECT_EQ(messages[0]["date"], "");
  EXPECT_TRUE(messages[0]["attachments"].empty());
}

TEST_F(MailSavingTest, JoinsAnMboxOfAnotherWriterAndReadsOnlyTheSenderLine) {
  std::filesystem::create_directories(box_);
  WriteFile(box_ / "mail.mbox", "From a@b.c Mon Jan  4 10:00:00 2010\nSubject: old\n\nold body");
  // The sender file was not rewritten: it is still the whole message written first.
  WriteFile(work_ / "1a2b.eml", "From: Ann <ann@example.com>\r\nTo: x@example.com\r\n\r\nbody");
  WriteFile(work_ / "tempbody.txt", "new body");
  ManifestLines lines = Lines(Text(work_ / "tempbody.txt"), u"txt", u"");
  lines[4].second = u"undisclosed recipients";
  lines[3].second = u"Line one\r\nBcc: evil@example.com";
  WriteManifest(lines);
  const testing::SaverRun run = RunSaver("mailimport", scratch_.path());
  ASSERT_EQ(run.exit_code, 0) << run.standard_error;
  const nlohmann::json messages = ReadMbox(box_ / "mail.mbox");
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0]["subject"], "old");
  EXPECT_EQ(messages[1]["from"], "Ann <ann@example.com>");
  EXPECT_TRUE(messages[1]["to"].empty());
  EXPECT_EQ(messages[1]["subject"], "Line one Bcc: evil@example.com");
  EXPECT_EQ(messages[1]["bcc"], nlohmann::json({"eve@example.com"}));
  EXPECT_EQ(messages[1]["parts"][0]["text"], "new body\n");
  EXPECT_NE(FileText(box_ / "mail.mbox").find("undisclosed recipients"), std::string::npos);
}

TEST_F(MailSavingTest, TheManifestIsFoundNextToTheProgram) {
  // As the recovery program lays it out: the saver in its own folder, the manifest beside it.
  const std::filesystem::path program_folder = scratch_.path() / "program";
  std::filesystem::create_directories(program_folder);
  std::filesystem::copy_file(MAILSAVING_PROGRAM, program_folder / "mailsaving");
  WriteFile(work_ / "tempbody.txt", "next to the program");
  WriteFile(program_folder / "mailsaving.txt",
            ManifestBytes(Lines(Text(work_ / "tempbody.txt"), u"txt", u"")));
  int exit_code = -1;
  const std::string output =
      testing::RunForOutput({(program_folder / "mailsaving").string(), "mailimport"}, exit_code);
  ASSERT_EQ(exit_code, 0) << output;
  const nlohmann::json messages = ReadMbox(box_ / "mail.mbox");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0]["parts"][0]["text"], "next to the program\n");
}

TEST_F(MailSavingTest, ADamagedManifestChangesNothing) {
  WriteFile(work_ / "tempbody.txt", "body");
  WriteManifest(Lines(Text(work_ / "tempbody.txt"), u"txt", u""));
  ASSERT_EQ(RunSaver("mailimport", scratch_.path()).exit_code, 0);
  const std::string before = FileText(box_ / "mail.mbox");

  ManifestLines missing = Lines(Text(work_ / "tempbody.txt"), u"txt", u"");
  missing.erase(missing.begin() + 7);  // no TYPE:
  ManifestLines swapped = Lines(Text(work_ / "tempbody.txt"), u"txt", u"");
  std::swap(swapped[5], swapped[6]);
  const std::string good = ManifestBytes(Lines(Text(work_ / "tempbody.txt"), u"txt", u""));
  const std::string damaged[] = {ManifestBytes(missing), ManifestBytes(swapped), good + "\x41",
                                 good.substr(2)};
  for (const std::string& bytes : damaged) {
    WriteFile(scratch_.path() / "mailsaving.txt", bytes);
    const testing::SaverRun run = RunSaver("mailimport", scratch_.path());
    EXPECT_NE(run.exit_code, 0);
    EXPECT_NE(run.standard_error.find("mailsaving.txt"), std::string::npos) << run.standard_error;
    EXPECT_EQ(FileText(box_ / "mail.mbox"), before);
  }
  // No manifest at all, and a manifest of another kind than the parameter says.
  std::filesystem::remove(scratch_.path() / "mailsaving.txt");
  EXPECT_NE(RunSaver("mailimport", scratch_.path()).exit_code, 0);
  WriteFile(scratch_.path() / "mailsaving.txt", good);
  EXPECT_NE(RunSaver("contact", scratch_.path()).exit_code, 0);
  EXPECT_NE(RunSaver("distlist", scratch_.path()).exit_code, 0);
  EXPECT_EQ(FileText(box_ / "mail.mbox"), before);
  EXPECT_FALSE(std::filesystem::exists(box_ / "contacts.vcf"));
}

TEST_F(MailSavingTest, AFolderPathCannotClimbOutOfTheOutputFolder) {
  WriteFile(work_ / "tempbody.txt", "body");
  ManifestLines lines = Lines(Text(work_ / "tempbody.txt"), u"txt", u"");
  const std::u16string climbing = Text(scratch_.path() / "out") + u"/Mailbox/../../../escaped";
  lines[0].second = climbing;
  lines[1].second = climbing;
  WriteManifest(lines);
  ASSERT_EQ(RunSaver("mailimport", scratch_.path()).exit_code, 0);
  EXPECT_TRUE(std::filesystem::exists(scratch_.path() / "out/Mailbox/_/_/_/escaped/mail.mbox"));
  EXPECT_FALSE(std::filesystem::exists(scratch_.path().parent_path() / "escaped"));
}

}  // namespace
}  // namespace tarvex::testing
