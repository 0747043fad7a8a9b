// The older layout: "Mailbox" and "Folders" rows, and the tree built from the folders' URL paths.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "folder_recovery_fixture.h"
#include "mailbox/folder_path.h"

namespace tarvex::testing {
namespace {

constexpr std::uint64_t kAlice = 0x1234;
constexpr std::uint64_t kBob = 0x5678;

// Folder ids as the older layout's replica 1 gives them: "1" and 14 hex digits.
std::uint64_t FolderId(std::uint64_t counter) {
  return (std::uint64_t{1} << 56) | counter;
}

FolderRowShape Row(std::uint64_t id, std::uint64_t mailbox, std::u16string name,
                   std::u16string path, std::u16string container_class = u"IPF.Note") {
  FolderRowShape row;
  row.folder_id = Id(FolderId(id));
  row.mailbox_number = Id(mailbox);
  row.display_name = std::move(name);
  row.url_path = std::move(path);
  row.container_class = std::move(container_class);
  return row;
}

std::u16string Status(std::u16string_view node_text) {
  return u"Status: (Step 4/7) Rebuilding mailbox folder information ( " +
         std::u16string(node_text) + u")";
}

const FolderLink* LinkNamed(const MailboxModel& model, std::u16string_view name) {
  for (const FolderLink& link : model.folder_links) {
    if (link.display_name == name) return &link;
  }
  return nullptr;
}

const FolderRow* RowNamed(const MailboxModel& model, std::u16string_view name) {
  for (const FolderRow& row : model.folder_rows) {
    if (row.display_name == name) return &row;
  }
  return nullptr;
}

// Two mailboxes with the folder shapes the tree builder must handle.
FolderStoreShape TwoMailboxStore() {
  FolderStoreShape shape;
  shape.format_revision = 14;
  shape.mailboxes = {{Id(kAlice), u"Alice, A", u"alice@example.com"},
                     {Id(kBob), u"Bob", u"bob@example.com"}};
  const std::u16string top = u"/Top of Information Store";
  std::vector<FolderRowShape> rows = {
      Row(1, kAlice, u"", u"/"),                                   // 0: store root
      Row(2, kAlice, u"Top of Information Store", top),            // 1
      Row(3, kAlice, u"Sent Items", top + u"/Sent"),               // 2
      Row(4, kAlice, u"Finder", u"/NON_IPM_SUBTREE/Finder", u""),  // 3
      Row(5, kAlice, u"x", u"/NON_IPM_SUBTREE/Finder/x", u""),     // 4
      Row(6, kAlice, u"Finders", top + u"/Finders"),               // 5
      Row(7, kAlice, u"Old mail", top + u"/Archive"),              // 6
      Row(8, kAlice, u"", u""),                                    // 7
      Row(9, kAlice, u"Calendar", top + u"/Calendar", u""),        // 8
      Row(10, kAlice, u"Inbox-Old", top + u"/Inbox-Old"),          // 9
      Row(11, kAlice, u"Sub", top + u"/inbox/Sub"),                // 10
      Row(12, kAlice, u"Projects", top + u"/Projects"),            // 11
      Row(0x4fd, kAlice, u"Inbox", top + u"/inbox"),               // 12
      Row(13, kAlice, u"Projects", top + u"/Projects"),            // 13
      Row(14, kAlice, u"C# and C++", top + u"/C%23 and C%2B%2B"),  // 14
      Row(15, kAlice, u"Plus", top + u"/Plus+Minus"),              // 15
      Row(16, 0x9999, u"Foreign", top + u"/Foreign"),              // 16
      Row(17, kBob, u"Top of Information Store", top),             // 17
      Row(18, kBob, u"Orphan", top + u"/Missing/Orphan"),          // 18
  };
  rows[7].display_name.reset();
  rows[7].url_path.reset();
  rows[7].container_class.reset();
  // Identifiers too short to be folder ids.
  FolderRowShape short_id = Row(0, kBob, u"Short", u"/Short");
  short_id.folder_id = Id(0x99);
  rows.push_back(short_id);  // 19
  short_id.folder_id = Id(0x98);
  short_id.display_name = u"Short2";
  short_id.url_path = u"/Short2";
  rows.push_back(short_id);  // 20
  // A chain 27 levels deep.
  std::u16string path;
  for (int level = 1; level <= 27; ++level) {
    const std::u16string name = u"Z" + FromAscii(std::to_string(level));
    path += u"/" + name;
    rows.push_back(Row(100 + static_cast<std::uint64_t>(level), kBob, name, path));
  }
  shape.folder_tables = {{u"Folders", rows, {}}};
  return shape;
}

TEST(OlderLayoutFolderTree, MailboxRowsBecomeEntriesAndNodes) {
  FolderRecovery store(TwoMailboxStore());
  ASSERT_TRUE(store.ok());
  store.AddMailboxes();
  const MailboxModel& model = store.model();
  ASSERT_EQ(model.mailboxes.size(), 2u);
  // The older layout has no alternate key.
  const MailboxEntry& alice = model.mailboxes[0];
  EXPECT_EQ((Texts{alice.mailbox_key, alice.alternate_key, alice.display_name, alice.owner_text}),
            (Texts{u"1234", u"", u"Alice_ A", u"alice@example.com"}));
  EXPECT_EQ(model.mailboxes[1].mailbox_key, u"5678");
  EXPECT_EQ(store.ChildTexts(store.root), (std::vector<std::u16string>{u"Alice_ A", u"Bob"}));
  EXPECT_EQ(model.mailboxes[0].tree_item, store.Child(store.root, u"Alice_ A"));
  EXPECT_EQ(store.Node(model.mailboxes[1].tree_item).image, 0);

  // An unreadable row makes no mailbox.
  EXPECT_FALSE(HandleMailboxRow(store.recovery(), nullptr));
  EXPECT_EQ(model.mailboxes.size(), 2u);
}

TEST(OlderLayoutFolderTree, FolderRowsCarryPathsKindsAndContentTables) {
  FolderRecovery store(TwoMailboxStore());
  ASSERT_TRUE(store.ok());
  store.AddMailboxes();
  store.BuildOlderLayoutTree();
  const MailboxModel& model = store.model();

  // The Finder rows and the row of an unknown mailbox make no record; every other row does.
  EXPECT_EQ(model.folder_rows.size(), 2u + 12u + 2u + 2u + 27u);
  EXPECT_EQ(RowNamed(model, u"x"), nullptr);
  EXPECT_EQ(RowNamed(model, u"Finder"), nullptr);
  EXPECT_EQ(RowNamed(model, u"Foreign"), nullptr);
  ASSERT_NE(RowNamed(model, u"Finders"), nullptr) << "only the segment /Finder is left out";

  const FolderRow* inbox = RowNamed(model, u"Inbox");
  ASSERT_NE(inbox, nullptr);
  EXPECT_EQ(Fields(*inbox),
            (Texts{u"1000000000004fd", u"", u"1234", u"/Top of Information Store/inbox", u"Inbox",
                   u"1-4FD", u"IPF.Note", u"Alice_ A",
                   u"/Top of Information Store/inbox+IPF.Note+12+1000000000004fd", u"12"}));
  // The store root has no path; a nameless row is named after its record.
  const FolderRow& root = model.folder_rows.front();
  EXPECT_EQ((Texts{root.display_name, root.url_path, root.composite_path}),
            (Texts{u"Unknown0", u"", u""}));
  const FolderRow* unknown = RowNamed(model, u"Unknown7");
  ASSERT_NE(unknown, nullptr);
  EXPECT_EQ((Texts{unknown->url_path, unknown->folder_kind}), (Texts{u"/Unknown7", u"Folder"}));
  // Escapes are undone in the path; "+" stays, and becomes " " in the composite path.
  const FolderRow* escaped = RowNamed(model, u"C# and C++");
  ASSERT_NE(escaped, nullptr);
  EXPECT_EQ(escaped->url_path, u"/Top of Information Store/C# and C--");
  const FolderRow* plus = RowNamed(model, u"Plus");
  ASSERT_NE(plus, nullptr);
  EXPECT_EQ(plus->url_path, u"/Top of Information Store/Plus+Minus");
  EXPECT_TRUE(
      plus->composite_path.starts_with(u"/Top of Information Store/Plus Minus+IPF.Note+15+"));
  // An id of fewer than 9 characters is dropped; the content table is made from the text read.
  const FolderRow* short_id = RowNamed(model, u"Short");
  ASSERT_NE(short_id, nullptr);
  EXPECT_EQ((Texts{short_id->folder_id, short_id->content_table_name, short_id->composite_path}),
            (Texts{u"", u"1-9", u"/Short+IPF.Note+19+"}));
}

TEST(OlderLayoutFolderTree, NodesFollowThePathOrderAndDepth) {
  FolderRecovery store(TwoMailboxStore());
  ASSERT_TRUE(store.ok());
  store.AddMailboxes();
  store.BuildOlderLayoutTree();
  const MailboxModel& model = store.model();
  const TreeNodeHandle alice = model.mailboxes[0].tree_item;
  const TreeNodeHandle bob = model.mailboxes[1].tree_item;

  // Ordered by the URL path segments, case-insensitively: Archive (named "Old mail") first, the
  // inbox before Inbox-Old, which must not come between the inbox and its subfolder. Calendar
  // has its icon by its name alone.
  EXPECT_EQ(store.Outline(alice),
            "Top of Information Store #0\n  Old mail #0\n  C# and C++ #0\n  Calendar #3\n"
            "  Finders #0\n  Inbox #7\n    Sub #0\n  Inbox-Old #0\n  Plus #0\n  Projects #0\n"
            "  Projects #0\n  Sent Items #12\nUnknown7 #0\n");
  const TreeNodeHandle top = store.Child(alice, u"Top of Information Store");
  const TreeNodeHandle inbox = store.Child(top, u"Inbox");
  const FolderLink* inbox_link = LinkNamed(model, u"Inbox");
  ASSERT_NE(inbox_link, nullptr);
  EXPECT_EQ(inbox_link->tree_item, inbox);
  EXPECT_EQ(Fields(*inbox_link),
            (Texts{u"1234", u"Alice_ A", u"alice@example.com", u"1000000000004fd", u"Inbox",
                   u"IPF_Note", u"\\Top of Information Store\\Inbox", u"12", u"2"}));
  const FolderLink* sub_link = LinkNamed(model, u"Sub");
  ASSERT_NE(sub_link, nullptr);
  EXPECT_EQ(sub_link->folder_path, u"\\Top of Information Store\\Inbox\\Sub");
  EXPECT_EQ(sub_link->depth, 3u);

  // Bob: identifiers too short to be folder ids keep their own names; the folder whose parent
  // row is missing stays in Bob's tree; the chain stops at level 26.
  std::string chain;
  for (int level = 1; level <= 26; ++level) {
    chain += std::string(2 * (level - 1), ' ') + "Z" + std::to_string(level) + " #0\n";
  }
  EXPECT_EQ(store.Outline(bob),
            "Short #0\nShort2 #0\nTop of Information Store #0\n  Orphan #0\n" + chain);
  const FolderLink* orphan = LinkNamed(model, u"Orphan");
  ASSERT_NE(orphan, nullptr);
  EXPECT_EQ(orphan->depth, 3u);
  EXPECT_EQ(orphan->folder_path, u"\\Top of Information Store\\Orphan");
  ASSERT_NE(LinkNamed(model, u"Z26"), nullptr);
  EXPECT_EQ(LinkNamed(model, u"Z26")->depth, 26u);
  EXPECT_EQ(LinkNamed(model, u"Z27"), nullptr);

  // One link per folder node; each node's handle is its own.
  EXPECT_EQ(model.folder_links.size(), 13u + 30u);
  for (const FolderLink& link : model.folder_links) {
    EXPECT_EQ(store.Node(link.tree_item).text, link.display_name);
  }
}

TEST(OlderLayoutFolderTree, OneStatusTextPerPathInTreeOrder) {
  FolderRecovery store(TwoMailboxStore());
  ASSERT_TRUE(store.ok());
  store.AddMailboxes();
  store.window.status_texts.clear();
  store.BuildOlderLayoutTree();
  std::vector<std::u16string> expected;
  for (std::u16string_view text :
       {u"Unknown0", u"Top of Information Store", u"Old mail", u"C# and C++", u"Calendar",
        u"Finders", u"Inbox", u"Sub", u"Inbox-Old", u"Plus", u"Projects", u"Projects",
        u"Sent Items", u"Unknown7", u"Short", u"Short2", u"Top of Information Store", u"Orphan"}) {
    expected.push_back(Status(text));
  }
  for (int level = 1; level <= 27; ++level) {
    expected.push_back(Status(u"Z" + FromAscii(std::to_string(level))));
  }
  EXPECT_EQ(store.window.status_texts, expected);
  // The "Folders" scan moved the progress bar once per row and back to 0.
  EXPECT_EQ(store.window.progress_positions.back(), 0);
}

TEST(OlderLayoutFolderTree, PublicStoreHasOneMailboxForEveryFolder) {
  FolderStoreShape shape;
  shape.format_revision = 14;
  shape.private_store = false;
  FolderRowShape no_mailbox = Row(2, 0, u"Top", u"/Top");
  no_mailbox.mailbox_number.reset();
  shape.folder_tables = {
      {u"Folders", {no_mailbox, Row(3, 0x4444, u"Public Folder", u"/Top/Public Folder")}, {}}};
  FolderRecovery store(shape);
  ASSERT_TRUE(store.ok());
  store.AddMailboxes();
  const MailboxModel& model = store.model();
  ASSERT_EQ(model.mailboxes.size(), 1u);
  const MailboxEntry& entry = model.mailboxes[0];
  EXPECT_EQ(entry.mailbox_key, u"public_folder");
  EXPECT_EQ(entry.alternate_key, u"public_folder");
  EXPECT_EQ(entry.display_name, u"Public Folder");
  EXPECT_EQ(entry.owner_text, u"Public Folder");
  EXPECT_EQ(store.ChildTexts(store.root), std::vector<std::u16string>{u"Public Folder"});

  store.BuildOlderLayoutTree();
  // An unreadable row still makes a folder of the public store, under its own "/Unknown" path.
  EXPECT_FALSE(HandleFolderRow(store.recovery(), nullptr, 5));
  ASSERT_EQ(model.folder_rows.size(), 3u);
  for (const FolderRow& row : model.folder_rows) EXPECT_EQ(row.mailbox_key, u"public_folder");
  const FolderRow& unreadable = model.folder_rows.back();
  EXPECT_EQ(unreadable.display_name, u"Unknown5");
  EXPECT_EQ(unreadable.composite_path, u"/Unknown5+Folder+5+");
  EXPECT_EQ(unreadable.content_table_name, u"1-");

  const TreeNodeHandle top = store.Child(entry.tree_item, u"Top");
  EXPECT_EQ(store.ChildTexts(top), std::vector<std::u16string>{u"Public Folder"});
}

TEST(OlderLayoutFolderTree, UnreadableRowsOfAPrivateStoreMakeNoFolder) {
  FolderRecovery store(TwoMailboxStore());
  ASSERT_TRUE(store.ok());
  store.AddMailboxes();
  EXPECT_FALSE(HandleFolderRow(store.recovery(), nullptr, 3));
  EXPECT_TRUE(store.model().folder_rows.empty()) << "no mailbox has an empty key";
  BuildFolderTree(store.recovery());
  EXPECT_TRUE(store.model().folder_links.empty());
}

TEST(OlderLayoutFolderTree, CurrencyIdentifiersReadLikeBinaryOnes) {
  FolderStoreShape shape;
  shape.format_revision = 14;
  // A Currency value is stored little-endian; read big-endian its bytes come out reversed.
  shape.mailboxes = {{testing::CurrencyId(0x3412000000000000), u"Carol", u"carol"}};
  FolderRowShape row = Row(0, 0, u"Inbox", u"/Inbox");
  row.folder_id = testing::CurrencyId(0xfd04000000000001);
  row.mailbox_number = testing::CurrencyId(0x3412000000000000);
  shape.folder_tables = {{u"Folders", {row}, {}}};
  FolderRecovery store(shape);
  ASSERT_TRUE(store.ok());
  store.AddMailboxes();
  store.BuildOlderLayoutTree();
  ASSERT_EQ(store.model().folder_links.size(), 1u);
  EXPECT_EQ(store.model().mailboxes[0].mailbox_key, u"1234");
  EXPECT_EQ(store.model().folder_links[0].content_key, u"1000000000004fd");
  EXPECT_EQ(store.model().folder_rows[0].content_table_name, u"1-4FD");
}

TEST(OlderLayoutFolderTree, CancelledRunBuildsNoNodes) {
  FolderRecovery store(TwoMailboxStore());
  ASSERT_TRUE(store.ok());
  store.AddMailboxes();
  NamedTableHandlers handlers;
  handlers.folder = FolderRowHandler(store.recovery());
  store.recovery().session().ScanNamedTable(u"Folders", handlers, store.recovery().scan_context());
  store.gate.Cancel();
  BuildFolderTree(store.recovery());
  EXPECT_TRUE(store.model().folder_links.empty());
}

// Duplicated identifiers, names and mailbox rows: the indexed handler and the tree builder
// give what walking the lists gives.
FolderStoreShape StoreWithDuplicates(std::uint32_t seed) {
  std::mt19937 random(seed);
  auto pick = [&](int count) { return static_cast<int>(random() % static_cast<unsigned>(count)); };
  FolderStoreShape shape;
  shape.format_revision = 14;
  shape.mailboxes = {{Id(0x111), u"One", u"one"},
                     {Id(0x222), u"Two", u"two"},
                     {Id(0x111), u"One again", u"one"},
                     {Id(0x22), u"Short key", u"short"},
                     {Id(0x333), u"Three", u"three"}};
  const std::u16string segments[] = {u"Inbox", u"inbox", u"Inbox-2", u"Inbox 2", u"A.B",    u"a_b",
                                     u"Sent",  u"(x)",   u"%20",     u"Finder",  u"Finders"};
  const std::uint64_t numbers[] = {0x111, 0x222, 0x22, 0x333, 0x444};
  std::vector<FolderRowShape> rows;
  for (int i = 0; i < 400; ++i) {
    std::u16string path;
    const int depth = pick(4);
    for (int level = 0; level <= depth; ++level) path += u"/" + segments[pick(11)];
    FolderRowShape row = Row(static_cast<std::uint64_t>(pick(60)), numbers[pick(5)],
                             u"F" + FromAscii(std::to_string(pick(40))), path);
    if (pick(10) == 0) row.url_path = u"/";
    rows.push_back(row);
  }
  shape.folder_tables = {{u"Folders", rows, {}}};
  return shape;
}

struct TreeResult {
  std::vector<FolderRow> rows;
  std::vector<FolderLink> links;
  std::vector<testing::RecordedTreeNode> nodes;
  std::vector<std::u16string> status_texts;
};

TreeResult BuildTree(const FolderStoreShape& shape, bool indexed) {
  FolderRecovery store(shape);
  EXPECT_TRUE(store.ok());
  if (!store.ok()) return {};
  store.AddMailboxes();
  store.BuildOlderLayoutTree(indexed);
  return {store.model().folder_rows, store.model().folder_links, store.window.tree_nodes,
          store.window.status_texts};
}

bool SameRows(const std::vector<FolderRow>& a, const std::vector<FolderRow>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x.folder_id == y.folder_id && x.mailbox_key == y.mailbox_key &&
           x.mailbox_name == y.mailbox_name && x.composite_path == y.composite_path &&
           x.display_name == y.display_name && x.record_number == y.record_number;
  });
}

TEST(OlderLayoutFolderTree, IndexedLookupsGiveWhatTheWalksGive) {
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    const FolderStoreShape shape = StoreWithDuplicates(seed);
    const TreeResult walked = BuildTree(shape, /*indexed=*/false);
    const TreeResult indexed = BuildTree(shape, /*indexed=*/true);
    ASSERT_FALSE(walked.links.empty());
    EXPECT_TRUE(SameRows(walked.rows, indexed.rows));
    EXPECT_EQ(walked.status_texts, indexed.status_texts);
    ASSERT_EQ(walked.nodes.size(), indexed.nodes.size());
    for (std::size_t i = 0; i < walked.nodes.size(); ++i) {
      EXPECT_EQ(walked.nodes[i].parent, indexed.nodes[i].parent);
      EXPECT_EQ(walked.nodes[i].text, indexed.nodes[i].text);
    }

    // Every row belongs to the first mailbox of its key; keys shorter than 3 own nothing.
    for (const FolderRow& row : indexed.rows) {
      EXPECT_TRUE(row.mailbox_key == u"111" || row.mailbox_key == u"222" ||
                  row.mailbox_key == u"333")
          << Utf16ToUtf8(row.mailbox_key);
      EXPECT_NE(row.mailbox_name, u"One again");
    }
    // A node's text is the name of the last row, of any mailbox, with its folder id.
    for (const FolderLink& link : indexed.links) {
      std::u16string expected;
      for (auto row = indexed.rows.rbegin(); row != indexed.rows.rend(); ++row) {
        if (row->folder_id == link.content_key) {
          expected = ReplacedAll(row->display_name, u"/", u"");
          break;
        }
      }
      EXPECT_EQ(link.display_name, expected);
      EXPECT_NE(link.mailbox_name, u"One again") << "a repeated mailbox row shows no folders";
    }
    // Each mailbox's links come in the exchange-sorted order of its rows' cleaned paths.
    for (std::u16string_view key : {u"111", u"222", u"333"}) {
      std::vector<std::pair<std::u16string, std::uint32_t>> paths;
      for (const FolderRow& row : indexed.rows) {
        if (row.mailbox_key == key && FolderPathDepth(row.composite_path) >= 1) {
          paths.emplace_back(CleanFolderPath(row.composite_path), row.record_number);
        }
      }
      for (std::size_t pass = 0; pass < paths.size(); ++pass) {
        for (std::size_t i = 0; i + 1 < paths.size(); ++i) {
          if (FolderPathLess(paths[i + 1].first, paths[i].first)) std::swap(paths[i], paths[i + 1]);
        }
      }
      std::vector<std::uint32_t> expected;
      for (const auto& path : paths) expected.push_back(path.second);
      std::vector<std::uint32_t> actual;
      for (const FolderLink& link : indexed.links) {
        if (link.mailbox_key == key) actual.push_back(link.record_number);
      }
      EXPECT_EQ(actual, expected) << std::string(key.begin(), key.end());
    }
  }
}

}  // namespace
}  // namespace tarvex::testing
