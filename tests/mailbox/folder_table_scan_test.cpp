// The 2010 layout: each "Folders-" table becomes top folders under its mailbox and the pending
// folders attached below them.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <random>
#include <set>

#include "base/utf16_text.h"
#include "folder_recovery_fixture.h"
#include "store/value_text.h"

namespace tarvex::testing {
namespace {

constexpr std::uint64_t kAlice = 0x100;
constexpr std::uint64_t kBob = 0x200;

FolderRowShape Row(std::uint64_t id, std::optional<std::uint64_t> parent, std::uint64_t mailbox,
                   std::u16string name, std::u16string container_class = u"IPF.Note") {
  FolderRowShape row;
  row.folder_id = Id(id);
  if (parent) row.parent_id = Id(*parent);
  row.mailbox_number = Id(mailbox);
  row.display_name = std::move(name);
  row.container_class = std::move(container_class);
  return row;
}

FolderRowShape RowUnderZero(std::uint64_t id, std::uint64_t mailbox, std::u16string name) {
  FolderRowShape row = Row(id, std::nullopt, mailbox, std::move(name));
  row.parent_id = FlaggedId("0");
  return row;
}

FolderStoreShape TwoMailboxStore() {
  FolderStoreShape shape;
  shape.format_revision = 20;
  shape.mailboxes = {{Id(kAlice), u"Alice", u"alice"}, {Id(kBob), u"Bob", u"bob"}};
  std::vector<FolderRowShape> alice = {
      Row(0x1001, std::nullopt, kAlice, u""),                        // 0: the root
      Row(0x1002, kAlice, kAlice, u"Top of Information Store"),      // 1: top
      Row(0x1005, 0x1004, kAlice, u"Deep"),                          // 2: before its parent
      Row(0x1004, 0x1002, kAlice, u"Sub1"),                          // 3
      Row(0x1006, kAlice, kAlice, u"Restriction"),                   // 4: never shown
      Row(0x1007, kAlice, kAlice, u"Calendar", u"IPF.Appointment"),  // 5: top
      Row(0x1008, 0x1002, kAlice, u"Sub2"),                          // 6
      Row(0x1009, 0x1007, kAlice, u"Dup"),                           // 7
      Row(0x100a, 0x1007, kAlice, u"Dup"),                           // 8
      Row(0x100b, kAlice, kAlice, u"Public Folder"),                 // 9: top
      Row(0x100c, kAlice, kAlice, u""),                              // 10: top without name
      RowUnderZero(0x1010, kAlice, u""),                             // 11
      RowUnderZero(0x1011, kAlice, u"Zero"),                         // 12: top
      Row(0x100d, 0x9999, kAlice, u"Orphan"),                        // 13: parent row lost
      Row(0x1012, kAlice, 0x300, u"Stranger"),                       // 14: no such mailbox
      Row(0x100e, 0x1002, kAlice, u"Inbox"),                         // 15
      Row(0x100f, 0x1002, kAlice, u""),                              // 16: child without name
  };
  std::vector<FolderRowShape> bob = {Row(0x2001, kBob, kBob, u"Top"),
                                     Row(0x2002, 0x2001, kBob, u"Child", u"IPF.Task")};
  shape.folder_tables = {{u"Folders-100", alice, {}}, {u"Folders-200", bob, {}}};
  return shape;
}

std::vector<std::u16string> NodeNames(const MailboxModel& model) {
  std::vector<std::u16string> names;
  for (const FolderNode& node : model.folder_nodes) names.push_back(node.display_name);
  return names;
}

TEST(FolderTableScan, TopFoldersAndAttachedChildrenInTableOrder) {
  FolderRecovery store(TwoMailboxStore());
  ASSERT_TRUE(store.ok());
  ASSERT_EQ(store.recovery().layout(), StoreLayout::k2010);
  store.AddMailboxes();
  const MailboxModel& model = store.model();
  ASSERT_EQ(model.mailboxes.size(), 2u);
  EXPECT_EQ(model.mailboxes[0].mailbox_key, u"100");
  EXPECT_EQ(model.mailboxes[0].alternate_key, u"100");
  store.Scan2010FolderTables();

  const TreeNodeHandle alice = model.mailboxes[0].tree_item;
  EXPECT_EQ(store.ChildTexts(alice),
            (std::vector<std::u16string>{u"Top of Information Store", u"Calendar", u"Public_Folder",
                                         u"Zero", u"Orphan"}));
  const TreeNodeHandle top = store.Child(alice, u"Top of Information Store");
  EXPECT_EQ(store.ChildTexts(top), (std::vector<std::u16string>{u"Sub1", u"Sub2", u"Inbox"}));
  EXPECT_EQ(store.ChildTexts(store.Child(top, u"Sub1")), std::vector<std::u16string>{u"Deep"});
  const TreeNodeHandle calendar = store.Child(alice, u"Calendar");
  EXPECT_EQ(store.ChildTexts(calendar), (std::vector<std::u16string>{u"Dup", u"Dup"}));
  EXPECT_EQ(store.Node(calendar).image, 3);
  EXPECT_EQ(store.Node(store.Child(top, u"Inbox")).image, 7);
  const TreeNodeHandle bob = model.mailboxes[1].tree_item;
  EXPECT_EQ(store.ChildTexts(bob), std::vector<std::u16string>{u"Top"});
  EXPECT_EQ(store.Node(store.Child(store.Child(bob, u"Top"), u"Child")).image, 13);

  // Newest first: the last table scanned (Alice's, catalogued first) at the front; per table the
  // top folders as the rows came, then the attached folders, newest top folder first, then the
  // branches whose parent row is gone, under their mailbox.
  EXPECT_EQ(NodeNames(model),
            (std::vector<std::u16string>{u"Orphan", u"Inbox", u"Sub2", u"Deep", u"Sub1", u"Dup", u"Dup",
                                         u"Zero", u"Public_Folder", u"Calendar",
                                         u"Top of Information Store", u"Child", u"Top"}));
  const FolderNode& deep = model.folder_nodes.at(3);
  EXPECT_EQ(deep.folder_key, u"1005");
  EXPECT_EQ(deep.parent_id, u"1004");
  EXPECT_EQ(deep.mailbox_key, u"100");
  EXPECT_EQ(deep.mailbox_name, u"Alice");
  EXPECT_EQ(deep.table_name, u"Folders-100");
  EXPECT_EQ(deep.folder_kind, u"IPF.Note");
  EXPECT_EQ(store.Node(deep.tree_item).text, u"Deep");
  const FolderNode& calendar_node = model.folder_nodes.at(9);
  EXPECT_EQ(calendar_node.folder_kind, u"calendar");
  EXPECT_EQ(calendar_node.parent_id, u"100");
  EXPECT_EQ(calendar_node.tree_item, calendar);
  EXPECT_EQ(model.folder_nodes.at(11).table_name, u"Folders-200");
  EXPECT_EQ(model.folder_nodes.at(11).mailbox_name, u"Bob");
  EXPECT_EQ(model.folder_nodes.at(11).folder_kind, u"task");
}

TEST(FolderTableScan, ProgressCyclesPerTableAndEndsAtZero) {
  FolderRecovery store(TwoMailboxStore());
  ASSERT_TRUE(store.ok());
  store.AddMailboxes();
  const ese::Table* table = store.recovery().session().OpenTableByName(u"Folders-100");
  ASSERT_NE(table, nullptr);
  store.window.progress_positions.clear();
  EXPECT_TRUE(ScanFolderTable(store.recovery(), table, u"Folders-100"));
  std::vector<int> expected;
  for (int position = 0; position < 17; ++position) expected.push_back(position);
  expected.push_back(0);
  EXPECT_EQ(store.window.progress_positions, expected);
  EXPECT_EQ(store.recovery().session().current_record_number(), 16u);

  EXPECT_FALSE(ScanFolderTable(store.recovery(), nullptr, u"Folders-100"));
  EXPECT_FALSE(ScanFolderTable(store.recovery(), table, u""));
}

TEST(FolderTableScan, AColumnATableLacksReadsAsAbsent) {
  FolderStoreShape shape;
  shape.format_revision = 20;
  shape.mailboxes = {{Id(kAlice), u"Alice", u"alice"}, {Id(kBob), u"Bob", u"bob"}};
  // Catalogued first, so scanned after the complete table; its columns sit one place earlier.
  shape.folder_tables = {{u"Folders-200", {Row(0x2001, kBob, kBob, u"Unnamed")}, {u"S3001"}},
                         {u"Folders-100", {Row(0x1001, kAlice, kAlice, u"Named")}, {}}};
  FolderRecovery store(shape);
  ASSERT_TRUE(store.ok());
  store.AddMailboxes();
  store.Scan2010FolderTables();
  EXPECT_EQ(store.ChildTexts(store.model().mailboxes[0].tree_item),
            std::vector<std::u16string>{u"Named"});
  EXPECT_TRUE(store.ChildTexts(store.model().mailboxes[1].tree_item).empty())
      << "a folder without a name column has no name";
}

TEST(FolderTableScan, PublicStoreUsesTheAlternativeFolderKey) {
  FolderStoreShape shape;
  shape.format_revision = 17;
  shape.private_store = false;
  const std::uint64_t top_id = 0x0001000000000abc;
  FolderRowShape top = RowUnderZero(top_id, 0x77, u"Top");
  FolderRowShape child = Row(0x0001000000000abd, top_id, 0x77, u"Public Folder");
  FolderRowShape restriction = Row(0x0001000000000abe, top_id, 0x77, u"Restriction");
  shape.folder_tables = {{u"Folders-1", {top, child, restriction}, {}}};
  FolderRecovery store(shape);
  ASSERT_TRUE(store.ok());
  store.AddMailboxes();
  ASSERT_EQ(store.ChildTexts(store.root), std::vector<std::u16string>{u"Public Folder"});
  store.Scan2010FolderTables();

  const MailboxModel& model = store.model();
  const TreeNodeHandle public_node = model.mailboxes[0].tree_item;
  EXPECT_EQ(store.ChildTexts(public_node), std::vector<std::u16string>{u"Top"});
  EXPECT_EQ(store.ChildTexts(store.Child(public_node, u"Top")),
            std::vector<std::u16string>{u"Public_Folder"});
  ASSERT_EQ(model.folder_nodes.size(), 2u);
  const FolderNode& node = model.folder_nodes.at(0);
  const std::array<std::uint8_t, 8> id_bytes = {0, 1, 0, 0, 0, 0, 0x0a, 0xbd};
  EXPECT_EQ(node.folder_key, AlternativeIdentifierText(id_bytes, ByteOrder::kBigEndian));
  EXPECT_NE(node.folder_key, u"1000000000abd");
  EXPECT_EQ(node.parent_id, u"1000000000abc");
  EXPECT_EQ(node.mailbox_key, u"public_folder");
  EXPECT_EQ(node.mailbox_name, u"Public Folder");
}

TEST(FolderTableScan, AParentIdOfZeroBytesMakesATopFolder) {
  // Public folder tables give their top folders the parent identifier 0, stored as eight
  // zero bytes.
  FolderStoreShape shape;
  shape.format_revision = 17;
  shape.private_store = false;
  FolderRowShape marketing = Row(0x0001000000000abc, 0, 0x77, u"Marketing");
  FolderRowShape support = Row(0x0001000000000abd, 0, 0x77, u"Support");
  FolderRowShape root = Row(0x0001000000000abe, 0, 0x77, u"");
  FolderRowShape campaigns = Row(0x0001000000000abf, 0x0001000000000abc, 0x77, u"Campaigns");
  shape.folder_tables = {{u"Folders-1", {marketing, support, root, campaigns}, {}}};
  FolderRecovery store(shape);
  ASSERT_TRUE(store.ok());
  store.AddMailboxes();
  store.Scan2010FolderTables();
  const TreeNodeHandle public_node = store.model().mailboxes[0].tree_item;
  EXPECT_EQ(store.ChildTexts(public_node), (std::vector<std::u16string>{u"Marketing", u"Support"}));
  EXPECT_EQ(store.ChildTexts(store.Child(public_node, u"Marketing")),
            std::vector<std::u16string>{u"Campaigns"});
}

TEST(FolderTableScan, RowsNamingEachOtherAsParentsEnd) {
  FolderStoreShape shape;
  shape.format_revision = 20;
  shape.mailboxes = {{Id(kAlice), u"Alice", u"alice"}};
  shape.folder_tables = {{u"Folders-100",
                          {Row(0x10, kAlice, kAlice, u"Top"), Row(0x11, 0x12, kAlice, u"A"),
                           Row(0x12, 0x11, kAlice, u"B"), Row(0x10, 0x10, kAlice, u"Self"),
                           Row(0x13, 0x10, kAlice, u"Kid")},
                          {}}};
  FolderRecovery store(shape);
  ASSERT_TRUE(store.ok());
  store.AddMailboxes();
  store.Scan2010FolderTables();
  // "Self" repeats the top folder's id and names it as its parent: it goes below "Top" once,
  // and the folders below that id appear below it as well, but never "Self" again.
  const TreeNodeHandle mailbox = store.model().mailboxes[0].tree_item;
  const TreeNodeHandle top = store.Child(mailbox, u"Top");
  EXPECT_EQ(store.ChildTexts(top), (std::vector<std::u16string>{u"Self", u"Kid"}));
  const TreeNodeHandle self = store.Child(top, u"Self");
  EXPECT_EQ(store.ChildTexts(self), std::vector<std::u16string>{u"Kid"});
  // A and B, each the other's parent, are not lost: the first goes under the mailbox, the
  // other below it.
  EXPECT_EQ(store.ChildTexts(mailbox), (std::vector<std::u16string>{u"Top", u"A"}));
  EXPECT_EQ(store.ChildTexts(store.Child(mailbox, u"A")), std::vector<std::u16string>{u"B"});
  EXPECT_EQ(store.model().folder_nodes.size(), 6u);
}

TEST(FolderTableScan, RepeatedIdentifiersCannotMultiplyNodesWithoutBound) {
  FolderStoreShape shape;
  shape.format_revision = 20;
  shape.mailboxes = {{Id(kAlice), u"Alice", u"alice"}};
  std::vector<FolderRowShape> rows = {Row(0x10, kAlice, kAlice, u"Top")};
  // Two rows per level with the same id: walked naively, level n appears 2^n times.
  for (std::uint64_t level = 1; level <= 30; ++level) {
    const std::uint64_t parent = level == 1 ? 0x10 : 0x100 + level - 1;
    rows.push_back(Row(0x100 + level, parent, kAlice, u"L"));
    rows.push_back(Row(0x100 + level, parent, kAlice, u"L"));
  }
  shape.folder_tables = {{u"Folders-100", rows, {}}};
  FolderRecovery store(shape);
  ASSERT_TRUE(store.ok());
  store.AddMailboxes();
  store.Scan2010FolderTables();
  EXPECT_GT(store.model().folder_nodes.size(), rows.size());
  EXPECT_LE(store.model().folder_nodes.size(), 1u + 16u * (rows.size() + 1));
}

TEST(FolderTableScan, LongChainsAttachEachBelowTheLast) {
  FolderStoreShape shape;
  shape.format_revision = 20;
  shape.mailboxes = {{Id(kAlice), u"Alice", u"alice"}};
  constexpr std::uint64_t kDepth = 4000;
  std::vector<FolderRowShape> rows;
  // Deepest first, so that every row waits for its parent.
  for (std::uint64_t level = kDepth; level >= 1; --level) {
    rows.push_back(Row(0x10000 + level, level == 1 ? kAlice : 0x10000 + level - 1, kAlice, u"C"));
  }
  shape.folder_tables = {{u"Folders-100", rows, {}}};
  FolderRecovery store(shape);
  ASSERT_TRUE(store.ok());
  store.AddMailboxes();
  store.Scan2010FolderTables();
  ASSERT_EQ(store.model().folder_nodes.size(), kDepth);
  // Each node hangs below the one made before it.
  const auto& nodes = store.window.tree_nodes;
  for (std::size_t i = nodes.size() - kDepth + 1; i < nodes.size(); ++i) {
    ASSERT_EQ(nodes[i].parent, nodes[i - 1].handle) << i;
  }
}

// The attach phase against the recursive walk it replaces, on rows with repeated parents,
// names and identifiers (no row is its own ancestor, so the walk ends).
TEST(FolderTableScan, AttachingGivesWhatTheRecursiveWalkGives) {
  for (std::uint32_t seed : {7u, 8u, 9u}) {
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    auto pick = [&](unsigned count) { return static_cast<std::uint64_t>(random() % count); };
    FolderStoreShape shape;
    shape.format_revision = 20;
    shape.mailboxes = {{Id(kAlice), u"Alice", u"alice"}};
    std::vector<FolderRowShape> rows;
    // Ids grow with the level, and parents come from the level above: no cycles.
    for (int i = 0; i < 300; ++i) {
      const std::uint64_t level = pick(5);
      const std::uint64_t id = 0x1000 * (level + 1) + pick(40);
      const std::uint64_t parent = level == 0 ? kAlice : 0x1000 * level + pick(40);
      rows.push_back(Row(id, parent, kAlice, u"N" + FromAscii(std::to_string(pick(20)))));
    }
    shape.folder_tables = {{u"Folders-100", rows, {}}};
    FolderRecovery store(shape);
    ASSERT_TRUE(store.ok());
    store.AddMailboxes();
    store.Scan2010FolderTables();

    // The walk: every node as (parent node number, name), in insertion order.
    std::vector<std::pair<std::size_t, std::u16string>> expected;
    std::vector<std::size_t> top_rows;
    std::vector<std::size_t> pending_rows;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].parent_id->number == kAlice) {
        top_rows.push_back(i);
        expected.emplace_back(0, *rows[i].display_name);
      } else {
        pending_rows.push_back(i);
      }
    }
    std::function<void(std::uint64_t, std::size_t)> attach = [&](std::uint64_t id,
                                                                 std::size_t node) {
      for (std::size_t p : pending_rows) {
        if (rows[p].parent_id->number != id) continue;
        expected.emplace_back(node, *rows[p].display_name);
        attach(rows[p].folder_id->number, expected.size());
      }
    };
    for (std::size_t t = top_rows.size(); t-- > 0;)
      attach(rows[top_rows[t]].folder_id->number, t + 1);
    // Then each branch whose parent is no row (its row lost), under the mailbox, in table order.
    std::set<std::uint64_t> row_ids;
    for (const FolderRowShape& row : rows) row_ids.insert(row.folder_id->number);
    for (std::size_t p : pending_rows) {
      if (row_ids.contains(rows[p].parent_id->number)) continue;
      expected.emplace_back(0, *rows[p].display_name);
      attach(rows[p].folder_id->number, expected.size());
    }

    // The recorded tree, numbered the same way (mailbox node 0, then folder nodes from 1).
    const TreeNodeHandle mailbox = store.model().mailboxes[0].tree_item;
    std::vector<std::pair<std::size_t, std::u16string>> actual;
    for (const auto& node : store.window.tree_nodes) {
      if (node.handle <= mailbox) continue;
      actual.emplace_back(node.parent == mailbox ? 0 : node.parent - mailbox, node.text);
    }
    EXPECT_EQ(actual, expected);
  }
}

}  // namespace
}  // namespace tarvex::testing
