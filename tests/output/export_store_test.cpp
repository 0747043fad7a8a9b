// Exports of whole stores of both layouts, written by edbforge from its scenarios: the output
// mailbox the saver builds is read back by Python's mailbox and email packages and by plain
// iCalendar and vCard parsing, and the manifests the saver was given are checked record by
// record.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/message_pages.h"
#include "base/pause_gate.h"
#include "base/utf_conversion.h"
#include "mailbox/analysis.h"
#include "mailbox/mailbox_loading.h"
#include "mailbox/recovery.h"
#include "output/export_run.h"
#include "saver/manifest.h"
#include "support/recording_window_port.h"
#include "support/test_files.h"
#include "tools/edbforge/exchange/scenario_json.h"
#include "tools/edbforge/exchange/store_builder.h"

namespace tarvex::testing {
namespace {

class ExportStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"work", "program", "spy"}) {
      std::filesystem::create_directories(root_ / folder);
    }
  }

  // A serving saver that keeps a copy of every manifest it is given, then has the real saver
  // save that one item. On the item whose manifest holds `fail_on` it does `failure` instead
  // (dies, or hangs).
  std::filesystem::path SpySaver(const std::string& fail_on = "",
                                 const std::string& failure = "exit 9") {
    const std::filesystem::path script = root_ / "spy.sh";
    const std::string spy = (root_ / "spy").string();
    std::ofstream(script)
        << "#!/bin/sh\n"
        << "shift\n"  // --serve; then --manifest-dir DIR --mail-format FORMAT
        << "while IFS= read -r kind; do\n"
        << "  d='" << spy << "'/$(ls '" << spy << "' | wc -l)\n"
        << "  mkdir -p \"$d\" && cp \"$2\"/*.txt \"$d\"/ && echo \"$kind\" > \"$d\"/kind\n"
        << "  cp '" << (root_ / "work").string() << "'/*.eml \"$d\"/ 2>/dev/null\n"
        << (fail_on.empty() ? ""
                            : "  iconv -f UTF-16LE -t UTF-8 \"$2\"/mailsaving.txt | grep -q '" +
                                  fail_on + "' && " + failure + "\n")
        << "  '" << TARVEX_SAVER << "' \"$kind\" \"$@\"\n"
        << "done\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    return script;
  }

  struct Manifest {
    std::string kind;
    std::string bytes;
    std::string contact_fields;
    std::string message_file;  // the ".eml" of a mail item as the saver found it
  };
  std::vector<Manifest> SpiedManifests() const {
    std::vector<Manifest> manifests;
    for (int index = 0;; ++index) {
      const std::filesystem::path folder = root_ / "spy" / std::to_string(index);
      if (!std::filesystem::exists(folder)) break;
      std::string kind = FileText(folder / "kind");
      kind.erase(kind.find_last_not_of('\n') + 1);
      std::string message;
      for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        // The whole message beside it is the saver's copy, not the file it reads the sender from.
        const bool whole = entry.path().filename().string().ends_with(".message.eml");
        if (entry.path().extension() == ".eml" && !whole) message = FileText(entry.path());
      }
      manifests.push_back({kind, FileText(folder / "mailsaving.txt"),
                           FileText(folder / "conatctsaving.txt"), message});
    }
    return manifests;
  }

  // Every folder of the store, each `times_named` times; `adjust` changes the request further.
  ExportOutcome Export(const std::filesystem::path& database, unsigned kinds,
                       const std::filesystem::path& saver, int times_named = 1,
                       const std::function<void(ExportRequest&)>& adjust = {}) {
    RecordingWindowPort window;
    PauseGate gate;
    MessagePages pages(root_ / "work");
    Recovery recovery(window, gate, root_ / "work", root_ / "program", pages);
    EXPECT_EQ(RunAnalysis(recovery, database), AnalysisOutcome::kCompleted);
    // A file of the user's in the working folder outlives the run.
    std::ofstream(root_ / "work" / "mine.txt") << "keep";
    ExportRequest request;
    request.kinds = kinds;
    request.output_folder = root_ / "out";
    request.saver = saver;
    for (int time = 0; time < times_named; ++time) {
      for (const RecordedTreeNode& node : window.tree_nodes) request.folders.push_back(node.handle);
    }
    if (adjust) adjust(request);
    const ExportOutcome outcome = RunExport(recovery, request);
    EXPECT_TRUE(window.control_enabled[WindowControl::kFolderTree]);
    EXPECT_EQ(FileText(root_ / "work" / "mine.txt"), "keep");
    return outcome;
  }

  ExportOutcome ExportStore(const std::filesystem::path& database, unsigned kinds,
                            const std::filesystem::path& saver, int times_named = 1) {
    const ExportOutcome outcome = Export(database, kinds, saver, times_named);
    EXPECT_EQ(outcome.error, u"");
    EXPECT_EQ(outcome.saver_failures, 0);
    return outcome;
  }

  // The items the window lists in all folders of the store, loaded as a selection loads them.
  static std::size_t ListedItems(const std::filesystem::path& database) {
    RecordingWindowPort window;
    PauseGate gate;
    ScratchFolder work;
    MessagePages pages(work.path());
    Recovery recovery(window, gate, work.path(), work.path(), pages);
    EXPECT_EQ(RunAnalysis(recovery, database), AnalysisOutcome::kCompleted);
    std::set<TreeNodeHandle> nodes;
    for (const RecordedTreeNode& node : window.tree_nodes) nodes.insert(node.handle);
    std::size_t listed = 0;
    for (TreeNodeHandle node : nodes) {
      window.list_rows.clear();
      LoadMailbox(recovery, node);
      listed += window.list_rows.size();
    }
    return listed;
  }

  // How many messages start in an mbox: every other "From " line is quoted.
  static int MboxMessages(const std::filesystem::path& mbox) {
    int messages = 0;
    std::istringstream lines(FileText(mbox));
    for (std::string line; std::getline(lines, line);) messages += line.starts_with("From ");
    return messages;
  }

  std::filesystem::path Build(const std::string& scenario) {
    const std::filesystem::path database = root_ / (scenario + ".edb");
    edbforge::BuildStore(edbforge::ReadScenarioFile(std::filesystem::path(EDBFORGE_SCENARIOS_DIR) /
                                                    (scenario + ".json")),
                         database);
    return database;
  }

  ScratchFolder scratch_;
  const std::filesystem::path& root_ = scratch_.path();
};

TEST_F(ExportStoreTest, EveryScenarioReadsBackFieldForField) {
  for (const std::string scenario :
       {"older-private", "older-public", "2010-private", "2010-public"}) {
    SCOPED_TRACE(scenario);
    std::filesystem::remove_all(root_ / "out");
    std::filesystem::remove_all(root_ / "spy");
    std::filesystem::create_directories(root_ / "spy");
    const ExportOutcome outcome = ExportStore(Build(scenario), kExportAll, SpySaver());
    EXPECT_GT(outcome.items_saved, 4);

    // Debian's own Python: it has python3-icalendar and python3-vobject.
    const std::string command = std::string("/usr/bin/python3 '") + TARVEX_EXPORT_CHECK_SCRIPT +
                                "' '" + EDBFORGE_SCENARIOS_DIR + "/" + scenario + ".json' '" +
                                (root_ / "out").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;

    // Each record as its kind lays it out, and the contact fields beside each contact.
    const std::vector<Manifest> manifests = SpiedManifests();
    EXPECT_EQ(static_cast<int>(manifests.size()), outcome.items_saved);
    std::map<std::string, int> kinds;
    for (const Manifest& manifest : manifests) {
      ++kinds[manifest.kind];
      const std::optional<SavedItemKind> kind = SavedItemKindFromParameter(manifest.kind);
      ASSERT_TRUE(kind);
      const ManifestResult parsed = ParseManifest(manifest.bytes, *kind);
      ASSERT_TRUE(parsed.manifest) << parsed.error;
      const bool has_cr = manifest.bytes.find(std::string("\r\0", 2)) != std::string::npos;
      EXPECT_EQ(has_cr, *kind != SavedItemKind::kTask);
      const std::u16string folder = parsed.manifest->Value(u"FolderPath:");
      EXPECT_TRUE(folder.starts_with(Utf8ToUtf16((root_ / "out").string()) + u"/"));
      if (*kind == SavedItemKind::kContact) {
        ASSERT_GE(manifest.contact_fields.size(), 2u);
        EXPECT_EQ(manifest.contact_fields.substr(0, 2), "\xFF\xFE");
        const std::u16string fields =
            DecodeUtf16LeStrict(manifest.contact_fields.substr(2)).value_or(u"");
        std::size_t breaks = 0;
        for (std::size_t at = fields.find(u"<br>"); at != std::u16string::npos;
             at = fields.find(u"<br>", at + 4)) {
          ++breaks;
        }
        EXPECT_EQ(breaks, 48u);
      }
    }
    if (scenario == "older-private") {
      // The sender line is UTF-8, so that names outside the ANSI code page survive.
      const bool eva = std::any_of(manifests.begin(), manifests.end(), [](const Manifest& m) {
        return m.message_file == "From: Eva M\xC3\xBCller<eva.mueller@example.com>";
      });
      EXPECT_TRUE(eva);
    }
    for (const Manifest& manifest : manifests) {
      if (manifest.kind != "mailimport") continue;
      EXPECT_TRUE(manifest.message_file.starts_with("From: ")) << manifest.message_file;
      EXPECT_EQ(manifest.message_file.find('\n'), std::string::npos) << manifest.message_file;
    }
    if (scenario.ends_with("public")) {
      // Subfolders nest as in the tree, in both layouts.
      EXPECT_TRUE(std::filesystem::exists(root_ / "out" / "Public Folder" / "Marketing" /
                                          "Campaigns 2010" / "mail.mbox"));
    }
    EXPECT_GT(kinds["mailimport"], 2);
    EXPECT_GE(kinds["contact"], 1);
    EXPECT_GE(kinds["appointment"], 1);
    if (scenario.ends_with("private")) {
      EXPECT_EQ(kinds["distlist"], 1);
      EXPECT_EQ(kinds["journal"], 1);
    }
  }
}

// Every line of the address book and calendar files under `folder` that names an entry's UID.
std::multiset<std::string> UidLines(const std::filesystem::path& folder) {
  std::multiset<std::string> uids;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string extension = entry.path().extension().string();
    if (extension != ".ics" && extension != ".vcf") continue;
    std::istringstream lines(FileText(entry.path()));
    for (std::string line; std::getline(lines, line);) {
      if (line.starts_with("UID:")) uids.insert(line);
    }
  }
  return uids;
}

TEST_F(ExportStoreTest, ChosenKindsOnlyWithTheSameUidsEachTime) {
  const std::filesystem::path database = Build("2010-private");
  // Every folder is named twice; each is still saved once.
  const unsigned kinds = kExportContacts | kExportCalendar | kExportDistLists | kExportJournal;
  const ExportOutcome outcome = ExportStore(database, kinds, SpySaver(), 2);
  EXPECT_EQ(outcome.items_saved, 4);
  for (const Manifest& manifest : SpiedManifests()) {
    EXPECT_TRUE(manifest.kind == "contact" || manifest.kind == "appointment" ||
                manifest.kind == "distlist" || manifest.kind == "journal")
        << manifest.kind;
  }
  // A second export of the same items gives each entry the UID it had.
  const std::multiset<std::string> first_uids = UidLines(root_ / "out");
  EXPECT_EQ(first_uids.size(), 4u);
  std::filesystem::rename(root_ / "out", root_ / "first");
  ExportStore(database, kinds, SpySaver());
  EXPECT_EQ(UidLines(root_ / "out"), first_uids);
  EXPECT_TRUE(std::filesystem::exists(root_ / "out" / "Alice Martin" / "Top of Information Store" /
                                      "Contacts" / "contacts.vcf"));
  EXPECT_FALSE(std::filesystem::exists(root_ / "out" / "Alice Martin" / "Top of Information Store" /
                                       "Inbox"));
}

// A run without a saver, or one cancelled, ends before the first item and writes nothing.
TEST_F(ExportStoreTest, MissingSaverOrCancelStopsBeforeTheFirstItem) {
  const std::filesystem::path database = Build("older-public");
  RecordingWindowPort window;
  PauseGate gate;
  MessagePages pages(root_ / "work");
  Recovery recovery(window, gate, root_ / "work", root_ / "program", pages);
  ASSERT_EQ(RunAnalysis(recovery, database), AnalysisOutcome::kCompleted);
  ExportRequest request;
  request.output_folder = root_ / "out";
  for (const RecordedTreeNode& node : window.tree_nodes) request.folders.push_back(node.handle);
  const ExportOutcome without_saver = RunExport(recovery, request);
  EXPECT_NE(without_saver.error.find(u"mailsaving"), std::u16string::npos);
  EXPECT_FALSE(std::filesystem::exists(root_ / "out"));

  request.saver = SpySaver();
  window.control_enabled.clear();
  gate.Cancel();
  const ExportOutcome cancelled = RunExport(recovery, request);
  EXPECT_TRUE(cancelled.cancelled);
  EXPECT_EQ(cancelled.items_saved, 0);
  EXPECT_TRUE(SpiedManifests().empty());
  EXPECT_TRUE(window.control_enabled[WindowControl::kFolderTree]);
}

// Names and subjects from the database: line breaks stay inside their line, and "../" leads
// nowhere outside the output and working folders.
TEST_F(ExportStoreTest, HostileNamesAndSubjects) {
  const std::filesystem::path scenario_file =
      std::filesystem::path(EDBFORGE_SCENARIOS_DIR) / "older-private.json";
  nlohmann::json scenario = nlohmann::json::parse(FileText(scenario_file));
  nlohmann::json& inbox = scenario["mailboxes"][0]["folders"][0]["folders"][0];
  ASSERT_EQ(inbox["name"], "Inbox");
  inbox["name"] = "../../Up";
  nlohmann::json& item = inbox["items"][0];
  item["cells"]["S70"] = "Line one\r\nLine two";
  item["cells"]["Se1d"] = "Line one\r\nLine two";
  item["attachments"][0]["name"] = "../../evil.csv";
  const std::filesystem::path database = root_ / "hostile.edb";
  edbforge::BuildStore(edbforge::ParseScenario(scenario.dump(), "hostile"), database);

  ExportStore(database, kExportMail, SpySaver());
  for (const std::filesystem::path& place : {root_, root_.parent_path(), root_ / "out"}) {
    EXPECT_FALSE(std::filesystem::exists(place / "Up")) << place;
    EXPECT_FALSE(std::filesystem::exists(place / "evil.csv")) << place;
  }
  bool found = false;
  for (const Manifest& manifest : SpiedManifests()) {
    const ManifestResult parsed = ParseManifest(manifest.bytes, SavedItemKind::kMail);
    ASSERT_TRUE(parsed.manifest) << parsed.error;
    if (parsed.manifest->Value(u"SUBJECT:").starts_with(u"Line one")) {
      found = true;
      EXPECT_EQ(parsed.manifest->Value(u"SUBJECT:"), u"Line one  Line two");
      const std::u16string folder = parsed.manifest->Value(u"FolderPath:");
      EXPECT_EQ(folder.find(u"/../"), std::u16string::npos) << Utf16ToUtf8(folder);
      const std::u16string attachments = parsed.manifest->Value(u"ATTA:");
      EXPECT_EQ(attachments.find(u"/.."), std::u16string::npos) << Utf16ToUtf8(attachments);
      EXPECT_NE(attachments.find(u"evil.csv;"), std::u16string::npos);
    }
  }
  EXPECT_TRUE(found);
}

// Each mail format read back by Python's mailbox and email packages against the report: every
// listed item of every scenario has one entry with its result, and every written mail item is
// stored once.
TEST_F(ExportStoreTest, EveryFormatHoldsEveryListedItemOnceAsTheReportSays) {
  for (const std::string scenario :
       {"older-private", "older-public", "2010-private", "2010-public"}) {
    const std::filesystem::path database = Build(scenario);
    const std::size_t listed = ListedItems(database);
    for (const ExportMailFormat format :
         {ExportMailFormat::kMbox, ExportMailFormat::kMaildir, ExportMailFormat::kEml}) {
      const std::string format_name(ExportMailFormatName(format));
      SCOPED_TRACE(scenario + " " + format_name);
      std::filesystem::remove_all(root_ / "out");
      // The kinds not chosen are in the report too, as skipped.
      const unsigned kinds = format == ExportMailFormat::kMbox ? kExportMail : kExportAll;
      const ExportOutcome outcome =
          Export(database, kinds, TARVEX_SAVER, 1,
                 [&](ExportRequest& request) { request.mail_format = format; });
      EXPECT_EQ(outcome.error, u"");
      EXPECT_EQ(outcome.items.size(), listed);
      EXPECT_EQ(outcome.report["totals"]["items"], listed);
      const std::string command = std::string("/usr/bin/python3 '") +
                                  TARVEX_EXPORT_REPORT_CHECK_SCRIPT + "' '" +
                                  (root_ / "out").string() + "' " + format_name;
      EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
  }
}

// A second export into the same folder: refused, or replacing or adding to the first one as
// asked. A file of the user's in the output folder is never removed.
TEST_F(ExportStoreTest, EarlierExportIsRefusedReplacedOrAddedTo) {
  const std::filesystem::path database = Build("older-private");
  const std::filesystem::path inbox =
      root_ / "out" / "Alice Martin" / "Top of Information Store" / "Inbox";
  struct Case {
    EarlierExportChoice choice;
    bool refused;
    int copies;  // of the first export's Inbox after the second
  };
  for (const Case& test :
       {Case{EarlierExportChoice::kRefuse, true, 1}, Case{EarlierExportChoice::kReplace, false, 1},
        Case{EarlierExportChoice::kAppend, false, 2}}) {
    SCOPED_TRACE(static_cast<int>(test.choice));
    std::filesystem::remove_all(root_ / "out");
    ExportStore(database, kExportMail, TARVEX_SAVER);
    const int first = MboxMessages(inbox / "mail.mbox");
    ASSERT_GT(first, 2);
    std::ofstream(inbox / "notes of mine.txt") << "keep";
    const ExportOutcome second =
        Export(database, kExportMail, TARVEX_SAVER, 1,
               [&](ExportRequest& request) { request.earlier_export = test.choice; });
    EXPECT_EQ(second.refused_earlier_export, test.refused);
    EXPECT_EQ(second.error.empty(), !test.refused) << Utf16ToUtf8(second.error);
    EXPECT_EQ(MboxMessages(inbox / "mail.mbox"), test.copies * first);
    EXPECT_EQ(FileText(inbox / "notes of mine.txt"), "keep");
    if (!test.refused) {
      EXPECT_EQ(second.report["export"]["runs"], test.copies);
    }
  }
}

// A saver that dies on one item, or hangs on it: that item is reported with the reason, a new
// saver takes the rest.
TEST_F(ExportStoreTest, SaverThatDiesOrHangsIsStartedAgainAndTheItemReported) {
  const struct {
    const char* failure;
    const char* reason;
  } cases[] = {
      {"exit 9", "exit status 9"},
      // exec: the saver itself hangs, so stopping it leaves nothing behind.
      {"exec sleep 600", "no answer within 1 second"},
  };
  const std::filesystem::path database = Build("older-private");
  for (const auto& test : cases) {
    SCOPED_TRACE(test.failure);
    std::filesystem::remove_all(root_ / "out");
    std::filesystem::remove_all(root_ / "spy");
    std::filesystem::create_directories(root_ / "spy");
    const ExportOutcome outcome =
        Export(database, kExportMail, SpySaver("SUBJECT:Receipt", test.failure), 1,
               [](ExportRequest& request) { request.saver_answer_limit = std::chrono::seconds(1); });
    EXPECT_EQ(outcome.saver_failures, 1);
    int failed = 0;
    for (const ExportItemResult& item : outcome.items) {
      if (item.written || item.reason.find(u"saver") == std::u16string::npos) continue;
      ++failed;
      EXPECT_TRUE(item.subject.starts_with(u"Receipt")) << Utf16ToUtf8(item.subject);
      EXPECT_NE(item.reason.find(Utf8ToUtf16(test.reason)), std::u16string::npos)
          << Utf16ToUtf8(item.reason);
    }
    EXPECT_EQ(failed, 1);
    EXPECT_GT(outcome.items_saved, 10);
    const std::string command = std::string("/usr/bin/python3 '") +
                                TARVEX_EXPORT_REPORT_CHECK_SCRIPT + "' '" +
                                (root_ / "out").string() + "' mbox";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
  }
}

}  // namespace
}  // namespace tarvex::testing
