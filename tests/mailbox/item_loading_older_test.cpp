// The older layout: "Msg" and attachment rows recorded by the analysis, a folder's content
// table listed on selection with senders, recipients and list positions, exports, and
// Stop/Resume of the loader.

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "base/utf_conversion.h"
#include "item_store_forge.h"
#include "mailbox/folder_rows_ahead.h"
#include "mailbox/item_extraction.h"
#include "mailbox/mailbox_loading.h"
#include "mailbox/message_facts_collector.h"
#include "support/test_files.h"

namespace tarvex::testing {
namespace {

namespace ef = edbforge;

constexpr TreeNodeHandle kInboxNode = 31;
constexpr TreeNodeHandle kEmptyFolderNode = 32;

constexpr std::initializer_list<std::u16string_view> kContentColumns = {
    u"N67b0", u"S1a",  u"S42", u"S4031", u"N67bd", u"N67b9", u"N67ba", u"Se1d",
    u"S3d",   u"Be1b", u"T39", u"Te06",  u"T3007", u"S1000", u"Le23",  u"N67be"};

ef::Record Row(std::uint64_t id) {
  ef::Record record = ef::Record().Set(u"Id", std::int32_t{1});
  if (id != 0) record.Set(u"N67b0", IdBytes(id));
  return record;
}

constexpr std::string_view kTransportHeaders =
    "Received: from mx.example.com\r\n"
    "From: \"Ann Smith\" <ann@example.com>\r\n"
    "To: Bob <bob@example.com>\r\n"
    "Cc: Carl <carl@example.com>\r\n"
    "Bcc: Dana <dana@example.com>\r\n"
    "Reply-To: Other <other@example.com>\r\n"
    "Envelope-to: envelope@example.com\r\n"
    "Subject: Hello\r\n";

void WriteOlderStore(const std::filesystem::path& path, int big_folder_rows) {
  ef::EseDatabaseWriter writer(path, {4096, 15});
  writer.AddTable(ExchangeTable(u"Mailbox", {u"Q6764", u"S3001", u"S6773"}));
  writer.AddTable(ExchangeTable(u"Folders", {u"Q6748", u"S3001"}));
  ef::TableWriter& messages =
      writer.AddTable(ExchangeTable(u"Msg", {u"N67b0", u"N67b3", u"S7d", u"N67b4", u"N67b5"}));
  messages.Append(
      Row(0x1000).Set(u"N67b3", IdBytes(0x7001)).Set(u"S7d", LongAnsiText(kTransportHeaders)));
  messages.Append(Row(0x1001).Set(u"N67b4", Utf8Bytes("Eve SMTP eve@example.org")));
  messages.Append(Row(0x1002).Set(u"N67b4", Utf8Bytes("older@example.com")));
  messages.Append(Row(0x10021).Set(u"N67b4", Utf8Bytes("newer@example.com")));
  messages.Append(Row(0x1004).Set(u"N67b5", Utf8Bytes("Hal <hal@example.net>")));
  messages.Append(Row(0x1007).Set(u"S7d", std::u16string(u"To: Short <short@example.com>\r\n")));

  ef::TableDefinition attachments =
      ExchangeTable(u"Attachment", {u"Q3f88", u"S3001", u"S3704", u"N3701"});
  attachments.callback = u"JCB.DLL!EcJcbAttachCallback";
  ef::TableWriter& attachment_rows = writer.AddTable(attachments);
  attachment_rows.Append(ef::Record()
                             .Set(u"Id", std::int32_t{1})
                             .Set(u"Q3f88", IdBytes(0x7001))
                             .Set(u"S3001", std::u16string(u"a/b:c.txt"))
                             .Set(u"N3701", Utf8Bytes("DATA1")));
  attachment_rows.Append(ef::Record()
                             .Set(u"Id", std::int32_t{2})
                             .Set(u"Q3f88", IdBytes(0x7002))
                             .Set(u"S3704", std::u16string(u"plain.txt"))
                             .Set(u"N3701", Utf8Bytes("DATA2")));

  ef::TableWriter& inbox = writer.AddTable(ExchangeTable(u"1-4FD", kContentColumns));
  inbox.Append(WithTexts(Row(0x1000), {{u"S1a", u"IPM.Note"},
                                       {u"S42", u"Ann"},
                                       {u"S4031", u"ann@example.com"},
                                       {u"S3d", u"RE: "},
                                       {u"Se1d", u"Hello"}})
                   .Set(u"Be1b", true)
                   .Set(u"T39", FileTimeOf(2010, 1, 5, 9, 3, 7))
                   .Set(u"S1000", std::u16string(u"plain body"))
                   .Set(u"Le23", std::int32_t{5}));
  inbox.Append(Row(0x1001)
                   .Set(u"N67bd", Utf8Bytes("Gina SMTP gina@example.com"))
                   .Set(u"Se1d", std::u16string(u"From Gina"))
                   .Set(u"Te06", ef::FileTime{0x9000000000000000ULL})
                   .Set(u"T3007", FileTimeOf(2009, 7, 1, 12, 0, 0))
                   .Set(u"Le23", std::int32_t{0}));
  inbox.Append(
      WithTexts(Row(0x1003), {{u"S1a", u"IPM.Configuration.WorkHours"}, {u"S42", u"Config"}}));
  inbox.Append(WithTexts(Row(0x1004), {{u"S1a", u"IPM.Note.Custom"}, {u"Se1d", u"Custom"}}));
  inbox.Append(WithTexts(Row(0x1005), {{u"S42", u"Ivy"}, {u"Se1d", u"No message row"}})
                   .Set(u"Le23", std::int32_t{1}));
  inbox.Append(
      WithTexts(Row(0), {{u"S42", u"Jo"}, {u"Se1d", u"No id"}}).Set(u"Le23", std::int32_t{-1}));
  inbox.Append(Row(0x1006));  // nothing to show
  inbox.Append(WithTexts(Row(0x1002), {{u"S42", u"Kim"}, {u"Se1d", u"Prefix"}})
                   .Set(u"Le23", std::int32_t{2}));
  inbox.Append(WithTexts(Row(0x1007), {{u"S42", u"Lu"}, {u"Se1d", u"Short headers"}})
                   .Set(u"Le23", std::int32_t{99}));

  ef::TableWriter& big = writer.AddTable(ExchangeTable(u"1-500", {u"N67b0"}));
  for (int i = 0; i < big_folder_rows; ++i) big.Append(ef::Record().Set(u"Id", std::int32_t{i}));
  writer.Finish();
}

// Analysis as far as items need it: the "Msg" and attachment tables scanned, one mailbox
// with an owner, the folders' tree nodes.
void PrepareModel(Recovery& recovery) {
  NamedTableHandlers handlers;
  handlers.message = [&recovery](const ese::Record* record, std::uint32_t number) {
    HandleMessageRow(recovery, record, number);
  };
  handlers.attachment = [&recovery](const ese::Record* record, std::uint32_t number) {
    HandleAttachmentRow(recovery, record, number);
  };
  StoreSession& session = recovery.session();
  ASSERT_EQ(session.attachment_table_name(), u"Attachment");
  session.ScanNamedTable(u"Msg", handlers, recovery.scan_context());
  session.ScanNamedTable(session.attachment_table_name(), handlers, recovery.scan_context());

  MailboxModel& model = recovery.model();
  model.mailboxes.push_back({u"m1", u"", u"Gina G", u"gina@example.com", 2});
  // A mailbox without an owner text names nobody.
  model.mailboxes.push_back({u"m2", u"", u"Nobody", u"", 3});
  FolderLink inbox;
  inbox.content_key = u"1000000000004fd";
  inbox.tree_item = kInboxNode;
  model.folder_links.push_back(inbox);
  FolderLink empty_folder;
  empty_folder.content_key = u"";
  empty_folder.tree_item = kEmptyFolderNode;
  model.folder_links.push_back(empty_folder);
}

class OlderStore : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteOlderStore(folder_ / "older.edb", 3);
    std::filesystem::create_directories(folder_ / "work");
    store_ = std::make_unique<OpenedStore>(folder_ / "older.edb", folder_ / "work");
    ASSERT_EQ(store_->recovery().layout(), StoreLayout::kOlder);
    PrepareModel(store_->recovery());
  }

  ScratchFolder folder_;
  std::unique_ptr<OpenedStore> store_;
};

TEST_F(OlderStore, AnalysisRecordsMessageAndAttachmentRows) {
  const MailboxModel& model = store_->recovery().model();
  ASSERT_EQ(model.message_refs.size(), 6u);
  EXPECT_EQ(model.message_refs.at(5).message_id, u"1000");
  EXPECT_EQ(model.message_refs.at(5).attachment_list, u"0000000000007001");
  EXPECT_EQ(model.message_refs.at(5).record_number, 0u);
  EXPECT_EQ(model.message_refs.at(0).message_id, u"1007");
  EXPECT_EQ(model.message_refs.at(0).record_number, 5u);
  ASSERT_EQ(model.attachment_rows.size(), 2u);
  EXPECT_EQ(model.attachment_rows.at(1).file_name, u"a_b_c.txt");
  EXPECT_EQ(model.attachment_rows.at(0).file_name, u"plain.txt");
  EXPECT_EQ(model.attachment_rows.at(0).attachment_id, u"7002");
}

TEST_F(OlderStore, SelectingAFolderListsItsItemsAtTheirListPositions) {
  Recovery& recovery = store_->recovery();
  auto& window = store_->recorder();
  window.progress_positions.clear();
  LoadMailbox(recovery, kInboxNode);
  const auto& rows = window.list_rows;
  std::vector<std::u16string> order;
  for (const auto& row : rows) order.push_back(row[0]);
  // Inserted at "Le23": 5 (past the end), 0, none (0), 1, -1 (the end), 2, 99 (past the end).
  EXPECT_EQ(order, (std::vector<std::u16string>{u"1004", u"1005", u"1002", u"1001", u"1000", u"",
                                                u"1007"}));
  ASSERT_EQ(rows.size(), 7u);

  // Sender, recipients, copies and blind copies from the transport headers.
  EXPECT_EQ(rows[4],
            (std::vector<std::u16string>{
                u"1000", u"mail", u"0", u"0000000000007001", u"Ann Smith [ann@example.com]",
                u"RE: Hello", u"Jan,05 2010 09:03:07", u"true", u"Bob [bob@example.com]",
                u"Carl [carl@example.com]", u"Dana [dana@example.com]", u"live"}));
  // A sender from "N67bd" that is a mailbox's owner shows as the owner; recipients from the
  // display text; the unreadable delivery time gives way to the creation time.
  EXPECT_EQ(rows[3][4], u"gina@example.com");
  EXPECT_EQ(rows[3][1], u"mail");
  EXPECT_EQ(rows[3][2], u"1");
  EXPECT_EQ(rows[3][6], u"Jul,01 2009 12:00:00");
  EXPECT_EQ(rows[3][8], u"eve@example.org,");
  // A class no rule names is its own kind; the sender comes from the "Msg" row's "N67b5".
  EXPECT_EQ(rows[0][1], u"IPM.Note.Custom");
  EXPECT_EQ(rows[0][4], u"hal@example.net,");
  EXPECT_EQ(rows[0][2], u"4");
  // Without a "Msg" row the item keeps its own texts and number 0.
  EXPECT_EQ(rows[1][4], u"Ivy");
  EXPECT_EQ(rows[1][2], u"0");
  EXPECT_EQ(rows[1][8], u"");
  EXPECT_EQ(rows[5][4], u"Jo");
  EXPECT_EQ(rows[5][2], u"0") << "an item without id borrows no other message's row";
  EXPECT_EQ(rows[5][8], u"");
  // The newest "Msg" row whose id begins with the item's id.
  EXPECT_EQ(rows[2][2], u"3");
  EXPECT_EQ(rows[2][8], u"newer@example.com,");
  // Headers kept in the row itself.
  EXPECT_EQ(rows[6][8], u"Short [short@example.com]");

  EXPECT_EQ(window.progress_range, (std::pair<int, int>{0, 9}));
  EXPECT_EQ(window.progress_positions, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 0}));
  ASSERT_EQ(recovery.model().plain_bodies.size(), 1u);
  EXPECT_EQ(recovery.model().plain_bodies.at(0).message_id, u"1000");
  EXPECT_EQ(recovery.model().plain_bodies.at(0).body, u"plain body");
  // Long headers are read in memory: no working-folder file.
  EXPECT_EQ(Utf16ToUtf8(recovery.reader().transport_headers().substr(0, 30)),
            kTransportHeaders.substr(0, 30));
  EXPECT_FALSE(std::filesystem::exists(folder_ / "work" / "m_S7d.txt"));
  EXPECT_EQ(window.control_enabled[WindowControl::kFolderTree], true);
  EXPECT_EQ(window.control_enabled[WindowControl::kItemList], true);

  // A new selection starts from an empty list and an empty plain-body list.
  LoadMailbox(recovery, kEmptyFolderNode);
  EXPECT_TRUE(window.list_rows.empty());
  EXPECT_TRUE(recovery.model().plain_bodies.empty());

  // A count gives what the listing listed (two of the nine rows are not items), and lists
  // nothing.
  const std::unordered_map<TreeNodeHandle, std::size_t> counts = CountItemsByFolder(recovery);
  EXPECT_EQ(counts.at(kInboxNode), 7u);
  EXPECT_EQ(counts.contains(kEmptyFolderNode) ? counts.at(kEmptyFolderNode) : 0u, 0u);
  EXPECT_TRUE(window.list_rows.empty());
  EXPECT_TRUE(recovery.model().plain_bodies.empty());
}

TEST_F(OlderStore, GatheredMessageFactsAreWhatEachRowReadsAlone) {
  Recovery& recovery = store_->recovery();
  StoreSession& session = recovery.session();
  const ese::Table* messages = session.message_table();
  ASSERT_NE(messages, nullptr);
  TableColumns columns;
  columns.Find(session, messages, ColumnLookup::kMessageTable);
  auto texts = [](const MessageFacts& facts) {
    return std::vector<std::u16string>{facts.header_sender, facts.address_sender, facts.recipients,
                                       facts.copy_recipients, facts.blind_copy_recipients};
  };
  std::vector<std::vector<std::u16string>> alone;
  for (std::uint32_t number = 0; number < messages->record_count(); ++number) {
    alone.push_back(
        texts(ReadMessageFacts(recovery.reader(), *messages->ReadRecord(number), columns)));
  }
  ASSERT_EQ(alone.size(), 6u);
  EXPECT_EQ(alone[0][0], u"Ann Smith [ann@example.com]");  // long headers
  EXPECT_EQ(alone[5][2], u"Short [short@example.com]");    // headers in the row itself
  const std::vector<std::u16string> listed_alone = [&] {
    std::vector<std::u16string> rows;
    for (const ItemListRow& row : ListFolderRows(recovery, kInboxNode)) {
      for (const std::u16string& cell : row) rows.push_back(cell);
    }
    return rows;
  }();

  // A test of each row: does it name recipients in "N67b4"?
  const GatheredMessageFacts::RowTest names_recipients = [](const ese::Record& record,
                                                            const TableColumns& of_table) {
    const std::optional<int> entry = of_table.Entry(u"N67b4");
    return entry && GetRawValue(&record, *entry).has_value();
  };
  struct Case {
    const char* what;
    GatheredMessageFacts::RowTest test;
    std::size_t text_bound;
    std::vector<std::uint32_t> kept;  // empty: the first row and at most one more
  };
  const std::vector<Case> cases = {
      {"one worker", {}, GatheredMessageFacts::kDefaultTextBound, {0, 1, 2, 3, 4, 5}},
      {"a row test: two workers",
       names_recipients,
       GatheredMessageFacts::kDefaultTextBound,
       {0, 1, 2, 3, 4, 5}},
      {"past the bound rows are not kept", {}, 1, {0}},
      // Each worker may pass the bound by the row it is making.
      {"two workers share the bound", names_recipients, 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<GatheredMessageFacts> gathered =
        GatherMessageFacts(recovery, c.test, {}, c.text_bound);
    ASSERT_TRUE(gathered);
    std::vector<std::uint32_t> kept;
    for (std::uint32_t number = 0; number < alone.size(); ++number) {
      if (const std::optional<MessageFacts> facts = gathered->Find(number)) {
        kept.push_back(number);
        EXPECT_EQ(texts(*facts), alone[number]) << "row " << number;
      }
      const std::optional<bool> tested = gathered->TestResult(number);
      ASSERT_EQ(tested.has_value(), static_cast<bool>(c.test));
      if (tested) {
        EXPECT_EQ(*tested, names_recipients(*messages->ReadRecord(number), columns));
      }
    }
    if (c.kept.empty()) {
      EXPECT_GE(kept.size(), 1u);
      EXPECT_LE(kept.size(), 2u);
    } else {
      EXPECT_EQ(kept, c.kept);
    }
    EXPECT_FALSE(gathered->Find(6));
    // Items take the facts kept and read the others' rows where they are: the same list, also
    // when the gathered recipients wait for a prefilter (one that lets every item through).
    const FolderReadOptions with_facts{.gathered = &*gathered};
    const FolderReadOptions after_prefilter{.gathered = &*gathered,
                                            .prefilter = [](const FolderItem&) { return true; }};
    for (const FolderReadOptions* options : {&with_facts, &after_prefilter}) {
      std::vector<std::u16string> listed;
      for (const ItemListRow& row : ListFolderRows(recovery, kInboxNode, true, *options)) {
        for (const std::u16string& cell : row) listed.push_back(cell);
      }
      EXPECT_EQ(listed, listed_alone);
    }
  }
  // Ended by its progress: nothing gathered.
  EXPECT_FALSE(GatherMessageFacts(recovery, names_recipients,
                                  [](std::uint32_t, std::uint32_t) { return false; }));
  // A collector given rows by another pass: only every row, in order, gives facts.
  auto collect = [&](const std::vector<std::uint32_t>& numbers,
                     FactsRead read = FactsRead::kSendersAndRecipients) {
    MessageFactsCollector collector(names_recipients, read);
    for (std::uint32_t number : numbers) {
      const std::optional<ese::Record> record = messages->ReadRecord(number);
      collector.Take(recovery, number, record ? &*record : nullptr);
    }
    return collector.Finish(recovery);
  };
  const std::optional<GatheredMessageFacts> every_row = collect({0, 1, 2, 3, 4, 5});
  ASSERT_TRUE(every_row);
  EXPECT_EQ(texts(*every_row->Find(5)), alone[5]);
  EXPECT_FALSE(collect({0, 1, 2, 3, 4}));
  EXPECT_FALSE(collect({0, 2, 1, 3, 4, 5}));
  EXPECT_FALSE(collect({}));

  // The senders alone: no recipients are found in them, and items that want recipients read
  // their rows where they are; rows that show none are the same rows without them.
  const std::optional<GatheredMessageFacts> senders =
      collect({0, 1, 2, 3, 4, 5}, FactsRead::kSendersOnly);
  ASSERT_TRUE(senders);
  EXPECT_FALSE(senders->has_recipients());
  for (std::uint32_t number = 0; number < alone.size(); ++number) {
    const std::optional<MessageFacts> facts = senders->Find(number, false);
    ASSERT_TRUE(facts);
    std::vector<std::u16string> expected = alone[number];
    std::fill(expected.begin() + 2, expected.end(), std::u16string());
    EXPECT_EQ(texts(*facts), expected) << "row " << number;
    MessageFacts recipients;
    EXPECT_FALSE(senders->FindRecipients(number, recipients));
    EXPECT_FALSE(senders->Find(number));
  }
  std::size_t recipient_cells = 0;
  for (const bool with_recipients : {true, false}) {
    const FolderReadOptions options{.gathered = &*senders,
                                    .prefilter = [](const FolderItem&) { return true; },
                                    .rows_with_recipients = with_recipients};
    std::vector<std::u16string> listed;
    std::vector<std::u16string> expected;
    for (const ItemListRow& row : ListFolderRows(recovery, kInboxNode, true, options)) {
      for (const std::u16string& cell : row) listed.push_back(cell);
    }
    for (std::size_t cell = 0; cell < listed_alone.size(); ++cell) {
      const bool recipient = cell % kItemListColumnCount >= 8 && cell % kItemListColumnCount <= 10;
      if (recipient) recipient_cells += listed_alone[cell].size();
      expected.push_back(recipient && !with_recipients ? u"" : listed_alone[cell]);
    }
    EXPECT_EQ(listed, expected) << with_recipients;
  }
  EXPECT_NE(recipient_cells, 0u);
}

TEST_F(OlderStore, RowsMadeAheadAreTheRowsEachFolderLists) {
  Recovery& recovery = store_->recovery();
  const std::optional<GatheredMessageFacts> gathered = GatherMessageFacts(recovery);
  ASSERT_TRUE(gathered);
  const FolderReadOptions with_facts{.gathered = &*gathered};
  // Turned away: an empty row keeps the item's place. By the sender alone too: the threads'
  // memos of senders turn rows away before they are made, while a single folder's listing
  // makes each row (the header's sender "Ann Smith" counts over the row's own "Ann"). By the
  // "Msg" row alone: turned away before the sender is made, as the prefilter turns it away.
  // Each case: the options that give the expected rows, and the options tested.
  std::vector<std::pair<FolderReadOptions, FolderReadOptions>> cases = {{with_facts, with_facts}};
  for (const auto& sender_test : std::initializer_list<std::function<bool(std::u16string_view)>>{
           [](std::u16string_view sender) { return sender.find(u'i') == sender.npos; },
           [](std::u16string_view sender) { return sender.find(u"Smith") != sender.npos; }}) {
    const FolderReadOptions turning_away{.gathered = &*gathered,
                                         .prefilter = [sender_test](const FolderItem& item) {
                                           return sender_test(item.columns[4]);
                                         }};
    FolderReadOptions by_sender = turning_away;
    by_sender.sender_test = sender_test;
    cases.emplace_back(turning_away, turning_away);
    cases.emplace_back(turning_away, by_sender);
  }
  auto row_test = [](std::u16string_view kind, std::optional<std::uint32_t> message_row) {
    return kind == u"distlist" || !message_row || *message_row % 3 != 0;
  };
  const FolderReadOptions by_message_row{
      .gathered = &*gathered, .prefilter = [row_test](const FolderItem& item) {
        return row_test(item.columns[1], item.has_message_row
                                             ? std::optional(item.message_record_number)
                                             : std::nullopt);
      }};
  FolderReadOptions by_message_row_first = by_message_row;
  by_message_row_first.message_row_test = row_test;
  cases.emplace_back(by_message_row, by_message_row_first);
  // Rows without their recipients: the rows listed with them, those columns left empty.
  FolderReadOptions without_recipients = by_message_row_first;
  without_recipients.rows_with_recipients = false;
  cases.emplace_back(by_message_row, without_recipients);
  // Many folders, so that both threads split tables at once.
  std::vector<TreeNodeHandle> folders;
  for (int i = 0; i < 30; ++i) folders.insert(folders.end(), {kInboxNode, kEmptyFolderNode});
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    const auto& [expected, tested] = cases[i];
    std::vector<std::vector<ItemListRow>> listed;
    for (TreeNodeHandle folder : folders) {
      listed.push_back(ListFolderRows(recovery, folder, false, expected));
    }
    if (!tested.rows_with_recipients) {
      std::size_t recipients_left_out = 0;
      for (std::vector<ItemListRow>& rows : listed) {
        for (ItemListRow& row : rows) {
          for (int column : {8, 9, 10}) {
            recipients_left_out += row[column].size();
            row[column].clear();
          }
        }
      }
      EXPECT_NE(recipients_left_out, 0u);
    }
    ASSERT_EQ(listed[0].size(), 7u);
    ASSERT_EQ(listed[1].size(), 0u);
    // The single folder's listing with the tested options too.
    EXPECT_EQ(ListFolderRows(recovery, kInboxNode, false, tested), listed[0]);
    // Its listed rows at their places, the others empty: the list again.
    const PlacedRows placed = PlaceListedRows(listed[0]);
    std::vector<ItemListRow> again(placed.list_size);
    for (std::size_t k = 0; k < placed.rows.size(); ++k) again[placed.places[k]] = placed.rows[k];
    EXPECT_EQ(again, listed[0]);
    // Stretches of one row, of rows whose list positions go back, and of the whole table.
    for (const std::uint32_t chunk_rows : {1u, 2u, 4u, FolderRowsAhead::kDefaultChunkRows}) {
      SCOPED_TRACE(chunk_rows);
      FolderRowsAhead ahead(recovery, folders, tested, chunk_rows);
      for (const std::vector<ItemListRow>& rows : listed) {
        EXPECT_EQ(ahead.Next(), PlaceListedRows(rows));
      }
      EXPECT_FALSE(ahead.Next());
    }
  }
  // Left after the first folder, with rows made ahead still waiting.
  { FolderRowsAhead(recovery, folders, with_facts, 1).Next(); }
  // A cancelled run gives nothing more.
  FolderRowsAhead cancelled(recovery, folders, with_facts, 1);
  recovery.pause_gate().Cancel();
  EXPECT_FALSE(cancelled.Next());
}

TEST_F(OlderStore, AttachmentsOfAnItemAreWrittenUnderTheirNames) {
  Recovery& recovery = store_->recovery();
  const std::u16string names = WriteItemAttachments(recovery, u"0000000000007001");
  EXPECT_EQ(names, u"a_b_c.txt;");
  EXPECT_EQ(FileText(folder_ / "work" / "a_b_c.txt"), "DATA1");
  EXPECT_FALSE(std::filesystem::exists(folder_ / "work" / "plain.txt"));
  EXPECT_EQ(WriteItemAttachments(recovery, u"00000000000070010000000000007002"),
            u"plain.txt;a_b_c.txt;");
  EXPECT_EQ(FileText(folder_ / "work" / "plain.txt"), "DATA2");
  EXPECT_EQ(WriteItemAttachments(recovery, u""), u"");
}

TEST_F(OlderStore, AnExportRunKeepsEachPlainBodyWithItsItem) {
  Recovery& recovery = store_->recovery();
  std::vector<FolderItem> items;
  LoadFolder(
      recovery, u"1000000000004FD", [&items](const FolderItem& item) { items.push_back(item); },
      FolderItemUse::kExport);
  ASSERT_EQ(items.size(), 7u);
  EXPECT_TRUE(store_->recorder().list_rows.empty());
  EXPECT_TRUE(recovery.model().plain_bodies.empty());
  const FolderItem& first = items[0];
  EXPECT_EQ(first.columns[0], u"1000");
  EXPECT_EQ(first.plain_body, u"plain body");
  EXPECT_EQ(first.message_record_number, 0u);
  EXPECT_EQ(first.attachment_list, u"0000000000007001");
  EXPECT_EQ(first.header_sender, u"Ann Smith [ann@example.com]");
  EXPECT_EQ(first.recipients, u"Bob [bob@example.com]");
  EXPECT_EQ(first.copy_recipients, u"Carl [carl@example.com]");
  EXPECT_EQ(first.blind_copy_recipients, u"Dana [dana@example.com]");
  EXPECT_EQ(first.list_position, 5);
}

TEST(OlderStoreProgress, ALargeFolderLimitsTheProgressRange) {
  ScratchFolder folder;
  WriteOlderStore(folder / "big.edb", 70000);
  std::filesystem::create_directories(folder / "work");
  OpenedStore store(folder / "big.edb", folder / "work");
  const ese::Table* table = store.recovery().session().OpenTableByName(u"1-500");
  ASSERT_NE(table, nullptr);
  std::size_t rows = 0;
  EXPECT_TRUE(LoadFolderItems(store.recovery(), table, [&rows](const FolderItem&) { ++rows; }));
  EXPECT_EQ(rows, 0u);
  auto& window = store.recorder();
  EXPECT_EQ(window.progress_range, (std::pair<int, int>{0, 50000}));
  ASSERT_EQ(window.progress_positions.size(), 70001u);
  EXPECT_EQ(window.progress_positions[69999], 69999) << "positions run on without wrapping";
  EXPECT_EQ(window.progress_positions.back(), 0);
  EXPECT_FALSE(LoadFolderItems(store.recovery(), nullptr, [](const FolderItem&) {}));
}

// Once given its gate, pauses it at the third progress position and says so.
class PausingWindow : public testing::RecordingWindowPort {
 public:
  void SetProgressPosition(int position) override {
    RecordingWindowPort::SetProgressPosition(position);
    if (gate != nullptr && progress_positions.size() == 3) {
      gate->Pause();
      std::lock_guard lock(mutex);
      paused = true;
      changed.notify_all();
    }
  }

  PauseGate* gate = nullptr;
  std::mutex mutex;
  std::condition_variable changed;
  bool paused = false;
};

TEST(OlderStoreStop, APausedLoaderMakesNoProgressUntilResumed) {
  ScratchFolder folder;
  WriteOlderStore(folder / "stop.edb", 0);
  std::filesystem::create_directories(folder / "work");
  PausingWindow window;
  OpenedStore store(folder / "stop.edb", folder / "work", &window);
  PrepareModel(store.recovery());
  window.progress_positions.clear();
  window.gate = &store.gate();

  std::thread loader([&] { LoadMailbox(store.recovery(), kInboxNode); });
  {
    std::unique_lock lock(window.mutex);
    window.changed.wait(lock, [&] { return window.paused; });
  }
  // The row whose position paused the gate is finished; the next one waits at the gate.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  // Taking the gate's lock also orders the loader's last writes before the reads below.
  EXPECT_TRUE(store.gate().IsPaused());
  EXPECT_EQ(window.progress_positions.size(), 3u);
  EXPECT_LE(window.list_rows.size(), 3u);
  EXPECT_NE(window.control_enabled[WindowControl::kFolderTree], true);
  store.gate().Resume();
  loader.join();
  EXPECT_EQ(window.list_rows.size(), 7u) << "Resume continues the same run";
  EXPECT_EQ(window.progress_positions.back(), 0);
  EXPECT_EQ(window.control_enabled[WindowControl::kFolderTree], true);
}

}  // namespace
}  // namespace tarvex::testing
