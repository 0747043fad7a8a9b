// The deep scan end to end: stores written with items left deleted, on released pages and with
// older copies, then damaged as real stores are (branch pages lost, pages overwritten, the
// file cut short). What must come back is derived from where the writer put each row: every
// item whose rows stand on intact pages, listed once, in its folder (or, when that folder's row
// or its listing row is lost, in "Recovered items"), in its state.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "base/utf_conversion.h"
#include "ese/byte_order.h"
#include "ese/format.h"
#include "mailbox/item_extraction.h"
#include "mailbox/recovered_items.h"
#include "output/export_run.h"
#include "scenario_run.h"
#include "support/test_files.h"
#include "tools/edbforge/ese/damage.h"
#include "tools/edbforge/exchange/store_builder.h"

namespace tarvex::testing {
namespace {

using edbforge::ItemState;

constexpr int kMailboxes = 2;
constexpr int kFoldersPerMailbox = 3;
constexpr int kItemsPerFolder = 40;

std::u16string SubjectOf(int mailbox, int folder, int item) {
  return Utf8ToUtf16("Item " + std::to_string(mailbox) + "." + std::to_string(folder) + "." +
                     std::to_string(item));
}

bool HasEarlierCopy(int item) {
  return item % 5 == 1;
}

// Every seventh item is left deleted on its page, every eleventh only on a released page.
ItemState StateOf(int item) {
  if (item % 11 == 5) return ItemState::kReleased;
  if (item % 7 == 3) return ItemState::kDeleted;
  return ItemState::kLive;
}

// Two mailboxes of three folders of forty items: every seventh item deleted on its page, every
// eleventh only on a released page, every fifth with an older copy under another subject.
edbforge::StoreDescription DescribeStore(edbforge::StoreLayout layout) {
  edbforge::StoreDescription description;
  description.layout = layout;
  description.format_revision = layout == edbforge::StoreLayout::k2010 ? 20 : 12;
  for (int mailbox = 0; mailbox < kMailboxes; ++mailbox) {
    edbforge::MailboxDescription& box = description.AddMailbox(
        Utf8ToUtf16("Mailbox " + std::to_string(mailbox)), u"/o=Tarvex/cn=owner");
    box.table_suffix = Utf8ToUtf16(std::to_string(101 + mailbox));
    edbforge::FolderDescription& top = box.AddFolder(u"Top of Information Store");
    for (int folder = 0; folder < kFoldersPerMailbox; ++folder) {
      edbforge::FolderDescription& items =
          top.AddFolder(Utf8ToUtf16("Folder " + std::to_string(folder)), u"IPF.Note");
      for (int item = 0; item < kItemsPerFolder; ++item) {
        edbforge::ItemDescription& written = items.AddItem(u"IPM.Note");
        written.Set(u"Se1d", edbforge::Text(SubjectOf(mailbox, folder, item)))
            .Set(u"S42", edbforge::Text(u"Sender"))
            .Set(u"S1000", edbforge::Text(u"Body of " + SubjectOf(mailbox, folder, item) +
                                          std::u16string(300, u'.')));
        written.state = StateOf(item);
        if (HasEarlierCopy(item) && written.state == ItemState::kLive) {
          written.earlier_cells.emplace();
          written.earlier_cells->Set(
              u"Se1d", edbforge::Text(u"Earlier " + SubjectOf(mailbox, folder, item)));
        }
      }
    }
  }
  return description;
}

struct Listed {
  std::vector<std::u16string> path;
  std::u16string state;
};

// Every item the analysis lists in any folder of its tree, by subject: where and in what state.
void ListBelow(AnalysedStore& store, TreeNodeHandle node, std::vector<std::u16string>& path,
               std::map<std::u16string, std::vector<Listed>>& listed) {
  for (const RecordedTreeNode& child : store.window.ChildrenOf(node)) {
    path.push_back(child.text);
    for (const std::vector<std::u16string>& row : store.Select(child.handle)) {
      listed[row.at(5)].push_back({path, row.at(kItemStateColumn)});
    }
    ListBelow(store, child.handle, path, listed);
    path.pop_back();
  }
}

std::map<std::u16string, std::vector<Listed>> ListAll(AnalysedStore& store) {
  std::map<std::u16string, std::vector<Listed>> listed;
  std::vector<std::u16string> path;
  ListBelow(store, store.root, path, listed);
  return listed;
}

// The leaf pages of the catalogue's two copies (its rows), from the page headers of the
// undamaged file.
std::map<std::uint32_t, std::vector<std::uint32_t>> CataloguePages(
    const std::filesystem::path& database) {
  std::ifstream in(database, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  const std::uint32_t page_size = ese::LoadLe32(bytes.data() + ese::file_header::kPageSize);
  std::map<std::uint32_t, std::vector<std::uint32_t>> pages;
  for (std::uint32_t number = 1; (number + 2ull) * page_size <= bytes.size(); ++number) {
    const std::uint8_t* page = bytes.data() + (number + 1ull) * page_size;
    const std::uint32_t object = ese::LoadLe32(page + ese::page_header::kFatherObjectId);
    const std::uint32_t flags = ese::LoadLe32(page + ese::page_header::kFlags);
    if ((flags & ese::page_flag::kLeaf) != 0 &&
        (object == ese::kCatalogObjectId || object == ese::kCatalogShadowObjectId)) {
      pages[object].push_back(number);
    }
  }
  return pages;
}

class DeepScan : public ::testing::TestWithParam<edbforge::StoreLayout> {
 protected:
  void SetUp() override {
    database_ = scratch_.path() / "store.edb";
    pages_ = edbforge::BuildStore(DescribeStore(GetParam()), database_);
  }

  // Whether the item's folder, its ancestors and its mailbox stand on intact pages.
  bool FolderIntact(std::size_t folder, const edbforge::DamageReport& damage) const {
    if (!damage.Intact(pages_.mailbox_pages.at(pages_.folder_mailboxes.at(folder)))) return false;
    for (std::optional<std::size_t> at = folder; at; at = pages_.folder_parents.at(*at)) {
      if (!damage.Intact(pages_.folder_pages.at(*at))) return false;
    }
    return true;
  }

  bool AnyFolderIntact(std::size_t mailbox, const edbforge::DamageReport& damage) const {
    for (std::size_t folder = 0; folder < pages_.folder_pages.size(); ++folder) {
      if (pages_.folder_mailboxes[folder] == mailbox && pages_.folder_paths[folder].size() > 1 &&
          FolderIntact(folder, damage)) {
        return true;
      }
    }
    return false;
  }

  ScratchFolder scratch_;
  std::filesystem::path database_;
  edbforge::StorePages pages_;
};

TEST_P(DeepScan, DeletedReleasedAndEarlierCopiesOfAnUndamagedStore) {
  AnalysedStore quick(database_);
  ASSERT_EQ(quick.Analyse(), AnalysisOutcome::kCompleted);
  const auto quick_listed = ListAll(quick);
  AnalysedStore deep(database_);
  ASSERT_EQ(deep.Analyse(ScanDepth::kDeep), AnalysisOutcome::kCompleted);
  const auto deep_listed = ListAll(deep);

  std::size_t items = 0;
  for (const edbforge::StorePages::Item& item : pages_.items) {
    const std::vector<std::u16string>& path = pages_.folder_paths.at(item.folder);
    const int mailbox = path[0].back() - u'0';
    const int folder = path[2].back() - u'0';
    const std::u16string subject = SubjectOf(mailbox, folder, static_cast<int>(item.index));
    const bool live = item.state == ItemState::kLive;
    SCOPED_TRACE(Utf16ToUtf8(subject));
    const auto found = deep_listed.find(subject);
    ASSERT_NE(found, deep_listed.end()) << "every item comes back";
    ASSERT_EQ(found->second.size(), 1u) << "no item is listed twice";
    EXPECT_EQ(found->second[0].path, path) << "in its folder";
    EXPECT_EQ(found->second[0].state, live ? u"live" : u"deleted");
    EXPECT_EQ(quick_listed.count(subject), live ? 1u : 0u)
        << "the quick scan lists the live items only";
    ++items;
  }
  EXPECT_EQ(items, static_cast<std::size_t>(kMailboxes * kFoldersPerMailbox * kItemsPerFolder));
  // The store's index trees, views and system tables hold keys and copies of ids of these
  // items: none of their entries comes back as an item of its own.
  EXPECT_EQ(deep_listed.size(), items);
  for (const auto& [subject, listed] : deep_listed) {
    EXPECT_FALSE(subject.starts_with(u"Earlier")) << "an older copy is no item of its own";
  }
}

TEST_P(DeepScan, ExportLeavesDeletedItemsOutUnlessAskedFor) {
  AnalysedStore deep(database_);
  ASSERT_EQ(deep.Analyse(ScanDepth::kDeep), AnalysisOutcome::kCompleted);
  const std::vector<std::u16string> path = pages_.folder_paths.back();
  std::size_t live = 0;
  std::vector<std::string> deleted_bodies;
  for (const edbforge::StorePages::Item& item : pages_.items) {
    if (pages_.folder_paths.at(item.folder) != path) continue;
    if (item.state == ItemState::kLive) {
      ++live;
    } else {
      deleted_bodies.push_back(
          "Body of " +
          Utf16ToUtf8(SubjectOf(path[0].back() - u'0', path[2].back() - u'0',
                                static_cast<int>(item.index))) +
          ".");  // the body goes on with dots: "Item 1.2.3" is no "Item 1.2.33"
    }
  }
  ASSERT_FALSE(deleted_bodies.empty());
  for (const bool include_deleted : {false, true}) {
    SCOPED_TRACE(include_deleted ? "with deleted items" : "without deleted items");
    ExportRequest request;
    request.folders = {deep.Find(path)};
    request.output_folder = scratch_.path() / (include_deleted ? "with" : "without");
    request.manifest_folder = scratch_.path();
    request.saver = TARVEX_SAVER;
    request.include_deleted = include_deleted;
    const ExportOutcome outcome = RunExport(deep.recovery(), request);
    const std::size_t deleted = deleted_bodies.size();
    EXPECT_EQ(outcome.items_saved, static_cast<int>(include_deleted ? live + deleted : live));
    EXPECT_EQ(outcome.deleted_left_out, include_deleted ? 0 : static_cast<int>(deleted));
    // The deleted items' bodies come with them.
    std::string written;
    for (const auto& file : std::filesystem::recursive_directory_iterator(request.output_folder)) {
      if (file.is_regular_file()) written += FileText(file.path());
    }
    for (const std::string& body : deleted_bodies) {
      EXPECT_EQ(written.find(body) != std::string::npos, include_deleted) << body;
    }
  }
}

struct DamageCase {
  const char* what;
  edbforge::DamageOptions options;
};

TEST_P(DeepScan, DamagedCopiesGiveBackEveryItemOnIntactPages) {
  const std::map<std::uint32_t, std::vector<std::uint32_t>> catalogue = CataloguePages(database_);
  const std::vector<DamageCase> cases = {
      {"branch pages zeroed", {.zero_branches = true}},
      {"1 % of the pages zeroed", {.page_rate = 0.01, .seed = 7}},
      {"5 % of the pages overwritten with noise", {.page_rate = 0.05, .noise = true, .seed = 11}},
      {"10 % of the pages zeroed", {.page_rate = 0.10, .seed = 5}},
      {"the file cut at half", {.keep_fraction = 0.5}},
  };
  for (const DamageCase& damage_case : cases) {
    SCOPED_TRACE(damage_case.what);
    const std::filesystem::path damaged = scratch_.path() / "damaged.edb";
    const edbforge::DamageReport damage =
        edbforge::DamageDatabase(database_, damaged, damage_case.options);
    // Without the rows of one whole copy of the catalogue, what stands on intact pages may be
    // unnamed.
    bool catalogue_intact = false;
    for (const auto& [object, pages] : catalogue) {
      bool whole = true;
      for (std::uint32_t page : pages) whole = whole && damage.Intact(page);
      catalogue_intact = catalogue_intact || whole;
    }
    AnalysedStore quick(damaged);
    quick.Analyse();
    const std::size_t quick_found = ListAll(quick).size();
    AnalysedStore deep(damaged);
    deep.Analyse(ScanDepth::kDeep);
    const auto listed = ListAll(deep);

    std::size_t expected = 0;
    std::size_t found = 0;
    for (const edbforge::StorePages::Item& item : pages_.items) {
      const bool older = GetParam() == edbforge::StoreLayout::kOlder;
      const bool listed_row = damage.Intact(item.listing_page);
      // In the older layout the "Msg" row alone holds the item too.
      if (item.state != ItemState::kLive || !catalogue_intact ||
          !(listed_row || (older && damage.Intact(item.main_page)))) {
        continue;
      }
      const std::vector<std::u16string>& path = pages_.folder_paths.at(item.folder);
      const std::size_t mailbox = pages_.folder_mailboxes.at(item.folder);
      const bool in_own_folder = listed_row && FolderIntact(item.folder, damage);
      // A lost folder or listing row leaves the item to "Recovered items": the store's (older
      // layout), or its mailbox's, which needs the mailbox and one of its folders.
      const bool placeable =
          in_own_folder || older ||
          (damage.Intact(pages_.mailbox_pages.at(mailbox)) && AnyFolderIntact(mailbox, damage));
      if (!placeable) continue;
      ++expected;
      const std::u16string subject =
          SubjectOf(path[0].back() - u'0', path[2].back() - u'0', static_cast<int>(item.index));
      SCOPED_TRACE(Utf16ToUtf8(subject) + " stands on intact pages");
      auto where = listed.find(subject);
      // With its listing row lost, the older copy of that row is what comes back of it.
      if (where == listed.end() && HasEarlierCopy(static_cast<int>(item.index))) {
        where = listed.find(u"Earlier " + subject);
      }
      if (where == listed.end()) {
        ADD_FAILURE() << "not listed";
        continue;
      }
      EXPECT_EQ(where->second.size(), 1u) << "listed once";
      if (in_own_folder) {
        EXPECT_EQ(where->second[0].path, path) << "in its folder";
      }
      EXPECT_NE(where->second[0].state, u"deleted");
      ++found;
    }
    std::cout << "  " << damage_case.what << ": " << damage.hit_pages.size() << " pages hit; "
              << expected << " items on intact pages, deep scan " << found << ", quick scan "
              << quick_found << "\n";
    EXPECT_GE(found, quick_found > expected ? expected : quick_found)
        << "the deep scan finds at least what the quick scan finds";
  }
}

// The command line on a copy whose branch pages are lost: the quick scan cannot read the store,
// `--deep` lists a folder whole with each item's state and reports what it found.
TEST_P(DeepScan, CommandLineDeepScanOfAStoreWithoutBranchPages) {
  const std::filesystem::path damaged = scratch_.path() / "branchless.edb";
  edbforge::DamageDatabase(database_, damaged, {.zero_branches = true});
  const std::string folder = "Mailbox 0/Top of Information Store/Folder 1";
  const ProgramRun quick = RunTarvex({"list", "--json", damaged.string(), folder}, scratch_.path());
  EXPECT_NE(quick.exit_code, 0);
  const ProgramRun deep = RunTarvex(
      {"list", "--deep", "--verbose", "--json", damaged.string(), folder}, scratch_.path());
  ASSERT_TRUE(deep.exit_code == 0 || deep.exit_code == 7) << deep.err;
  const nlohmann::json items = nlohmann::json::parse(deep.out).at("items");
  std::map<std::string, int> states;
  for (const nlohmann::json& item : items) ++states[item.at("state").get<std::string>()];
  int flagged = 0;
  for (int item = 0; item < kItemsPerFolder; ++item) {
    flagged += StateOf(item) == ItemState::kDeleted ? 1 : 0;
  }
  EXPECT_EQ(static_cast<int>(items.size()), kItemsPerFolder);
  // No tree leads to any leaf, so a released page cannot be told from one cut off: its items
  // come back as recovered, like the live ones; those flagged deleted stay deleted.
  EXPECT_EQ(states["recovered"], kItemsPerFolder - flagged);
  EXPECT_EQ(states["deleted"], flagged);
  EXPECT_NE(deep.err.find("only by the deep scan"), std::string::npos) << deep.err;
  const ProgramRun info = RunTarvex({"info", "--deep", "-q", damaged.string()}, scratch_.path());
  EXPECT_NE(info.out.find("Mailbox 1"), std::string::npos) << info.out << info.err;
}

// A public store of the 2010 layout keeps a header table per folder: with the folder rows lost,
// those tables' items go to the store's Recovered items, with their bodies.
TEST(DeepScanPublicStore, ItemsOfFoldersWhoseRowsAreLostGoToRecoveredItems) {
  edbforge::StoreDescription description;
  description.layout = edbforge::StoreLayout::k2010;
  description.kind = edbforge::StoreKind::kPublic;
  description.format_revision = 20;
  for (int folder = 0; folder < 2; ++folder) {
    edbforge::FolderDescription& written = description.folders.emplace_back();
    written.name = Utf8ToUtf16("Folder " + std::to_string(folder));
    written.container_class = u"IPF.Note";
    for (int item = 0; item < 3; ++item) {
      written.AddItem(u"IPM.Note")
          .Set(u"Se1d", edbforge::Text(SubjectOf(0, folder, item)))
          .Set(u"S42", edbforge::Text(u"Sender"));
    }
  }
  ScratchFolder scratch;
  const std::filesystem::path database = scratch.path() / "public.edb";
  const edbforge::StorePages pages = edbforge::BuildStore(description, database);
  // Every folder row's page zeroed.
  std::string bytes = FileText(database);
  const std::uint32_t page_size = ese::LoadLe32(
      reinterpret_cast<const std::uint8_t*>(bytes.data()) + ese::file_header::kPageSize);
  for (std::uint32_t page : pages.folder_pages) {
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>((page + 1ull) * page_size), page_size,
                '\0');
  }
  const std::filesystem::path damaged = scratch.path() / "damaged.edb";
  std::ofstream(damaged, std::ios::binary) << bytes;

  AnalysedStore deep(damaged);
  deep.Analyse(ScanDepth::kDeep);
  const auto listed = ListAll(deep);
  for (int folder = 0; folder < 2; ++folder) {
    for (int item = 0; item < 3; ++item) {
      const std::u16string subject = SubjectOf(0, folder, item);
      SCOPED_TRACE(Utf16ToUtf8(subject));
      ASSERT_TRUE(listed.contains(subject));
      ASSERT_EQ(listed.at(subject).size(), 1u);
      EXPECT_EQ(listed.at(subject)[0].path.back(), kRecoveredItemsName);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, DeepScan,
                         ::testing::Values(edbforge::StoreLayout::kOlder,
                                           edbforge::StoreLayout::k2010),
                         [](const auto& param_info) {
                           return param_info.param == edbforge::StoreLayout::kOlder ? "Older"
                                                                                    : "Of2010";
                         });

}  // namespace
}  // namespace tarvex::testing
