// Previews of the older layout: every page writer over the "Msg" rows of a written store.

#include <gtest/gtest.h>

#include "base/page_policy.h"
#include "base/utf16_text.h"
#include "item_store_forge.h"
#include "output/header_page.h"
#include "output/preview.h"
#include "preview_fixture.h"
#include "support/test_files.h"
#include "tools/edbforge/encoding/rtf_compressor.h"

namespace tarvex::testing {
namespace {

namespace ef = edbforge;
namespace label = header_label;

constexpr std::initializer_list<std::u16string_view> kMsgColumns = {
    u"N67b0",  u"N67b3", u"S1000", u"N1013", u"N1009", u"S70",    u"N67b5", u"S810c",
    u"S81fd",  u"T818f", u"T60",   u"T812e", u"T814d", u"T61",    u"S80fd", u"S8201",
    u"MS80db", u"T800d", u"T8199", u"T8198", u"T811f", u"MN81d8", u"S82a0", u"S3001",
    u"S3a06",  u"S81b1", u"S802c", u"S3a2a", u"S809e", u"T3a42",  u"S3a11"};

enum Row : int {
  kTextMail,
  kNoBodyMail,
  kHtmlMail,
  kRtfMail,
  kT60Appointment,
  kUndatedAppointment,
  kTask,
  kNotes,
  kDistList,
  kContact,
  kActivity,
};

constexpr std::u16string_view kTextBody =
    u"Hi <script>alert(1)</script> gr\u00fc\u00dfe \U0001F600";

ef::Record MsgRow() {
  return ef::Record().Set(u"Id", std::int32_t{1});
}

void WriteOlderStore(const std::filesystem::path& path) {
  ef::EseDatabaseWriter writer(path, {4096, 20});
  writer.AddTable(ExchangeTable(u"Folders", {u"Q6748", u"S3001"}));
  ef::TableWriter& msg = writer.AddTable(ExchangeTable(u"Msg", kMsgColumns));
  msg.Append(MsgRow().Set(u"S1000", std::u16string(kTextBody)));
  msg.Append(MsgRow().Set(u"S70", std::u16string(u"Topic & more")));
  msg.Append(MsgRow().Set(u"N1013",
                          Utf8Bytes(u"<html><body><script>x()</script>Caf\u00e9</body></html>")));
  msg.Append(MsgRow().Set(u"N1009", ef::CompressRtf("{\\rtf1\\ansi Hello RTF\\par}")));
  msg.Append(MsgRow()
                 .Set(u"T60", FileTimeOf(2010, 1, 5, 9, 3, 7))
                 .Set(u"S810c", std::u16string(u"Room <1>"))
                 .Set(u"N67b5", Utf8Bytes("Ann SMTP ann@example.com")));
  msg.Append(MsgRow().Set(u"S81fd", std::u16string(u"Hall")));
  msg.Append(MsgRow()
                 .Add(u"MS80db", std::u16string(u"Work"))
                 .Add(u"MS80db", std::u16string(u"Home"))
                 .Set(u"T8198", FileTimeOf(2011, 2, 3, 4, 5, 6))
                 .Set(u"T811f", FileTimeOf(2011, 2, 2, 8, 0, 0)));
  msg.Append(MsgRow());
  msg.Append(MsgRow()
                 .Add(u"MN81d8", Utf8Bytes("Ann SMTPann@example.com"))
                 .Add(u"MN81d8", Utf8Bytes("<b>Bob</b> SMTPbob@example.com")));
  msg.Append(WithTexts(MsgRow(), {{u"S82a0", u"Full Name"},
                                  {u"S3001", u"Display Name"},
                                  {u"S3a06", u"Ann"},
                                  {u"S802c", u"ann@example.com"},
                                  {u"S3a2a", u"12345"}})
                 .Set(u"T3a42", FileTimeOf(1980, 12, 24, 0, 0, 0))
                 .Set(u"N67b5", Utf8Bytes("Ann Lee SMTP ann@example.com")));
  msg.Append(MsgRow().Set(u"S1000", std::u16string(u"journal")));

  ef::TableDefinition attachments =
      ExchangeTable(u"Attach", {u"Q3f88", u"S3001", u"S3704", u"N3701"});
  attachments.callback = std::u16string(kAttachmentCallbackName);
  ef::TableWriter& attach = writer.AddTable(attachments);
  attach.Append(MsgRow()
                    .Set(u"Q3f88", IdBytes(0x7001))
                    .Set(u"S3001", std::u16string(u"../../etc/passwd"))
                    .Set(u"N3701", Utf8Bytes("SECRET")));
  attach.Append(MsgRow()
                    .Set(u"Q3f88", IdBytes(0x7002))
                    .Set(u"S3001", std::u16string(u"report.pdf"))
                    .Set(u"N3701", Utf8Bytes("PDF")));
  writer.Finish();
}

class OlderPreview : public testing::PreviewTest {
 protected:
  void SetUp() override {
    Open(&WriteOlderStore);
    Recovery& recovery = store_->recovery();
    ASSERT_EQ(recovery.layout(), StoreLayout::kOlder);
    StoreSession& session = recovery.session();
    ASSERT_FALSE(session.attachment_table_name().empty());
    NamedTableHandlers handlers;
    handlers.attachment = [&recovery](const ese::Record* record, std::uint32_t number) {
      HandleAttachmentRow(recovery, record, number);
    };
    session.ScanNamedTable(session.attachment_table_name(), handlers, recovery.scan_context());
    ASSERT_EQ(recovery.model().attachment_rows.size(), 2u);
  }

  void Show(const ItemListRow& row) { ShowItemPreview(store_->recovery(), row); }
};

std::u16string Number(Row row) {
  return FromAscii(std::to_string(static_cast<int>(row)));
}

TEST_F(OlderPreview, MailWithTextBodyWritesEscapedPagesAndNavigates) {
  Show(ListRow(u"m1", u"mail", Number(kTextMail), u"", u"Ann [ann@example.com]", u"<b>&",
               u"Jan,05 2010 09:03:07", u"true", u"bob@example.com", u"carol@example.com"));

  EXPECT_EQ(Body().format, BodyFormat::kText);
  EXPECT_EQ(Body().file_path, work_ / "textbody.txt");
  EXPECT_EQ(UnmarkedText(work_ / "textbody.txt"), kTextBody);

  const std::u16string header = Header();
  EXPECT_TRUE(header.starts_with(u"<!DOCTYPE html>"));
  EXPECT_TRUE(header.ends_with(u"</table></body></html>"));
  EXPECT_EQ(header.find_first_of(u"\r\n"), std::u16string::npos);
  EXPECT_NE(header.find(u"<tr><th>From:</th><td>Ann [ann@example.com]</td>"
                        u"<th>Date:</th><td>Jan,05 2010 09:03:07</td></tr>"),
            std::u16string::npos);
  // The subject shows as typed and adds no markup.
  EXPECT_EQ(CellValue(header, label::kSubject), u"&lt;b&gt;&amp;");
  EXPECT_EQ(header.find(u"<b>&"), std::u16string::npos);
  EXPECT_EQ(CellValue(header, label::kMailTo), u"bob@example.com");
  // Cc without Bcc; the flag without an attachment list gives no Attachment row.
  EXPECT_NE(header.find(u"<tr><th>Cc:</th><td colspan='3'>carol@example.com</td></tr>"),
            std::u16string::npos);
  EXPECT_EQ(header.find(u"Bcc:"), std::u16string::npos);
  EXPECT_EQ(header.find(u"Attachment:"), std::u16string::npos);
  EXPECT_EQ(header.find(u"script"), std::u16string::npos);

  EXPECT_TRUE(Frameset().ends_with(
      u"</head><frameset rows='28%,*' border='0'><frame src='header.html'  "
      u"scrolling='auto' frameborder='1'><frame src='textbody.txt'></frameset></html>"));
  ASSERT_EQ(Window().navigations.size(), 1u);
  EXPECT_EQ(Window().navigations.back(), work_ / "strEmlPath.html");
  EXPECT_TRUE(Window().control_enabled[WindowControl::kFolderTree]);
  EXPECT_TRUE(Window().control_enabled[WindowControl::kItemList]);
}

TEST_F(OlderPreview, MailWithoutBodyShowsItsPlainBodiesAndTheTopic) {
  MailboxModel& model = store_->recovery().model();
  model.plain_bodies.PutAtFront({u"m2", u"first \u00e9 "});
  model.plain_bodies.PutAtFront({u"other", u"not mine"});
  model.plain_bodies.PutAtFront({u"m2", u"second"});
  Show(ListRow(u"m2", u"mail", Number(kNoBodyMail), u""));

  EXPECT_EQ(Body().format, BodyFormat::kNone);
  EXPECT_EQ(Body().file_path, work_ / "blank.txt");
  EXPECT_EQ(UnmarkedText(work_ / "blank.txt"), u"secondfirst \u00e9 ");
  EXPECT_EQ(CellValue(Header(), label::kSubject), u"Topic &amp; more");

  // Nothing kept for the item: an empty file, not the previous one.
  Show(ListRow(u"m3", u"mail", Number(kNoBodyMail), u""));
  EXPECT_EQ(FileText(work_ / "blank.txt"), "");
}

TEST_F(OlderPreview, HtmlAndRtfBodiesAreTakenWhenThereIsNoText) {
  Show(ListRow(u"m4", u"IPM.Note.Custom", Number(kHtmlMail), u""));
  EXPECT_EQ(Body().format, BodyFormat::kHtml);
  EXPECT_EQ(Body().file_path, work_ / "htmlbody.html");
  EXPECT_NE(FileText(work_ / "htmlbody.html").find("Caf\xC3\xA9"), std::string::npos);
  // Shown without its script; the message writers get the body as stored.
  EXPECT_EQ(FileText(work_ / "htmlbody.html").find("<script"), std::string::npos);
  EXPECT_EQ(Body().stored_path, work_ / "htmlbody.html.stored");
  EXPECT_NE(FileText(work_ / "htmlbody.html.stored").find("<script>x()</script>"),
            std::string::npos);
  EXPECT_NE(Frameset().find(u"<frame src='htmlbody.html'>"), std::u16string::npos);
  EXPECT_EQ(Header().find(u"script"), std::u16string::npos);

  Show(ListRow(u"m5", u"mail", Number(kRtfMail), u""));
  EXPECT_EQ(Body().format, BodyFormat::kText);
  EXPECT_EQ(Body().file_path, work_ / "rtfbody.txt");
  EXPECT_NE(FileText(work_ / "rtfbody.txt").find("Hello RTF"), std::string::npos);
}

TEST_F(OlderPreview, AttachmentsAreWrittenInsideTheWorkingFolder) {
  Show(ListRow(u"m6", u"mail", Number(kTextMail), u"0000000000007001 0000000000007002", u"Ann",
               u"files", u"", u"true"));
  const std::u16string names = CellValue(Header(), label::kAttachment);
  // Each written file is a link that saves it, with its size.
  EXPECT_NE(names.find(u"<a href='report.pdf?attachment'>report.pdf</a>&nbsp;"
                       u"<span class='size'>(3 bytes)</span>"),
            std::u16string::npos);
  EXPECT_EQ(FileText(work_ / "report.pdf"), "PDF");
  // The hostile name became a file of the working folder itself.
  EXPECT_FALSE(std::filesystem::exists(folder_ / "etc" / "passwd"));
  int files_with_secret = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder_.path())) {
    if (entry.is_regular_file() && FileText(entry.path()) == "SECRET") {
      ++files_with_secret;
      EXPECT_EQ(entry.path().parent_path(), work_);
    }
  }
  EXPECT_EQ(files_with_secret, 1);
  EXPECT_EQ(names.find(u"../"), std::u16string::npos);

  // A task lists the row but writes no files.
  std::filesystem::remove(work_ / "report.pdf");
  Show(ListRow(u"t1", u"task", Number(kTask), u"0000000000007001 0000000000007002", u"Ann",
               u"files", u"", u"true"));
  EXPECT_FALSE(std::filesystem::exists(work_ / "report.pdf"));
  EXPECT_NE(Header().find(label::kAttachment), std::u16string::npos);
}

TEST_F(OlderPreview, AppointmentShowsTheDatesItHas) {
  Show(ListRow(u"a1", u"appointment", Number(kT60Appointment), u""));
  std::u16string header = Header();
  EXPECT_EQ(CellValue(header, label::kStartDate), u"Jan,05 2010 09:03:07");
  EXPECT_EQ(CellValue(header, label::kLocation), u"Room &lt;1&gt;");
  EXPECT_EQ(header.find(label::kEndDate), std::u16string::npos);
  // An empty sender becomes the address of "N67b5".
  EXPECT_EQ(CellValue(header, label::kFrom), u"ann@example.com,");
  EXPECT_NE(Frameset().find(u"frameset cols='*,*'"), std::u16string::npos);

  Show(ListRow(u"a2", u"appointment", Number(kUndatedAppointment), u""));
  header = Header();
  EXPECT_EQ(header.find(label::kStartDate), std::u16string::npos);
  EXPECT_EQ(CellValue(header, label::kLocation), u"Hall");
}

TEST_F(OlderPreview, TaskAlwaysShowsItsFourRows) {
  Show(ListRow(u"t2", u"task", Number(kTask), u"", u"Ann <ann@example.com>"));
  const std::u16string header = Header();
  EXPECT_EQ(CellValue(header, label::kFrom), u"Ann [ann@example.com]");
  EXPECT_EQ(CellValue(header, label::kCategories), u"Work Home ");
  EXPECT_NE(header.find(u"<th>Start Date:</th><td></td>"), std::u16string::npos);
  EXPECT_EQ(CellValue(header, label::kDueDate), u"Feb,03 2011 04:05:06");
  EXPECT_EQ(CellValue(header, label::kReminderDate), u"Feb,02 2011 08:00:00");
  EXPECT_EQ(Body().file_path, work_ / "blank.txt");
}

TEST_F(OlderPreview, NotesActivityAndDistributionListPages) {
  store_->recovery().model().plain_bodies.PutAtFront({u"n1", u"sticky"});
  Show(ListRow(u"n1", u"notes", Number(kNotes), u""));
  EXPECT_EQ(Body().file_path, work_ / "blank.html");
  // The plain bodies are kept as they were; the page shows them as text, never as markup.
  EXPECT_EQ(UnmarkedText(work_ / "blank.html.stored"), u"sticky");
  EXPECT_EQ(Body().stored_path, work_ / "blank.html.stored");
  EXPECT_NE(FileText(work_ / "blank.html")
                .find("<pre style=\"white-space:pre-wrap;font-family:inherit\">sticky</pre>"),
            std::string::npos);
  EXPECT_NE(Frameset().find(u"rows='30%,*'"), std::u16string::npos);

  Show(ListRow(u"j1", u"activity", Number(kActivity), u""));
  EXPECT_NE(Frameset().find(u"rows='20%,*'"), std::u16string::npos);
  EXPECT_EQ(UnmarkedText(work_ / "textbody.txt"), u"journal");

  Show(ListRow(u"d1", u"distlist", Number(kDistList), u"", u"Team"));
  EXPECT_EQ(Body().file_path, work_ / "body.html");
  EXPECT_EQ(PageText(work_ / "body.html"),
            std::u16string(kPagePolicyMeta16) +
                u"Ann  [ann@example.com]<br>&lt;b&gt;Bob&lt;/b&gt;  [bob@example.com]<br>");
  EXPECT_NE(Frameset().find(u"rows='30%,*'"), std::u16string::npos);
  EXPECT_NE(Frameset().find(u"<frame src='body.html'>"), std::u16string::npos);
  EXPECT_EQ(CellValue(Header(), label::kFrom), u"Team");
}

TEST_F(OlderPreview, ContactRowsFollowTheirColumnRules) {
  Show(ListRow(u"c1", u"contact", Number(kContact), u""));
  const std::u16string header = Header();
  EXPECT_EQ(CellValue(header, u"From:"), u"ann@example.com,");
  // "then": the display name replaces the full name.
  EXPECT_EQ(CellValue(header, u"Full Name:"), u"Display Name");
  EXPECT_EQ(CellValue(header, u"First Name:"), u"Ann");
  // "else": the empty first column gives way to the next.
  EXPECT_EQ(CellValue(header, u"E-Mail Address 1:"), u"ann@example.com");
  // "then" replaces even by an empty value, and an empty field has no row.
  EXPECT_EQ(header.find(u"Zip/Postal Code"), std::u16string::npos);
  EXPECT_EQ(header.find(u"Last Name"), std::u16string::npos);
  EXPECT_EQ(CellValue(header, u"Birthday:"), u"Dec,24 1980 00:00:00");
  EXPECT_EQ(header.find(u"Subject"), std::u16string::npos);
  EXPECT_EQ(Body().file_path, work_ / "blank.html");
}

TEST_F(OlderPreview, UnreadableRowAndEmptyKeyShowNothing) {
  Show(ListRow(u"x1", u"mail", u"999", u""));
  Show(ListRow(u"x2", u"mail", u"not a number", u""));
  Show(ListRow(u"", u"mail", u"0", u""));
  EXPECT_TRUE(Window().navigations.empty());
  EXPECT_FALSE(std::filesystem::exists(work_ / "header.html"));
  EXPECT_TRUE(Window().control_enabled[WindowControl::kFolderTree]);
  EXPECT_TRUE(Window().control_enabled[WindowControl::kItemList]);
}

}  // namespace
}  // namespace tarvex::testing
