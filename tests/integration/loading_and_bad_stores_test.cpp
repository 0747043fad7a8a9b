// Loading on selection across a run, and stores that are damaged or nearly empty.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "base/utf_conversion.h"
#include "scenario_expectations.h"
#include "scenario_run.h"
#include "tools/edbforge/exchange/store_builder.h"

namespace tarvex::testing {
namespace {

constexpr std::u16string_view kLoadingHeaders =
    u"Please wait... Loading Mailbox Header Information";
constexpr std::u16string_view kLoadingBodies = u"Please wait... Loading Mailbox Body Information";

std::size_t CountOf(const std::vector<std::u16string>& texts, std::u16string_view text) {
  return static_cast<std::size_t>(std::count(texts.begin(), texts.end(), text));
}

TEST(LoadedSet, MailboxTablesAreReadOnceAndAgainAfterANewAnalysis) {
  ScratchFolder scratch;
  const std::filesystem::path database = scratch.path() / "store.edb";
  BuildScenario("2010-private", database);
  AnalysedStore store(database);
  ASSERT_EQ(store.Analyse(), AnalysisOutcome::kCompleted);

  const TreeNodeHandle inbox = store.Find({u"Alice Martin", u"Top of Information Store", u"Inbox"});
  const TreeNodeHandle receipts =
      store.Find({u"Alice Martin", u"Top of Information Store", u"Inbox", u"Receipts"});
  const TreeNodeHandle bobs_inbox =
      store.Find({u"Bob_ Chen", u"Top of Information Store", u"Inbox"});
  ASSERT_NE(inbox, kTopOfTree);
  ASSERT_NE(receipts, kTopOfTree);
  ASSERT_NE(bobs_inbox, kTopOfTree);

  EXPECT_FALSE(store.Select(inbox).empty());
  EXPECT_EQ(CountOf(store.window.status_texts, kLoadingHeaders), 1u);
  EXPECT_EQ(CountOf(store.window.status_texts, kLoadingBodies), 1u);
  // A second folder of the same mailbox lists from memory, only its own items.
  const auto receipt_rows = store.Select(receipts);
  ASSERT_EQ(receipt_rows.size(), 1u);
  EXPECT_EQ(receipt_rows[0][5], u"Receipt 2010-001");
  EXPECT_EQ(CountOf(store.window.status_texts, kLoadingHeaders), 1u);
  // Another mailbox has tables of its own.
  const auto bob_rows = store.Select(bobs_inbox);
  ASSERT_EQ(bob_rows.size(), 1u);
  EXPECT_EQ(bob_rows[0][5], u"Welcome, Bob");
  EXPECT_EQ(bob_rows[0][9], u"Bob_ Chen");
  EXPECT_EQ(CountOf(store.window.status_texts, kLoadingHeaders), 2u);

  // A new analysis forgets what was loaded: the first selection reads the tables again.
  ASSERT_EQ(store.Analyse(), AnalysisOutcome::kCompleted);
  const TreeNodeHandle inbox_again =
      store.Find({u"Alice Martin", u"Top of Information Store", u"Inbox"});
  ASSERT_NE(inbox_again, kTopOfTree);
  EXPECT_NE(inbox_again, inbox);
  store.window.status_texts.clear();
  const auto rows = store.Select(inbox_again);
  EXPECT_EQ(CountOf(store.window.status_texts, kLoadingHeaders), 1u);
  const ScenarioExpectations expected(ScenarioFile("2010-private"));
  EXPECT_EQ(rows.size(), expected.mailboxes()[0].children[0].children[0].items.size());
  // The old nodes belong to no folder any more.
  EXPECT_TRUE(store.Select(inbox).empty());
}

TEST(LoadedSet, PublicFoldersLoadEachOnTheirFirstSelection) {
  ScratchFolder scratch;
  const std::filesystem::path database = scratch.path() / "store.edb";
  BuildScenario("2010-public", database);
  AnalysedStore store(database);
  ASSERT_EQ(store.Analyse(), AnalysisOutcome::kCompleted);
  const TreeNodeHandle marketing = store.Find({u"Public Folder", u"Marketing"});
  const TreeNodeHandle support = store.Find({u"Public Folder", u"Support"});
  ASSERT_NE(marketing, kTopOfTree);
  ASSERT_NE(support, kTopOfTree);
  EXPECT_EQ(store.Select(marketing).size(), 3u);
  EXPECT_EQ(store.Select(support).size(), 1u);
  EXPECT_EQ(store.Select(marketing).size(), 3u);
  EXPECT_EQ(CountOf(store.window.status_texts, kLoadingHeaders), 2u);
  EXPECT_TRUE(store.Select(store.Find({u"Public Folder"})).empty());
}

TEST(BadStores, EmptyFoldersAndAStoreWithoutFoldersComplete) {
  ScratchFolder scratch;
  {
    edbforge::StoreDescription description;
    description.layout = edbforge::StoreLayout::kOlder;
    edbforge::MailboxDescription& mailbox = description.AddMailbox(u"Empty Box", u"/cn=empty");
    edbforge::FolderDescription& top = mailbox.AddFolder(u"Top of Information Store");
    top.AddFolder(u"Inbox", u"IPF.Note");
    top.AddFolder(u"Calendar", u"IPF.Appointment");
    const std::filesystem::path database = scratch.path() / "empty-folders.edb";
    edbforge::BuildStore(description, database);
    AnalysedStore store(database);
    ASSERT_EQ(store.Analyse(), AnalysisOutcome::kCompleted);
    const TreeNodeHandle inbox = store.Find({u"Empty Box", u"Top of Information Store", u"Inbox"});
    const TreeNodeHandle calendar =
        store.Find({u"Empty Box", u"Top of Information Store", u"Calendar"});
    ASSERT_NE(inbox, kTopOfTree);
    ASSERT_NE(calendar, kTopOfTree);
    EXPECT_TRUE(store.Select(inbox).empty());
    EXPECT_TRUE(store.Select(calendar).empty());
  }
  {
    edbforge::StoreDescription description;
    description.layout = edbforge::StoreLayout::k2010;
    description.kind = edbforge::StoreKind::kPublic;
    description.format_revision = 20;
    const std::filesystem::path database = scratch.path() / "no-folders.edb";
    edbforge::BuildStore(description, database);
    AnalysedStore store(database);
    ASSERT_EQ(store.Analyse(), AnalysisOutcome::kCompleted);
    const auto top = store.window.ChildrenOf(store.root);
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].text, u"Public Folder");
    EXPECT_TRUE(store.window.ChildrenOf(top[0].handle).empty());
  }
}

// A store cut short loses tables and records; whatever the analysis still finds must list
// without a fault, and what it cannot open is a clean failure.
TEST(BadStores, TruncatedStoresEndCleanly) {
  ScratchFolder scratch;
  const std::filesystem::path whole = scratch.path() / "whole.edb";
  BuildScenario("older-private", whole);
  const auto size = std::filesystem::file_size(whole);
  for (const std::uintmax_t keep : {size / 8, size / 2, size - 4096}) {
    const std::filesystem::path cut = scratch.path() / ("cut-" + std::to_string(keep) + ".edb");
    std::filesystem::copy_file(whole, cut);
    std::filesystem::resize_file(cut, keep);
    AnalysedStore store(cut);
    const AnalysisOutcome outcome = store.Analyse();
    ASSERT_FALSE(store.window.messages.empty()) << keep;
    if (keep == size - 4096) {
      // Only the last page is lost: the catalogue and the mailboxes are still there.
      ASSERT_EQ(outcome, AnalysisOutcome::kCompleted);
      EXPECT_NE(store.Find({u"Alice Martin"}), kTopOfTree);
    }
    if (outcome == AnalysisOutcome::kFailed) {
      EXPECT_TRUE(store.window.ChildrenOf(store.root).empty()) << keep;
      continue;
    }
    // Half the store or more is gone: the completion message says so, never "successfully".
    if (keep <= size / 2) {
      EXPECT_TRUE(store.window.messages.back().text.starts_with(kAnalysisLossesMessage))
          << keep << " " << Utf16ToUtf8(store.window.messages.back().text);
    }
    const std::vector<RecordedTreeNode> nodes = store.window.tree_nodes;
    for (const RecordedTreeNode& node : nodes) {
      for (const auto& row : store.Select(node.handle)) EXPECT_FALSE(row[0].empty()) << keep;
    }
  }
}

}  // namespace
}  // namespace tarvex::testing
