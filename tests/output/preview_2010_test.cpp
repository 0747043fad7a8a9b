// Previews of the 2010 layout: the item's body row found again in its "Body-" table, the
// body forms in their order, and the page writer of each kind.

#include <gtest/gtest.h>

#include "item_store_forge.h"
#include "mailbox/mailbox_loading.h"
#include "mailbox/mailbox_model.h"
#include "output/header_page.h"
#include "output/preview.h"
#include "preview_fixture.h"
#include "support/test_files.h"
#include "tools/edbforge/encoding/rtf_compressor.h"

namespace tarvex::testing {
namespace {

namespace ef = edbforge;
namespace label = header_label;

constexpr std::initializer_list<std::u16string_view> kBodyColumns = {
    u"N65f9", u"L3705", u"N67b3", u"S3001", u"S3707", u"N3701", u"N1009", u"N1013", u"S1000",
    u"N67b4", u"N2c",   u"S4025", u"S7d",   u"S810c", u"T60",   u"T8040", u"S80fd", u"MS80db",
    u"T800d", u"T8198", u"T811f", u"S82a0", u"S802c", u"S81b0", u"S3003", u"S81ba", u"S800b"};

constexpr std::u16string_view kTableSet = u"Folders-1-2";

ef::Record BodyRow(std::uint64_t id, std::int32_t type = 0) {
  return ef::Record().Set(u"Id", std::int32_t{1}).Set(u"N65f9", IdBytes(id)).Set(u"L3705", type);
}

void Write2010Store(const std::filesystem::path& path) {
  ef::EseDatabaseWriter writer(path, {4096, 20});
  writer.AddTable(ExchangeTable(u"Mailbox", {u"Q6764", u"S3001", u"S6773"}));
  writer.AddTable(ExchangeTable(u"Folders-1-2", {u"Q6748", u"S3001"}));
  ef::TableWriter& headers = writer.AddTable(
      ExchangeTable(u"MsgHeader-1-2", {u"N67b0", u"Q6748", u"S1a", u"S42", u"Se1d", u"S3d", u"S70",
                                       u"Be1b", u"Te06", u"T3007", u"T39", u"Se04"}));
  headers.Append(ef::Record()
                     .Set(u"Id", std::int32_t{1})
                     .Set(u"N67b0", IdBytes(0x102))
                     .Set(u"Q6748", IdBytes(0xa1))
                     .Set(u"S1a", std::u16string(u"IPM.Note"))
                     .Set(u"S42", std::u16string(u"Ann"))
                     .Set(u"Se1d", std::u16string(u"Listed <subject>")));
  ef::TableWriter& bodies = writer.AddTable(ExchangeTable(u"Body-1-2", kBodyColumns));
  bodies.Append(BodyRow(0x100)  // record 0: an RTF mail with two attachments
                    .Set(u"N1009", ef::CompressRtf("{\\rtf1\\ansi Hello 2010\\par}"))
                    .Set(u"N67b3", Concat(IdBytes(0x5001), IdBytes(0x5002))));
  bodies.Append(BodyRow(0x5001, 1)
                    .Set(u"S3001", std::u16string(u"../../etc/passwd"))
                    .Set(u"N3701", Utf8Bytes("SECRET")));
  bodies.Append(BodyRow(0x5002, 1)
                    .Set(u"S3707", std::u16string(u"report.pdf"))
                    .Set(u"N3701", Utf8Bytes("PDF")));
  bodies.Append(BodyRow(0x101).Set(
      u"N1013", Utf8Bytes(u"<html><body><script>x()</script>Caf\u00e9</body></html>")));
  bodies.Append(BodyRow(0x102).Set(u"S1000", std::u16string(u"plain \u00e9")));
  bodies.Append(BodyRow(0x103)  // record 5
                    .Set(u"S1000", std::u16string(u"values"))
                    .Set(u"N67b4", Utf8Bytes("B o b  <bob@example.com>"))
                    .Set(u"S4025", std::u16string(u"ann@example.com"))
                    .Set(u"S7d", std::u16string(u"From: \"Ann\" <ann@example.com>\r\n"
                                                u"To: Dan <dan@example.com>\r\n")));
  bodies.Append(BodyRow(0x104).Set(  // record 6
      u"S7d", std::u16string(u"Subject: hi\r\nTo:   Dan <dan@example.com>\r\n")));
  bodies.Append(BodyRow(0x105)  // record 7: a task without a body
                    .Set(u"T800d", FileTimeOf(2011, 3, 1, 8, 0, 0))
                    .Set(u"T8198", FileTimeOf(2011, 12, 3, 4, 5, 6))
                    .Set(u"T811f", FileTimeOf(2011, 12, 2, 8, 0, 0)));
  bodies.Append(BodyRow(0x106)  // record 8: an appointment
                    .Set(u"T60", FileTimeOf(2010, 1, 5, 9, 3, 7))
                    .Set(u"S810c", std::u16string(u"Room 1"))
                    .Set(u"N67b4", Utf8Bytes("Carol  carol@example.com")));
  bodies.Append(BodyRow(0x107).Set(u"S1000", std::u16string(u"note text")));
  bodies.Append(BodyRow(0x108)  // record 10: a contact
                    .Set(u"S82a0", std::u16string(u"Full Name"))
                    .Set(u"S3001", std::u16string(u"Display Name"))
                    .Set(u"S3003", std::u16string(u"c@example.com"))
                    .Set(u"S81ba", std::u16string(u"x@example.com"))
                    .Set(u"S800b", std::u16string(u"y@example.com")));
  bodies.Append(BodyRow(0x109).Set(u"S1000", std::u16string(u"first row")));
  bodies.Append(BodyRow(0x109).Set(u"S1000", std::u16string(u"second row")));
  bodies.Append(BodyRow(0x10a).Set(u"S1000", std::u16string(u"members")));
  bodies.Append(BodyRow(0x10b));  // a mail without any body
  writer.Finish();
}

class Preview2010 : public testing::PreviewTest {
 protected:
  void SetUp() override {
    Open(&Write2010Store);
    Recovery& recovery = store_->recovery();
    ASSERT_EQ(recovery.layout(), StoreLayout::k2010);
    ASSERT_FALSE(recovery.is_public_store());
    for (const TableEntry& entry : recovery.session().catalog().entries()) {
      if (entry.name != u"Body-1-2") continue;
      ASSERT_TRUE(ScanBodyTable(recovery, entry.table, entry.name));
    }
    ASSERT_EQ(recovery.model().body_refs.size(), 13u);
  }

  void Show(std::u16string key, std::u16string kind, std::u16string sender = u"Ann",
            std::u16string flag = u"false") {
    ShowItemPreview(
        store_->recovery(),
        ListRow(std::move(key), std::move(kind), u"1", std::u16string(kTableSet), std::move(sender),
                u"<b>&", u"Dec,05 2010 09:03:07", std::move(flag), u"a1", u"Mailbox", u"Inbox"));
  }
};

TEST_F(Preview2010, RtfMailWithAttachments) {
  Show(u"100", u"mail", u"Ann", u"true");
  EXPECT_EQ(Body().format, BodyFormat::kRtf);
  EXPECT_EQ(Body().file_path, work_ / "rtfbody.txt");
  EXPECT_NE(FileText(work_ / "rtfbody.txt").find("Hello 2010"), std::string::npos);
  EXPECT_NE(Frameset().find(u"rows='28%,*'"), std::u16string::npos);
  EXPECT_NE(Frameset().find(u"<frame src='rtfbody.txt'>"), std::u16string::npos);

  const std::u16string header = Header();
  EXPECT_EQ(CellValue(header, label::kSubject), u"&lt;b&gt;&amp;");
  const std::u16string names = CellValue(header, label::kAttachment);
  EXPECT_NE(names.find(u"<a href='report.pdf?attachment'>report.pdf</a>"), std::u16string::npos);
  EXPECT_EQ(names.find(u"../"), std::u16string::npos);
  EXPECT_EQ(FileText(work_ / "report.pdf"), "PDF");
  EXPECT_FALSE(std::filesystem::exists(folder_ / "etc" / "passwd"));
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder_.path())) {
    if (entry.is_regular_file() && entry.file_size() == 6 && FileText(entry.path()) == "SECRET") {
      EXPECT_EQ(entry.path().parent_path(), work_);
    }
  }
  // The list row's recipients and copies are not this layout's.
  EXPECT_EQ(CellValue(header, label::kMailTo), u"");
  EXPECT_EQ(header.find(u"Cc:"), std::u16string::npos);
  EXPECT_EQ(Window().navigations.back(), work_ / "strEmlPath.html");
}

TEST_F(Preview2010, HtmlThenTextThenNothing) {
  Show(u"101", u"mail");
  EXPECT_EQ(Body().format, BodyFormat::kHtml);
  EXPECT_EQ(Body().file_path, work_ / "blank.html");
  const std::string html = FileText(work_ / "blank.html");
  EXPECT_NE(html.find("Caf\xC3\xA9"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_NE(FileText(work_ / "blank.html.stored").find("<script>x()</script>"), std::string::npos);
  EXPECT_EQ(Header().find(u"script"), std::u16string::npos);

  Show(u"102", u"mail");
  EXPECT_TRUE(Body().stored_path.empty());
  EXPECT_EQ(Body().format, BodyFormat::kText);
  EXPECT_EQ(Body().file_path, work_ / "blank.txt");
  EXPECT_EQ(PageText(work_ / "blank.txt"), u"plain \u00e9");

  // No body: an empty file, not the previous item's.
  Show(u"10b", u"mail");
  EXPECT_EQ(Body().format, BodyFormat::kNone);
  EXPECT_EQ(Body().file_path, work_ / "blank.txt");
  EXPECT_EQ(FileText(work_ / "blank.txt"), "");
  EXPECT_NE(Frameset().find(u"<frame src='blank.txt'>"), std::u16string::npos);
}

TEST_F(Preview2010, MailSenderAndRecipientsFromTheRow) {
  Show(u"103", u"mail");
  std::u16string header = Header();
  EXPECT_EQ(CellValue(header, label::kFrom), u"Ann&lt;ann@example.com,&gt;[ann@example.com,]");
  EXPECT_EQ(CellValue(header, label::kMailTo), u"bob@example.com,");

  // Without a recipient column the transport headers' To line is taken.
  Show(u"104", u"mail");
  header = Header();
  EXPECT_EQ(CellValue(header, label::kFrom), u"Ann");
  EXPECT_EQ(CellValue(header, label::kMailTo), u"dan@example.com,");
}

TEST_F(Preview2010, DistributionListsAndUnknownKindsShowAsMail) {
  Show(u"10a", u"distlist");
  EXPECT_NE(Frameset().find(u"rows='28%,*'"), std::u16string::npos);
  EXPECT_NE(Header().find(label::kMailTo), std::u16string::npos);
  EXPECT_EQ(PageText(work_ / "blank.txt"), u"members");

  Show(u"102", u"IPM.Note.Custom");
  EXPECT_NE(Frameset().find(u"rows='28%,*'"), std::u16string::npos);
  Show(u"102", u"activity");
  EXPECT_NE(Frameset().find(u"rows='28%,*'"), std::u16string::npos);
}

TEST_F(Preview2010, TaskWithoutBodyShowsSixDots) {
  Show(u"105", u"task");
  EXPECT_EQ(Body().format, BodyFormat::kNone);
  EXPECT_EQ(Body().file_path, work_ / "blank.txt");
  EXPECT_EQ(UnmarkedText(work_ / "blank.txt"), u"......");
  const std::u16string header = Header();
  EXPECT_EQ(CellValue(header, label::kStartDate), u"3,01 2011 08:00:00");
  EXPECT_EQ(CellValue(header, label::kDueDate), u"12,03 2011 04:05:06");
  EXPECT_EQ(CellValue(header, label::kReminderDate), u"12,02 2011 08:00:00");
  EXPECT_NE(header.find(u"<th>Categories:</th><td></td>"), std::u16string::npos);
  EXPECT_NE(Frameset().find(u"cols='*,*'"), std::u16string::npos);
}

TEST_F(Preview2010, AppointmentWithOnlyT60) {
  Show(u"106", u"appointment");
  const std::u16string header = Header();
  EXPECT_EQ(CellValue(header, label::kStartDate), u"Jan,05 2010 09:03:07");
  EXPECT_EQ(header.find(label::kEndDate), std::u16string::npos);
  EXPECT_EQ(CellValue(header, label::kLocation), u"Room 1");
  EXPECT_EQ(CellValue(header, label::kMailTo), u"carol@example.com,");
  EXPECT_EQ(FileText(work_ / "blank.txt"), "");
  EXPECT_NE(Frameset().find(u"cols='*,*'"), std::u16string::npos);
}

TEST_F(Preview2010, NotesShowTheirBodyAlone) {
  std::filesystem::remove(work_ / "header.html");
  Show(u"107", u"notes");
  EXPECT_EQ(Window().navigations.back(), work_ / "blank.txt");
  EXPECT_EQ(PageText(work_ / "blank.txt"), u"note text");
  EXPECT_FALSE(std::filesystem::exists(work_ / "header.html"));
}

TEST_F(Preview2010, ContactRowsOfThisLayout) {
  Show(u"108", u"contact", u"Ann <a@example.com>");
  const std::u16string header = Header();
  EXPECT_EQ(CellValue(header, label::kFrom), u"Ann &lt;a@example.com&gt;");
  // "then": the display name replaces the full name.
  EXPECT_EQ(CellValue(header, u"Full Name:"), u"Display Name");
  EXPECT_EQ(CellValue(header, u"E-Mail Address 1:"), u"c@example.com");
  EXPECT_EQ(CellValue(header, u"E-Mail Address 3:"), u"y@example.com");
}

TEST_F(Preview2010, ItemWithTwoBodyRowsAndItemWithNone) {
  const ItemBodyLocation location = LocateItemBody(store_->recovery(), u"109", kTableSet);
  Show(u"109", u"mail");
  EXPECT_EQ(location.record_number, 11u);
  EXPECT_EQ(PageText(work_ / "blank.txt"), u"first row");

  // An item without a body row reads no other item's row in its place.
  Show(u"999", u"mail");
  EXPECT_EQ(FileText(work_ / "blank.txt"), "");
  EXPECT_EQ(Body().format, BodyFormat::kNone);
}

// The row the loader lists is the row the preview reads back.
TEST_F(Preview2010, RowListedByTheLoaderShowsItsItem) {
  Recovery& recovery = store_->recovery();
  constexpr TreeNodeHandle kInbox = 11;
  recovery.model().folder_nodes.PutAtFront(
      {u"a1", u"", u"1", u"Alice", u"Folders-1-2", u"Inbox", u"Folder", kInbox});
  LoadMailbox(recovery, kInbox);
  ASSERT_EQ(Window().list_rows.size(), 1u);
  ItemListRow row;
  std::copy_n(Window().list_rows.front().begin(), kItemListColumnCount, row.begin());
  ShowItemPreview(recovery, row);
  EXPECT_EQ(CellValue(Header(), label::kSubject), u"Listed &lt;subject&gt;");
  EXPECT_EQ(CellValue(Header(), label::kFrom), u"Ann");
  EXPECT_EQ(PageText(work_ / "blank.txt"), u"plain \u00e9");
}

}  // namespace
}  // namespace tarvex::testing
