// Stores whose content is legal but hostile to a naive reading: folders whose parents form a
// cycle, a mailbox named like a path, a note body far longer than a manifest line. Nothing of
// it may be lost or become unreachable.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "base/utf_conversion.h"
#include "scenario_run.h"
#include "tools/edbforge/exchange/identifier.h"
#include "tools/edbforge/exchange/scenario_json.h"
#include "tools/edbforge/exchange/store_builder.h"

namespace tarvex::testing {
namespace {

using nlohmann::json;
namespace forge = edbforge;

forge::Identifier IdOf(std::u16string_view text) {
  return *forge::ParseIdentifier(text);
}

forge::FolderDescription& FolderNamed(std::vector<forge::FolderDescription>& folders,
                                      std::u16string_view name) {
  for (forge::FolderDescription& folder : folders) {
    if (folder.name == name) return folder;
  }
  throw std::runtime_error("no such folder in the scenario");
}

// A folder below `parent` with one item, whose parent id the cells replace by `parent_id`.
void AddFolderWithParent(forge::FolderDescription& parent, std::u16string name,
                         std::u16string_view id, std::u16string_view parent_id) {
  forge::FolderDescription& folder = parent.AddFolder(std::move(name), u"IPF.Note");
  folder.id = IdOf(id);
  folder.cells.Set(u"Q6749", forge::Id(IdOf(parent_id)));
  folder.AddItem(u"IPM.Note").Set(u"Se1d", forge::Text(u"Kept in " + folder.name));
}

const json* ChildNamed(const json& node, const std::string& name) {
  for (const json& child : node.at("folders")) {
    if (child.at("name") == name) return &child;
  }
  return nullptr;
}

TEST(HostileStores, CycledFoldersAndASlashMailboxStayReachable2010) {
  ScratchFolder scratch;
  forge::StoreDescription store = forge::ReadScenarioFile(ScenarioFile("2010-private"));
  forge::MailboxDescription& mailbox = store.mailboxes.front();
  mailbox.name = u"/Alice Martin";
  forge::FolderDescription& top = FolderNamed(mailbox.folders, u"Top of Information Store");
  // A and B name each other as parents; C names itself.
  AddFolderWithParent(top, u"Loop A", u"1-A01", u"1-A02");
  AddFolderWithParent(top, u"Loop B", u"1-A02", u"1-A01");
  AddFolderWithParent(top, u"Self", u"1-A03", u"1-A03");
  const std::filesystem::path database = scratch.path() / "hostile.edb";
  forge::BuildStore(store, database, "hostile");

  const ProgramRun tree = RunTarvex({"tree", "-q", "--json", database.string()}, scratch.path());
  ASSERT_EQ(tree.exit_code, 0) << tree.err;
  const json root = json::parse(tree.out);
  const json* alice = ChildNamed(root, "/Alice Martin");
  ASSERT_NE(alice, nullptr) << tree.out;
  // The cycle enters the tree at its first folder in table order, the rest below it.
  const json* loop_a = ChildNamed(*alice, "Loop A");
  const json* self = ChildNamed(*alice, "Self");
  ASSERT_NE(loop_a, nullptr) << tree.out;
  ASSERT_NE(self, nullptr) << tree.out;
  const json* loop_b = ChildNamed(*loop_a, "Loop B");
  ASSERT_NE(loop_b, nullptr) << tree.out;
  for (const json* folder : {loop_a, loop_b, self}) EXPECT_EQ(folder->at("items"), 1);

  const json* inbox = ChildNamed(*ChildNamed(*alice, "Top of Information Store"), "Inbox");
  ASSERT_NE(inbox, nullptr);

  // The mailbox's leading "/" is part of its name, and still optional where no name has it.
  const std::vector<std::pair<std::string, std::size_t>> folders = {
      {"/Alice Martin/Loop A/Loop B", 1},
      {"/Alice Martin/Self", 1},
      {"/Alice Martin/Top of Information Store/Inbox", inbox->at("items").get<std::size_t>()}};
  for (const auto& [path, items] : folders) {
    const ProgramRun list =
        RunTarvex({"list", "-q", "--json", database.string(), path}, scratch.path());
    ASSERT_EQ(list.exit_code, 0) << path << list.err;
    EXPECT_EQ(json::parse(list.out).at("items").size(), items) << path;
  }
  const ProgramRun other =
      RunTarvex({"list", "-q", database.string(), "/Bob_ Chen/Top of Information Store/Inbox"},
                scratch.path());
  EXPECT_EQ(other.exit_code, 0) << other.err;
  const std::filesystem::path message = scratch.path() / "self.eml";
  const ProgramRun eml = RunTarvex(
      {"eml", "-q", database.string(), "/Alice Martin/Self", "1", "--out", message.string()},
      scratch.path());
  ASSERT_EQ(eml.exit_code, 0) << eml.err;
  EXPECT_NE(FileText(message).find("Kept in Self"), std::string::npos);
}

TEST(HostileStores, AOneLineNoteOf16MiBIsExportedWhole) {
  ScratchFolder scratch;
  forge::StoreDescription store = forge::ReadScenarioFile(ScenarioFile("older-private"));
  forge::MailboxDescription& mailbox = store.mailboxes.front();
  forge::FolderDescription& notes = FolderNamed(mailbox.folders, u"Top of Information Store")
                                        .AddFolder(u"Notes", u"IPF.StickyNote");
  const std::u16string body = std::u16string(16u << 20, u'n') + u"END-OF-NOTE";
  notes.AddItem(u"IPM.StickyNote")
      .Set(u"Se1d", forge::Text(u"Long note"))
      .Set(u"S1000", forge::Text(body));
  notes.AddItem(u"IPM.StickyNote")
      .Set(u"Se1d", forge::Text(u"Short note"))
      .Set(u"S1000", forge::Text(u"first line\r\nsecond, and last"));
  const std::filesystem::path database = scratch.path() / "notes.edb";
  forge::BuildStore(store, database, "notes");

  const std::filesystem::path out = scratch.path() / "out";
  const ProgramRun run = RunTarvex(
      {"export", "-q", database.string(),
       Utf16ToUtf8(mailbox.name) + "/Top of Information Store/Notes", "--kinds", "all", "--out",
       out.string(), "--saver", TARVEX_SAVER},
      scratch.path());
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("exported 2 item(s)"), std::string::npos) << run.out;
  // iCalendar folds long lines: unfolded, the whole body is there, its end too.
  std::string calendar = FileText(out / Utf16ToUtf8(mailbox.name) / "Top of Information Store" /
                                  "Notes" / "notes.ics");
  std::string unfolded;
  for (std::size_t at = 0; at < calendar.size(); ++at) {
    if (calendar.compare(at, 3, "\r\n ") == 0) {
      at += 2;
      continue;
    }
    unfolded += calendar[at];
  }
  EXPECT_NE(unfolded.find(std::string(1000, 'n') + "END-OF-NOTE"), std::string::npos);
  EXPECT_GT(unfolded.size(), std::size_t{16} << 20);
  EXPECT_NE(unfolded.find("first line\\nsecond\\, and last"), std::string::npos);
}

}  // namespace
}  // namespace tarvex::testing
