// The ready scenarios, built at test time and read back the way the program reads a store.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "content/compressed_rtf.h"
#include "exchange_test_stores.h"
#include "store/folder_key.h"
#include "support/test_files.h"
#include "tools/edbforge/encoding/rtf_compressor.h"
#include "tools/edbforge/exchange/scenario_json.h"
#include "tools/edbforge/exchange/store_builder.h"

namespace tarvex::edbforge {
namespace {

using tarvex::testing::FileText;

using tarvex::testing::ScratchFolder;
using testing::OpenedStore;
using testing::ScenarioPath;
using testing::StoreRecord;

std::string Repeat(std::string_view text, size_t count) {
  std::string result;
  for (size_t i = 0; i < count; ++i) result += text;
  return result;
}

const std::u16string kQuarterly =
    u"Dear team, the quarterly figures are attached. Revenue grew "
    u"in every region; costs stayed flat. Please review the draft "
    u"before Friday. ";
const std::string kRtf =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
    "{\\colortbl;\\red0\\green0\\blue0;}\\f0\\fs20 Hello Alice,\\par "
    "the meeting moves to Thursday.\\par Regards, Bob\\par}";

class ScenarioStore : public ::testing::Test {
 protected:
  void Build(const std::string& scenario) {
    const std::filesystem::path database = scratch_ / (scenario + ".edb");
    BuildStore(ReadScenarioFile(ScenarioPath(scenario + ".json")), database);
    working_ = scratch_ / "work";
    std::filesystem::create_directories(working_);
    store_ = OpenedStore::Open(database, working_);
    ASSERT_TRUE(store_);
  }

  std::vector<std::u16string> TableNames() {
    std::vector<std::u16string> names;
    for (const TableEntry& entry : store_->session().catalog().entries()) {
      names.push_back(entry.name);
    }
    return names;
  }

  // Position 0 reads as "no such column", so no table may keep a property there.
  void ExpectLeadingColumnInEveryTable() {
    for (const TableEntry& entry : store_->session().catalog().entries()) {
      if (entry.name.starts_with(u"MSys")) continue;
      const ese::Table* table = store_->Table(entry.name);
      ASSERT_TRUE(table && !table->columns().empty()) << Utf16ToUtf8(entry.name);
      EXPECT_EQ(table->columns()[0].name, u"Le08") << Utf16ToUtf8(entry.name);
    }
  }

  ScratchFolder scratch_;
  std::filesystem::path working_;
  std::unique_ptr<OpenedStore> store_;
};

TEST_F(ScenarioStore, OlderPrivateStoreHasItsTablesFolderKeysAndAttachmentTable) {
  Build("older-private");
  StoreSession& session = store_->session();
  EXPECT_EQ(session.format_revision(), 12u);
  EXPECT_FALSE(session.Is2010Layout());
  EXPECT_EQ(session.store_kind(), tarvex::StoreKind::kPrivate);
  EXPECT_EQ(session.attachment_table_name(), u"Attachment");
  EXPECT_NE(session.attachment_table(), nullptr);
  EXPECT_NE(session.message_table(), nullptr);
  for (const char16_t* name :
       {u"Mailbox", u"Folders", u"Msg", u"FolderContentsTemplate", u"1-4FD", u"1-4FC"}) {
    EXPECT_TRUE(session.catalog().Contains(name)) << Utf16ToUtf8(name);
  }
  for (const TableEntry& entry : session.catalog().entries()) {
    if (entry.name == u"1-4FD") {
      EXPECT_EQ(entry.folder_key, u"1000000000004FD");
    }
  }
  EXPECT_TRUE(session.catalog().HasFolderTable(u"1000000000004fd"));
  EXPECT_EQ(FolderTableName(u"1000000000004FD"), u"1-4FD");
  ExpectLeadingColumnInEveryTable();

  // Every folder row names a content table that exists, through the folder key.
  ValueReader& reader = store_->reader();
  const int id_column = store_->Column(u"Folders", u"Q6748");
  ASSERT_GT(id_column, 0);
  for (int number = 0; number < store_->RecordCount(u"Folders"); ++number) {
    const StoreRecord row = store_->Record(u"Folders", number);
    const auto id = reader.ReadIdText(row.get(), id_column, ByteOrder::kBigEndian);
    ASSERT_TRUE(id);
    EXPECT_TRUE(session.catalog().HasFolderTable(*id)) << Utf16ToUtf8(*id);
  }
  EXPECT_EQ(store_->RecordCount(u"Mailbox"), 2);
  const StoreRecord bob = store_->RecordWhere(u"Mailbox", u"S3001", u"Bob, Chen");
  ASSERT_TRUE(bob);
  EXPECT_EQ(store_->Id(bob.get(), u"Mailbox", u"Q6764"), u"100000000000066");
  EXPECT_EQ(store_->Text(bob.get(), u"Mailbox", u"S6773"),
            u"/o=Tarvex/ou=Exchange/cn=Recipients/cn=bob");
}

TEST_F(ScenarioStore, OlderPrivateFolderRowsCarryIdentifiersPathsAndParents) {
  Build("older-private");
  ValueReader& reader = store_->reader();
  const StoreRecord inbox = store_->RecordWhere(u"Folders", u"S3001", u"Inbox");
  ASSERT_TRUE(inbox);
  // Q6748 is a fixed currency column, Q6749 a binary one: both read as the same 8 bytes.
  const int id = store_->Column(u"Folders", u"Q6748");
  EXPECT_EQ(reader.ReadIdText(inbox.get(), id, ByteOrder::kBigEndian), u"1000000000004fd");
  EXPECT_EQ(reader.ReadIdText(inbox.get(), id, ByteOrder::kLittleEndian), u"fd04000000000001");
  EXPECT_EQ(store_->Id(inbox.get(), u"Folders", u"Q6749"), u"1000000000004fc");
  EXPECT_EQ(store_->Text(inbox.get(), u"Folders", u"S6707"), u"/Top of Information Store/Inbox");
  EXPECT_EQ(store_->Text(inbox.get(), u"Folders", u"S3613"), u"IPF.Note");
  EXPECT_EQ(store_->Text(inbox.get(), u"Folders", u"L3602"), u"14");

  const StoreRecord odd = store_->RecordWhere(u"Folders", u"S3001", u"C# + C++ / 50% off");
  ASSERT_TRUE(odd);
  EXPECT_EQ(store_->Text(odd.get(), u"Folders", u"S6707"),
            u"/Top of Information Store/C%23 %2B C%2B%2B %2F 50%25 off");
  const StoreRecord finder = store_->RecordWhere(u"Folders", u"S3001", u"Unread mail");
  ASSERT_TRUE(finder);
  EXPECT_EQ(store_->Text(finder.get(), u"Folders", u"S6707"),
            u"/NON_IPM_SUBTREE/Finder/Unread mail");
  const StoreRecord deepest = store_->RecordWhere(u"Folders", u"S3001", u"Level 28");
  ASSERT_TRUE(deepest);
  EXPECT_EQ(Split(*store_->Text(deepest.get(), u"Folders", u"S6707"), u'/').size(), 31u);
}

TEST_F(ScenarioStore, OlderPrivateMessagesDecodeToTheScenarioValues) {
  Build("older-private");
  StoreSession& session = store_->session();
  ValueReader& reader = store_->reader();
  ASSERT_TRUE(session.FindColumns(store_->Table(u"Msg"), ColumnLookup::kMessageTable));

  const StoreRecord report = store_->RecordWhere(u"Msg", u"Se1d", u"Quarterly report");
  ASSERT_TRUE(report);
  // Dates: Te06 in a currency column, T3007 in a binary column.
  EXPECT_EQ(store_->Time(report.get(), u"Msg", u"Te06"), u"Jan,05 2010 09:03:07");
  EXPECT_EQ(store_->Time(report.get(), u"Msg", u"T3007"), u"Jan,05 2010 09:03:07");
  EXPECT_EQ(reader.ReadBodyText(report.get(), store_->Column(u"Msg", u"S1000")),
            u"Plain text body: " + kQuarterly);
  // The transport headers are a long value, which the reader writes to its file.
  EXPECT_EQ(store_->Text(report.get(), u"Msg", u"S7d"), u"true");
  const std::string headers = FileText(working_ / "m_S7d.txt");
  // Kept as the reader keeps it: 7-bit bytes, each line feed written as CR LF.
  EXPECT_NE(headers.find("\r\r\nBcc: audit@tarvex.test\r\r\n"), std::string::npos) << headers;
  EXPECT_NE(headers.find("Cc: \"Eva M"), std::string::npos);
  EXPECT_EQ(store_->Text(report.get(), u"Msg", u"Be1b"), u"true");

  // The attachment list names both attachment rows' identifiers.
  const std::u16string list =
      *reader.ReadValueHexText(report.get(), store_->Column(u"Msg", u"N67b3"));
  const std::u16string table = session.attachment_table_name();
  const int data = store_->Column(table, u"N3701");
  int found = 0;
  for (int number = 0; number < store_->RecordCount(table); ++number) {
    const StoreRecord row = store_->Record(table, number);
    const auto id = store_->Id(row.get(), table, u"Q3f88");
    ASSERT_TRUE(id);
    if (list.find(*id) == std::u16string::npos) continue;
    ++found;
    const std::u16string name = *store_->Text(row.get(), table, u"S3001");
    reader.set_attachment_file_name(name);
    const auto written = reader.WriteAttachmentFile(row.get(), data);
    ASSERT_TRUE(written);
    if (name == u"scan.bin") {
      const std::string expected = Repeat(std::string("\x00\x01\x02\x03\xff\xfe\xfd", 7), 3000);
      EXPECT_EQ(FileText(*written), expected) << "a long value of several segments";
    } else {
      EXPECT_EQ(name, u"figures.csv");
      EXPECT_EQ(FileText(*written), "region,revenue\r\nnorth,120\r\nsouth,95\r\n");
    }
  }
  EXPECT_EQ(found, 2);
}

TEST_F(ScenarioStore, OlderPrivateCompressedBodiesAndTextsRoundTrip) {
  Build("older-private");
  ValueReader& reader = store_->reader();
  const int body = store_->Column(u"Msg", u"S1000");

  const StoreRecord seven = store_->RecordWhere(u"Msg", u"Se1d", u"Seven-bit body");
  ASSERT_TRUE(seven);
  EXPECT_EQ(reader.ReadBodyText(seven.get(), body), u"Packed seven bits per character.");
  const StoreRecord lzx = store_->RecordWhere(u"Msg", u"Se1d", u"LZXPRESS body");
  ASSERT_TRUE(lzx);
  std::u16string expected;
  for (int i = 0; i < 12; ++i) expected += kQuarterly;
  EXPECT_EQ(reader.ReadBodyText(lzx.get(), body), expected);
  EXPECT_EQ(store_->Text(lzx.get(), u"Msg", u"S1000"), expected);

  // Non-ASCII subject with a character outside the Basic Multilingual Plane; sender in 1252.
  const std::u16string subject = u"Grüße aus Zürich – 東京 🦊";
  const StoreRecord html = store_->RecordWhere(u"Msg", u"Se1d", subject);
  ASSERT_TRUE(html);
  EXPECT_EQ(store_->Text(html.get(), u"Msg", u"S42"), u"Eva Müller");
  const auto html_path = reader.WriteHtmlBodyFile(html.get(), store_->Column(u"Msg", u"N1013"));
  ASSERT_TRUE(html_path);
  const std::string page = FileText(working_ / "blank.html");
  EXPECT_TRUE(page.starts_with("<html><head><title>Newsletter</title>"));
  EXPECT_TRUE(page.ends_with("</body></html>"));
  EXPECT_NE(page.find("Grüße aus Zürich – news of the month."), std::string::npos);

  // The same page as an uncompressed long value, as engines before column compression kept it.
  const StoreRecord old_html =
      store_->RecordWhere(u"Msg", u"Se1d", u"Newsletter as it was stored then");
  ASSERT_TRUE(old_html);
  ASSERT_TRUE(reader.WriteHtmlBodyFile(old_html.get(), store_->Column(u"Msg", u"N1013")));
  EXPECT_EQ(FileText(working_ / "blank.html"), page);

  const StoreRecord rtf = store_->RecordWhere(u"Msg", u"Se1d", u"Meeting moved");
  ASSERT_TRUE(rtf);
  reader.WriteRtfBodyFile(rtf.get(), store_->Column(u"Msg", u"N1009"));
  const std::string stream = FileText(working_ / "rtfbody.txt");
  const std::vector<uint8_t> compressed = CompressRtf(kRtf);
  EXPECT_EQ(stream, std::string(compressed.begin(), compressed.end()));
  // The program's decoder leaves out the stream's last four bytes and closes with "}}".
  const std::optional<std::string> decoded = DecompressRtf(stream);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->starts_with(kRtf.substr(0, kRtf.find("Regards, Bob"))));
  const StoreRecord plain_rtf = store_->RecordWhere(u"Msg", u"Se1d", u"Uncompressed RTF stream");
  ASSERT_TRUE(plain_rtf);
  reader.WriteRtfBodyFile(plain_rtf.get(), store_->Column(u"Msg", u"N1009"));
  const std::vector<uint8_t> wrapped = WrapRtfUncompressed(kRtf);
  EXPECT_EQ(FileText(working_ / "rtfbody.txt"), std::string(wrapped.begin(), wrapped.end()));

  const StoreRecord contact = store_->RecordWhere(u"Msg", u"S3001", u"Hugo Lefèvre");
  ASSERT_TRUE(contact);
  EXPECT_EQ(store_->Text(contact.get(), u"Msg", u"MS80db"), u"Customers VIP Frankreich ");
  EXPECT_EQ(store_->Time(contact.get(), u"Msg", u"T3a42"), u"Jun,30 1975 00:00:00");
  const StoreRecord list = store_->RecordWhere(u"Msg", u"S3001", u"Project team");
  ASSERT_TRUE(list);
  EXPECT_EQ(store_->Text(list.get(), u"Msg", u"MN81d8"),
            u"alice.martin@tarvex.test SMTP,bob.chen@tarvex.test SMTP,");

  const StoreRecord bad_time = store_->RecordWhere(u"Msg", u"Se1d", u"Bad delivery time");
  ASSERT_TRUE(bad_time);
  EXPECT_TRUE(store_->Time(bad_time.get(), u"Msg", u"Te06")->starts_with(u"(0x"));
}

TEST_F(ScenarioStore, OlderContentTablesListTheirItemsThroughTheTemplate) {
  Build("older-private");
  EXPECT_EQ(store_->RecordCount(u"1-4FD"), 14);
  // The Inbox's own column comes after every template column.
  const ese::Table* template_table = store_->Table(u"FolderContentsTemplate");
  ASSERT_NE(template_table, nullptr);
  EXPECT_EQ(store_->Column(u"1-4FD", u"S3d"), static_cast<int>(template_table->columns().size()));
  const StoreRecord meeting = store_->RecordWhere(u"1-4FD", u"Se1d", u"Invitation: design review");
  ASSERT_TRUE(meeting);
  EXPECT_EQ(store_->Text(meeting.get(), u"1-4FD", u"S3d"), u"RE: ");
  EXPECT_EQ(store_->Text(meeting.get(), u"1-4FD", u"S1a"), u"IPM.Schedule.Meeting.Request");
  EXPECT_EQ(store_->Text(meeting.get(), u"1-4FD", u"Le23"), u"10");
  // The listing's message id finds the item's "Msg" row.
  const auto id = store_->Id(meeting.get(), u"1-4FD", u"N67b0");
  ASSERT_TRUE(id);
  const StoreRecord message = store_->RecordWhere(u"Msg", u"Se1d", u"Invitation: design review");
  ASSERT_TRUE(message);
  EXPECT_EQ(store_->Id(message.get(), u"Msg", u"N67b0"), id);
  const StoreRecord unclassed = store_->RecordWhere(u"1-4FD", u"Se1d", u"Mail without a class");
  ASSERT_TRUE(unclassed);
  EXPECT_EQ(store_->Text(unclassed.get(), u"1-4FD", u"S1a"), u"");
}

TEST_F(ScenarioStore, OlderPublicStoreIsPublicWithItsOwnAttachmentTable) {
  Build("older-public");
  StoreSession& session = store_->session();
  EXPECT_EQ(session.format_revision(), 9u);
  EXPECT_FALSE(session.Is2010Layout());
  EXPECT_EQ(session.store_kind(), tarvex::StoreKind::kPublic);
  EXPECT_FALSE(session.catalog().Contains(u"Mailbox"));
  EXPECT_EQ(session.attachment_table_name(), u"PublicAttachments");
  const StoreRecord marketing = store_->RecordWhere(u"Folders", u"S3001", u"Marketing");
  ASSERT_TRUE(marketing);
  EXPECT_EQ(store_->Id(marketing.get(), u"Folders", u"Q6748"), u"1000000000004fd");
  EXPECT_TRUE(session.catalog().HasFolderTable(u"1000000000004FD"));
  EXPECT_EQ(store_->RecordCount(u"1-4FD"), 2);
  const StoreRecord kickoff = store_->RecordWhere(u"Msg", u"Se1d", u"Campaign kick-off");
  ASSERT_TRUE(kickoff);
  EXPECT_EQ(store_->Time(kickoff.get(), u"Msg", u"Te06"), u"Jan,05 2010 09:03:07");
  EXPECT_EQ(store_->Text(kickoff.get(), u"Msg", u"S1000"), u"Kick-off on Monday, café at 10.");
  EXPECT_EQ(store_->RecordCount(u"PublicAttachments"), 2);
}

TEST_F(ScenarioStore, Private2010StoreHasPerMailboxTables) {
  Build("2010-private");
  StoreSession& session = store_->session();
  EXPECT_EQ(session.format_revision(), 20u);
  EXPECT_TRUE(session.Is2010Layout());
  EXPECT_EQ(session.store_kind(), tarvex::StoreKind::kPrivate);
  EXPECT_EQ(session.page_size(), 32768u);
  EXPECT_FALSE(session.catalog().Contains(u"Msg"));
  for (const char16_t* name : {u"Mailbox", u"Folders-101", u"MsgHeader-101", u"Body-101",
                               u"Folders-102", u"Folders-1-2A", u"MsgHeader-1-2A", u"Body-1-2A"}) {
    EXPECT_TRUE(session.catalog().Contains(name)) << Utf16ToUtf8(name);
  }
  ExpectLeadingColumnInEveryTable();
  const StoreRecord alice = store_->RecordWhere(u"Mailbox", u"S3001", u"Alice Martin");
  ASSERT_TRUE(alice);
  const auto mailbox = store_->Id(alice.get(), u"Mailbox", u"Q6764");
  EXPECT_EQ(mailbox, u"1000000000001a5");
  // A top folder's parent is its mailbox; the mailbox's own number is in every folder row.
  const StoreRecord top =
      store_->RecordWhere(u"Folders-101", u"S3001", u"Top of Information Store");
  ASSERT_TRUE(top);
  EXPECT_EQ(store_->Id(top.get(), u"Folders-101", u"Q6749"), mailbox);
  EXPECT_EQ(store_->Id(top.get(), u"Folders-101", u"Q6764"), mailbox);
  const StoreRecord inbox = store_->RecordWhere(u"Folders-101", u"S3001", u"Inbox");
  ASSERT_TRUE(inbox);
  EXPECT_EQ(store_->Id(inbox.get(), u"Folders-101", u"Q6748"), u"1000000000004fd");
  EXPECT_TRUE(store_->RecordWhere(u"Folders-101", u"S3001", u"Restriction"));
  EXPECT_TRUE(store_->RecordWhere(u"Folders-1-2A", u"S3001", u"Indbakke"));
}

TEST_F(ScenarioStore, Private2010HeadersAndBodiesMatchByMessageId) {
  Build("2010-private");
  ValueReader& reader = store_->reader();
  const StoreRecord header = store_->RecordWhere(u"MsgHeader-101", u"Se1d", u"Hello");
  ASSERT_TRUE(header);
  EXPECT_EQ(store_->Text(header.get(), u"MsgHeader-101", u"S3d"), u"RE: ");
  EXPECT_EQ(store_->Id(header.get(), u"MsgHeader-101", u"Q6748"), u"1000000000004fd");
  // Te06 in a binary column here.
  EXPECT_EQ(store_->Time(header.get(), u"MsgHeader-101", u"Te06"), u"Jan,05 2010 09:03:07");
  const auto id = store_->Id(header.get(), u"MsgHeader-101", u"N67b0");
  ASSERT_TRUE(id);
  const StoreRecord body = store_->RecordWithId(u"Body-101", u"N65f9", *id);
  ASSERT_TRUE(body);
  EXPECT_EQ(store_->Text(body.get(), u"Body-101", u"L3705"), u"0");
  EXPECT_EQ(reader.ReadBodyText(body.get(), store_->Column(u"Body-101", u"S1000")), u"Seven bits.");

  const StoreRecord inline_html = store_->RecordWhere(u"MsgHeader-101", u"Se1d", u"Inline HTML");
  ASSERT_TRUE(inline_html);
  const auto html_id = store_->Id(inline_html.get(), u"MsgHeader-101", u"N67b0");
  const StoreRecord html_body = store_->RecordWithId(u"Body-101", u"N65f9", *html_id);
  ASSERT_TRUE(html_body);
  reader.WriteHtmlBodyFile(html_body.get(), store_->Column(u"Body-101", u"N1013"));
  EXPECT_EQ(FileText(working_ / "blank.html"), "<p>Short <b>HTML</b> body</p>");

  // The first item's attachments are rows of the same body table.
  const StoreRecord report = store_->RecordWhere(u"MsgHeader-101", u"Se1d", u"Quarterly report");
  ASSERT_TRUE(report);
  EXPECT_EQ(store_->Text(report.get(), u"MsgHeader-101", u"Be1b"), u"true");
  const auto report_id = store_->Id(report.get(), u"MsgHeader-101", u"N67b0");
  const StoreRecord report_body = store_->RecordWithId(u"Body-101", u"N65f9", *report_id);
  ASSERT_TRUE(report_body);
  const std::u16string list =
      *reader.ReadValueHexText(report_body.get(), store_->Column(u"Body-101", u"N67b3"));
  EXPECT_EQ(list.size(), 32u) << "two identifiers of 8 bytes";
  int attachments = 0;
  const int type = store_->Column(u"Body-101", u"L3705");
  for (int number = 0; number < store_->RecordCount(u"Body-101"); ++number) {
    const StoreRecord row = store_->Record(u"Body-101", number);
    if (reader.ReadValueText(row.get(), type) == u"0") continue;
    const auto attachment = store_->Id(row.get(), u"Body-101", u"N65f9");
    if (attachment && list.find(*attachment) != std::u16string::npos) ++attachments;
  }
  EXPECT_EQ(attachments, 2);

  // The placeholder id is stored as it is, for the reader to skip.
  const StoreRecord placeholder =
      store_->RecordWhere(u"MsgHeader-101", u"Se1d", u"Placeholder id (hidden)");
  ASSERT_TRUE(placeholder);
  EXPECT_EQ(store_->Id(placeholder.get(), u"MsgHeader-101", u"N67b0"), u"2a2a2a2a2a2a2a2a");
  EXPECT_EQ(
      store_->Text(
          store_->RecordWhere(u"MsgHeader-101", u"Se1d", u"Grüße aus Zürich – 東京 🦊")
              .get(),
          u"MsgHeader-101", u"S42"),
      u"Eva Müller");
}

TEST_F(ScenarioStore, Public2010StoreOfRevision17NamesTablesByAlternativeIds) {
  Build("2010-public");
  StoreSession& session = store_->session();
  EXPECT_EQ(session.format_revision(), 17u);
  EXPECT_TRUE(session.Is2010Layout());
  EXPECT_EQ(session.store_kind(), tarvex::StoreKind::kPublic);
  EXPECT_TRUE(session.catalog().Contains(u"Folders"));
  ValueReader& reader = store_->reader();
  const int id_column = store_->Column(u"Folders", u"Q6748");
  // Each folder's tables are named after its identifier as the store reads it.
  for (int number = 0; number < store_->RecordCount(u"Folders"); ++number) {
    const StoreRecord row = store_->Record(u"Folders", number);
    const auto key = reader.ReadStoreIdText(row.get(), id_column, ByteOrder::kBigEndian);
    ASSERT_TRUE(key);
    EXPECT_TRUE(session.catalog().Contains(u"MsgHeader-" + *key)) << Utf16ToUtf8(*key);
    EXPECT_TRUE(session.catalog().Contains(u"Body-" + *key)) << Utf16ToUtf8(*key);
  }
  const StoreRecord marketing = store_->RecordWhere(u"Folders", u"S3001", u"Marketing");
  ASSERT_TRUE(marketing);
  EXPECT_EQ(reader.ReadStoreIdText(marketing.get(), id_column, ByteOrder::kBigEndian), u"1-4FD");
  EXPECT_EQ(reader.ReadIdText(marketing.get(), id_column, ByteOrder::kLittleEndian),
            u"fd04000000000001");
  // A top folder's parent is the zero identifier.
  EXPECT_EQ(store_->Id(marketing.get(), u"Folders", u"Q6749"), std::nullopt);
  const StoreRecord drafts = store_->RecordWhere(u"Folders", u"S3001", u"Drafts of Ångström");
  ASSERT_TRUE(drafts);
  EXPECT_EQ(reader.ReadStoreIdText(drafts.get(), id_column, ByteOrder::kBigEndian), u"12-3");
  EXPECT_EQ(store_->RecordCount(u"MsgHeader-1-4FD"), 3);
  EXPECT_EQ(store_->RecordCount(u"Body-1-4FD"), 4) << "three bodies and one attachment";
  const StoreRecord header = store_->RecordWhere(u"MsgHeader-1-4FD", u"Se1d", u"Newsletter");
  ASSERT_TRUE(header);
  EXPECT_EQ(store_->Time(header.get(), u"MsgHeader-1-4FD", u"T3007"), u"Jan,05 2010 09:03:07");
}

}  // namespace
}  // namespace tarvex::edbforge
