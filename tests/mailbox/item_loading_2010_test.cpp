// The 2010 layout: header and body tables scanned on the first selection of a mailbox's
// folder, the item list filtered from memory afterwards, body rows and attachments found again.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "base/file_names.h"
#include "item_store_forge.h"
#include "mailbox/item_extraction.h"
#include "mailbox/mailbox_loading.h"
#include "support/test_files.h"

namespace tarvex::testing {
namespace {

namespace ef = edbforge;

constexpr std::initializer_list<std::u16string_view> kHeaderColumns = {
    u"N67b0", u"Q6748", u"S1a",  u"S42",   u"Se1d", u"S3d",
    u"S70",   u"Be1b",  u"Te06", u"T3007", u"T39",  u"Se04"};
constexpr std::initializer_list<std::u16string_view> kBodyColumns = {u"N65f9", u"L3705", u"N67b3",
                                                                     u"S3001", u"S3707", u"N3701"};

constexpr TreeNodeHandle kInboxNode = 11;
constexpr TreeNodeHandle kSentNode = 12;
constexpr TreeNodeHandle kOtherMailboxNode = 13;

ef::Record Header(std::uint64_t id, std::uint64_t folder) {
  return ef::Record()
      .Set(u"Id", std::int32_t{1})
      .Set(u"N67b0", IdBytes(id))
      .Set(u"Q6748", IdBytes(folder));
}

// Mailbox "Alice" with Inbox (a1) and Sent (a2) in "Folders-1-2"; mailbox "Bob" in
// "Folders-1-3".
void WritePrivateStore(const std::filesystem::path& path) {
  ef::EseDatabaseWriter writer(path, {4096, 20});
  writer.AddTable(ExchangeTable(u"Mailbox", {u"Q6764", u"S3001", u"S6773"}));
  writer.AddTable(ExchangeTable(u"Folders-1-2", {u"Q6748", u"S3001"}));
  writer.AddTable(ExchangeTable(u"Folders-1-3", {u"Q6748", u"S3001"}));
  ef::TableWriter& headers = writer.AddTable(ExchangeTable(u"MsgHeader-1-2", kHeaderColumns));
  headers.Append(
      WithTexts(Header(0x100, 0xa1),
                {{u"S1a", u"IPM.Note"}, {u"S42", u"Ann"}, {u"S3d", u"RE: "}, {u"Se1d", u"Hello"}})
          .Set(u"Be1b", true)
          .Set(u"Te06", FileTimeOf(2010, 1, 5, 9, 3, 7)));
  headers.Append(WithTexts(Header(0x2a2a2a2a2a2a2a2aULL, 0xa1),
                           {{u"S42", u"Placeholder"}, {u"Se1d", u"never listed"}}));
  headers.Append(WithTexts(Header(0x101, 0xa1), {{u"S1a", u"IPM.Configuration.WorkHours"},
                                                 {u"Se1d", u"configuration"}}));
  headers.Append(WithTexts(Header(0x102, 0xa1), {{u"S1a", u"IPM.Note.Custom"}, {u"S70", u"Hello"}})
                     .Set(u"T39", FileTimeOf(2011, 12, 31, 23, 59, 58)));
  headers.Append(Header(0x103, 0xa1)
                     .Set(u"S42", std::u16string(u"Cy"))
                     .Set(u"Te06", ef::FileTime{0x9000000000000000ULL})
                     .Set(u"T3007", FileTimeOf(2009, 7, 1, 12, 0, 0)));
  headers.Append(WithTexts(Header(0x104, 0xa2), {{u"S42", u"Bob"}, {u"Se1d", u"Sent item"}}));
  headers.Append(Header(0x105, 0xa1));  // nothing to show
  ef::TableWriter& bodies = writer.AddTable(ExchangeTable(u"Body-1-2", kBodyColumns));
  auto body_row = [](std::uint64_t id, std::int32_t type) {
    ef::Record record = ef::Record().Set(u"Id", std::int32_t{1}).Set(u"L3705", type);
    if (id != 0) record.Set(u"N65f9", IdBytes(id));
    return record;
  };
  bodies.Append(body_row(0x100, 0).Set(u"N67b3", Concat(IdBytes(0x5001), IdBytes(0x5002))));
  bodies.Append(body_row(0x5001, 1)
                    .Set(u"S3001", std::u16string(u"report.pdf"))
                    .Set(u"N3701", Utf8Bytes("PDF-DATA")));
  bodies.Append(body_row(0x5002, 1)
                    .Set(u"S3707", std::u16string(u"../evil:name.txt"))
                    .Set(u"N3701", Utf8Bytes("EVIL")));
  bodies.Append(body_row(0, 0).Set(u"N67b3", IdBytes(0x5001)));             // body row without id
  bodies.Append(body_row(0x5003, 1).Set(u"N3701", Utf8Bytes("nameless")));  // no file name
  bodies.Append(body_row(0x102, 0));
  ef::TableWriter& other_headers = writer.AddTable(ExchangeTable(u"MsgHeader-1-3", kHeaderColumns));
  other_headers.Append(Header(0x200, 0xb1).Set(u"Se1d", std::u16string(u"Bob's mail")));
  writer.AddTable(ExchangeTable(u"Body-1-3", kBodyColumns));
  writer.Finish();
}

class PrivateStore2010 : public ::testing::Test {
 protected:
  void SetUp() override {
    WritePrivateStore(folder_ / "priv.edb");
    std::filesystem::create_directories(folder_ / "work");
    store_ = std::make_unique<OpenedStore>(folder_ / "priv.edb", folder_ / "work");
    Recovery& recovery = store_->recovery();
    ASSERT_EQ(recovery.layout(), StoreLayout::k2010);
    ASSERT_FALSE(recovery.is_public_store());
    auto add = [&](std::u16string key, std::u16string mailbox, std::u16string table,
                   std::u16string name, TreeNodeHandle node) {
      FolderNode folder;
      folder.folder_key = std::move(key);
      folder.mailbox_name = std::move(mailbox);
      folder.table_name = std::move(table);
      folder.display_name = std::move(name);
      folder.tree_item = node;
      recovery.model().folder_nodes.PutAtFront(std::move(folder));
    };
    add(u"a1", u"Alice", u"Folders-1-2", u"Inbox", kInboxNode);
    add(u"a2", u"Alice", u"Folders-1-2", u"Sent Items", kSentNode);
    // Display names of mailboxes need not differ.
    add(u"b1", u"Alice", u"Folders-1-3", u"Inbox", kOtherMailboxNode);
  }

  testing::RecordingWindowPort& window() { return store_->recorder(); }

  ScratchFolder folder_;
  std::unique_ptr<OpenedStore> store_;
};

TEST_F(PrivateStore2010, FirstSelectionScansTheMailboxAndListsNewestFirst) {
  Recovery& recovery = store_->recovery();
  // A count gives what the listings list, whether the tables were read before or not, and
  // reading for a count keeps nothing.
  const std::unordered_map<TreeNodeHandle, std::size_t> expected_counts = {
      {kInboxNode, 3}, {kSentNode, 1}, {kOtherMailboxNode, 1}};
  EXPECT_EQ(CountItemsByFolder(recovery), expected_counts);
  EXPECT_TRUE(recovery.model().loaded_keys.empty());
  EXPECT_EQ(recovery.model().item_headers.size(), 0u);
  window().status_texts.clear();

  LoadMailbox(recovery, kInboxNode);
  EXPECT_EQ(window().status_texts,
            (std::vector<std::u16string>{u"Please wait... Loading Mailbox Header Information",
                                         u"Please wait... Loading Mailbox Body Information", u""}));
  const auto& rows = window().list_rows;
  ASSERT_EQ(rows.size(), 3u);
  // The last row scanned comes first, numbered from 1.
  EXPECT_EQ(rows[0], (std::vector<std::u16string>{u"103", u"mail", u"1", u"Folders-1-2", u"Cy", u"",
                                                  u"Jul,01 2009 12:00:00", u"", u"a1", u"Alice",
                                                  u"Inbox", u"live"}));
  EXPECT_EQ(rows[1][0], u"102");
  EXPECT_EQ(rows[1][1], u"IPM.Note.Custom") << "an unmapped class is its own kind";
  EXPECT_EQ(rows[1][2], u"2");
  EXPECT_EQ(rows[1][5], u"Hello") << "the topic stands in for an empty subject";
  EXPECT_EQ(rows[1][6], u"Dec,31 2011 23:59:58");
  EXPECT_EQ(rows[2], (std::vector<std::u16string>{u"100", u"mail", u"3", u"Folders-1-2", u"Ann",
                                                  u"RE: Hello", u"Jan,05 2010 09:03:07", u"true",
                                                  u"a1", u"Alice", u"Inbox", u"live"}));
  EXPECT_EQ(window().control_enabled[WindowControl::kFolderTree], true);
  // Headers and bodies are remembered apart: a count needs the headers alone.
  EXPECT_EQ(recovery.model().loaded_keys,
            (std::vector<std::u16string>{u"MsgHeader-1-2", u"Body-1-2"}));
  // The placeholder, the configuration item and the empty row are not kept at all.
  EXPECT_EQ(recovery.model().item_headers.size(), 4u);
  EXPECT_EQ(recovery.model().body_refs.size(), 2u);
  EXPECT_EQ(recovery.model().attachment_refs.size(), 2u);
  EXPECT_EQ(CountItemsByFolder(recovery), expected_counts);
}

TEST_F(PrivateStore2010, LaterSelectionsOfTheSameMailboxListFromMemory) {
  Recovery& recovery = store_->recovery();
  LoadMailbox(recovery, kInboxNode);
  window().status_texts.clear();
  LoadMailbox(recovery, kSentNode);
  EXPECT_TRUE(window().status_texts.empty()) << "the tables were read once";
  ASSERT_EQ(window().list_rows.size(), 1u);
  EXPECT_EQ(window().list_rows[0][0], u"104");
  EXPECT_EQ(window().list_rows[0][10], u"Sent Items");
  EXPECT_EQ(recovery.model().item_headers.size(), 4u);

  LoadMailbox(recovery, kInboxNode);
  EXPECT_EQ(window().list_rows.size(), 3u) << "the list is emptied for each selection";

  // Another mailbox, of the same name, is read on its own first selection.
  LoadMailbox(recovery, kOtherMailboxNode);
  EXPECT_EQ(window().status_texts.size(), 3u);
  EXPECT_EQ(
      recovery.model().loaded_keys,
      (std::vector<std::u16string>{u"MsgHeader-1-2", u"Body-1-2", u"MsgHeader-1-3", u"Body-1-3"}));
  ASSERT_EQ(window().list_rows.size(), 1u);
  EXPECT_EQ(window().list_rows[0][5], u"Bob's mail");
  EXPECT_EQ(window().list_rows[0][3], u"Folders-1-3");
}

TEST_F(PrivateStore2010, BodyRowAndAttachmentsAreFoundAgainAndWrittenSafely) {
  Recovery& recovery = store_->recovery();
  LoadMailbox(recovery, kInboxNode);
  const ItemBodyLocation location = LocateItemBody(recovery, u"100", u"Folders-1-2");
  EXPECT_EQ(location.record_number, 0u);
  EXPECT_EQ(location.attachment_list, u"00000000000050010000000000005002");
  EXPECT_TRUE(recovery.body_table().open);
  EXPECT_EQ(recovery.body_table().name, u"Body-1-2");

  const std::u16string names = WriteItemAttachments(recovery, location.attachment_list);
  const std::u16string evil_name = SafeFileName(u"../evil:name.txt");
  // Newest record first, as the attachment walk meets them.
  EXPECT_EQ(names, evil_name + u";report.pdf;");
  const std::filesystem::path work = folder_ / "work";
  EXPECT_EQ(FileText(work / "report.pdf"), "PDF-DATA");
  EXPECT_EQ(FileText(work / PathFromText(evil_name)), "EVIL");
  EXPECT_FALSE(std::filesystem::exists(folder_ / "evil:name.txt"));
  for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
    EXPECT_TRUE(entry.path().filename() == "work" || entry.path().extension() == ".edb")
        << entry.path();
  }

  const ItemBodyLocation without_attachments = LocateItemBody(recovery, u"102", u"Folders-1-2");
  EXPECT_EQ(without_attachments.record_number, 5u);
  EXPECT_EQ(without_attachments.attachment_list, u"");
  const ItemBodyLocation unknown = LocateItemBody(recovery, u"999", u"Folders-1-2");
  EXPECT_EQ(unknown.record_number, 0u);
  EXPECT_EQ(unknown.attachment_list, u"");

  // A new selection marks the body table as not open; the next preview opens its own.
  LoadMailbox(recovery, kSentNode);
  EXPECT_FALSE(recovery.body_table().open);
  LocateItemBody(recovery, u"104", u"Folders-1-2");
  EXPECT_TRUE(recovery.body_table().open);
}

// A time may sit in a currency or binary column as well as in a date column.
TEST(HeaderScan, DatesAreReadFromEveryColumnTypeThatHoldsAFiletime) {
  ScratchFolder folder;
  ef::TableDefinition definition = ExchangeTable(u"MsgHeader-1-9", kHeaderColumns);
  for (ef::ColumnDefinition& column : definition.columns) {
    if (column.name == u"Te06") column.type = ef::ColumnType::kCurrency;
    if (column.name == u"T3007") column.type = ef::ColumnType::kBinary;
  }
  const std::uint64_t ticks = FileTimeOf(2010, 1, 5, 9, 3, 7).ticks;
  std::vector<std::uint8_t> little_endian(8);
  for (std::size_t i = 0; i < 8; ++i)
    little_endian[i] = static_cast<std::uint8_t>(ticks >> (8 * i));
  {
    ef::EseDatabaseWriter writer(folder / "dates.edb", {4096, 20});
    writer.AddTable(ExchangeTable(u"Mailbox", {u"Q6764"}));
    ef::TableWriter& headers = writer.AddTable(definition);
    headers.Append(Header(0x1, 0xa1)
                       .Set(u"Se1d", std::u16string(u"currency"))
                       .Set(u"Te06", static_cast<std::int64_t>(ticks)));
    headers.Append(
        Header(0x2, 0xa1).Set(u"Se1d", std::u16string(u"binary")).Set(u"T3007", little_endian));
    headers.Append(Header(0x3, 0xa1).Set(u"Se1d", std::u16string(u"none")));
    writer.Finish();
  }
  std::filesystem::create_directories(folder / "work");
  OpenedStore store(folder / "dates.edb", folder / "work");
  Recovery& recovery = store.recovery();
  const ese::Table* table = recovery.session().OpenTableByName(u"MsgHeader-1-9");
  ASSERT_NE(table, nullptr);
  ASSERT_TRUE(ScanHeaderTable(recovery, table, u"MsgHeader-1-9"));
  EXPECT_FALSE(ScanHeaderTable(recovery, nullptr, u"MsgHeader-1-9"));
  EXPECT_FALSE(ScanHeaderTable(recovery, table, u""));
  const auto& headers = recovery.model().item_headers;
  ASSERT_EQ(headers.size(), 3u);
  EXPECT_EQ(headers.at(2).date, u"Jan,05 2010 09:03:07");
  EXPECT_EQ(headers.at(1).date, u"Jan,05 2010 09:03:07");
  EXPECT_EQ(headers.at(0).date, u"");
  EXPECT_EQ(headers.at(0).table_name, u"MsgHeader-1-9");
}

}  // namespace
}  // namespace tarvex::testing
