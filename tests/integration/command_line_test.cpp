// The `tarvex` program run on the ready scenarios: what it prints, what it exits with.

#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "base/utf_conversion.h"
#include "scenario_expectations.h"
#include "scenario_run.h"
#include "support/sample_files.h"

namespace tarvex::testing {
namespace {

using nlohmann::json;

class CommandLineTest : public ::testing::Test {
 protected:
  ProgramRun Run(const std::vector<std::string>& arguments) {
    return RunTarvex(arguments, scratch_.path());
  }

  std::string Scenario(const std::string& name) {
    const std::filesystem::path database = scratch_.path() / (name + ".edb");
    if (!std::filesystem::exists(database)) BuildScenario(name, database);
    return database.string();
  }

  static json Parsed(const ProgramRun& run) {
    json document = json::parse(run.out, nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << run.out;
    return document;
  }

  ScratchFolder scratch_;
};

void ExpectTree(const json& folders, const std::vector<ExpectedNode>& expected,
                const std::string& where) {
  ASSERT_TRUE(folders.is_array()) << where;
  ASSERT_EQ(folders.size(), expected.size()) << where;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const json& folder = folders[i];
    const ExpectedNode& node = expected[i];
    const std::string name = folder.at("name").get<std::string>();
    const std::string path = where + "/" + name;
    if (node.unknown_name) {
      EXPECT_TRUE(name.starts_with("Unknown")) << path;
    } else {
      EXPECT_EQ(name, U8(node.text)) << where;
    }
    if (node.kind.empty()) {
      EXPECT_FALSE(folder.contains("kind")) << path;
    } else {
      EXPECT_EQ(folder.value("kind", ""), U8(node.kind)) << path;
      EXPECT_EQ(folder.value("items", std::size_t{0}), node.items.size()) << path;
    }
    ExpectTree(folder.at("folders"), node.children, path);
  }
}

// `info` and `tree` against what each ready scenario was written with.
TEST_F(CommandLineTest, InfoAndTreeDescribeEveryScenario) {
  for (const std::string name : {"2010-private", "2010-public", "older-private", "older-public"}) {
    const ScenarioExpectations expected(ScenarioFile(name));
    const json& scenario = expected.scenario();
    const std::string database = Scenario(name);
    const ProgramRun run = Run({"info", "--json", database});
    ASSERT_EQ(run.exit_code, 0) << name << run.err;
    const json info = Parsed(run);
    EXPECT_EQ(info.at("layout"), scenario.at("layout")) << name;
    EXPECT_EQ(info.at("store_kind"), scenario.at("store")) << name;
    EXPECT_EQ(info.at("format_revision"), scenario.at("format_revision")) << name;
    EXPECT_EQ(info.at("page_size"), scenario.at("page_size")) << name;
    EXPECT_EQ(info.at("catalog_complete"), true) << name;
    EXPECT_EQ(info.at("losses").at("any"), false) << name;
    const json& tables = info.at("tables");
    auto has_table = [&tables](const std::string& table) {
      return std::find(tables.begin(), tables.end(), table) != tables.end();
    };
    EXPECT_EQ(has_table("Mailbox"), !expected.is_public()) << name;
    EXPECT_EQ(has_table("Msg"), !expected.is_2010()) << name;
    if (!expected.is_2010()) {
      EXPECT_EQ(info.at("attachment_table"), scenario.value("attachment_table", "Attachment"));
      EXPECT_TRUE(has_table(scenario.value("attachment_table", "Attachment"))) << name;
    }
    std::vector<std::string> mailboxes;
    for (const json& mailbox : info.at("mailboxes")) {
      mailboxes.push_back(mailbox.at("name").get<std::string>());
    }
    std::vector<std::string> wanted;
    for (const ExpectedNode& mailbox : expected.mailboxes()) wanted.push_back(U8(mailbox.text));
    EXPECT_EQ(mailboxes, wanted) << name;
    if (expected.is_2010() && !expected.is_public()) {
      int suffix = 101;
      for (const json& mailbox : scenario.at("mailboxes")) {
        const std::string given = mailbox.value("table_suffix", std::to_string(suffix++));
        for (const char* prefix : {"Folders-", "MsgHeader-", "Body-"}) {
          EXPECT_TRUE(has_table(prefix + given)) << prefix << given;
        }
      }
    }
    const ProgramRun text = Run({"info", database});
    ASSERT_EQ(text.exit_code, 0);
    EXPECT_NE(text.out.find("Layout:            " + scenario.at("layout").get<std::string>()),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("Store kind:        " + scenario.at("store").get<std::string>()),
              std::string::npos)
        << text.out;

    const ProgramRun tree_run = Run({"tree", "--quiet", "--json", database});
    ASSERT_EQ(tree_run.exit_code, 0) << name << tree_run.err;
    const json tree = Parsed(tree_run);
    EXPECT_EQ(tree.at("name"), database);
    EXPECT_EQ(tree.at("losses").at("any"), false) << name;
    ExpectTree(tree.at("folders"), expected.mailboxes(), name);
  }
}

TEST_F(CommandLineTest, ListFindsFoldersByNonAsciiPaths) {
  const std::string database = Scenario("2010-private");
  const ProgramRun run =
      Run({"list", "-q", "--json", database, "Søren Ødegård/Top of Information Store/Indbakke"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const json items = Parsed(run).at("items");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].at("subject"), "Hej Søren");
  EXPECT_EQ(items[0].at("mailbox"), "Søren Ødegård");
  EXPECT_EQ(items[0].at("folder"), "Indbakke");
  EXPECT_EQ(items[0].at("tables"), "Folders-1-2A");

  const std::string older = Scenario("older-private");
  const ProgramRun empty =
      Run({"list", "-q", "--json", older, "/Bob_ Chen/Top of Information Store/Entwürfe/"});
  ASSERT_EQ(empty.exit_code, 0) << empty.err;
  EXPECT_EQ(Parsed(empty).at("items"), json::array());
  const ProgramRun one =
      Run({"list", "-q", "--json", older, "Bob_ Chen/Top of Information Store/Posteingang"});
  ASSERT_EQ(one.exit_code, 0) << one.err;
  const json rows = Parsed(one).at("items");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("subject"), "Willkommen, Bob");
  EXPECT_EQ(rows[0].at("from"), "Alice Martin[alice.martin@tarvex.test]");
}

// Each failure exits with its own code and says what went wrong on standard error only.
TEST_F(CommandLineTest, FailuresHaveTheirExitCodesAndMessages) {
  const std::string missing = (scratch_.path() / "nowhere.edb").string();
  const std::string text = (scratch_.path() / "notes.edb").string();
  std::ofstream(text) << std::string(20000, 'x');
  const std::string whole = Scenario("older-private");
  const std::string cut = (scratch_.path() / "cut.edb").string();
  std::filesystem::copy_file(whole, cut);
  std::filesystem::resize_file(cut, 12288);
  const std::optional<UnpackedSample> sample = UnpackedSample::Unpack("basic");
  ASSERT_TRUE(sample);
  const std::string inbox = "Alice Martin/Top of Information Store/Inbox";
  const std::string eml = (scratch_.path() / "item.eml").string();
  struct Failure {
    std::vector<std::string> arguments;
    int exit_code;
    std::string err;  // the whole of standard error, or a part of it when `whole_err` is false
    bool whole_err;
  };
  const Failure failures[] = {
      {{"tree", missing}, 2, "tarvex: no such database file: " + missing + "\n", true},
      {{"info", text}, 3, "tarvex: not an ESE database: " + text + "\n", true},
      {{"tables", text}, 3, "tarvex: not an ESE database: " + text + "\n", true},
      {{"tree", "-q", cut}, 4, "tarvex: the store cannot be read: " + cut + "\n", true},
      {{"list", "-q", whole, "Alice Martin/No Such Folder"},
       5,
       "tarvex: no folder \"Alice Martin/No Such Folder\"",
       false},
      // A mailbox name alone is a node, but the part after it must match whole names.
      {{"list", "-q", whole, "Alice Martin/Top of Information Store/Inb"}, 5, "", false},
      {{"eml", "-q", whole, inbox, "999", "--out", eml}, 5, "", false},
      {{"dump", sample->DatabasePath().string(), "nosuchtable"},
       5,
       "no table \"nosuchtable\"",
       false},
      {{"list", whole}, 1, "", false},
  };
  for (const Failure& failure : failures) {
    const ProgramRun run = Run(failure.arguments);
    SCOPED_TRACE(failure.arguments.front() + " " + failure.arguments.back());
    EXPECT_EQ(run.exit_code, failure.exit_code);
    EXPECT_EQ(run.out, "");
    if (failure.whole_err) {
      EXPECT_EQ(run.err, failure.err);
    } else {
      EXPECT_NE(run.err.find(failure.err), std::string::npos) << run.err;
    }
  }
}

// The engine's own files through `tables` and `dump`, against an independent reader's decodings.
TEST_F(CommandLineTest, TablesAndDumpShowTheEngineSamplesWhole) {
  for (const char* name : {"basic", "binary", "default", "index", "multi", "text"}) {
    SCOPED_TRACE(name);
    const std::optional<UnpackedSample> sample = UnpackedSample::Unpack(name);
    ASSERT_TRUE(sample);
    const json expected = json::parse(std::ifstream(ExpectedJsonPath(name)));
    const ProgramRun dump = Run({"dump", sample->DatabasePath().string(), name, "--json"});
    ASSERT_EQ(dump.exit_code, 0) << dump.err;
    json dumped = Parsed(dump);
    EXPECT_EQ(dumped.at("losses").at("any"), false);
    dumped.erase("losses");
    EXPECT_EQ(dumped, expected);

    const ProgramRun tables = Run({"tables", sample->DatabasePath().string(), "--json"});
    ASSERT_EQ(tables.exit_code, 0) << tables.err;
    const json listed = Parsed(tables);
    EXPECT_EQ(listed["pages"]["checksum_mismatches"], 0);
    EXPECT_EQ(listed["pages"]["unparsable"], 0);
    const auto table = std::find_if(listed["tables"].begin(), listed["tables"].end(),
                                    [&](const json& entry) { return entry["name"] == name; });
    ASSERT_NE(table, listed["tables"].end());
    EXPECT_EQ((*table)["records"], expected["records"].size());
    ASSERT_EQ((*table)["columns"].size(), expected["columns"].size());
    for (std::size_t i = 0; i < expected["columns"].size(); ++i) {
      EXPECT_EQ((*table)["columns"][i]["name"], expected["columns"][i]["name"]);
      EXPECT_EQ((*table)["columns"][i]["type"], expected["columns"][i]["type"]);
    }
  }
  const std::optional<UnpackedSample> sample = UnpackedSample::Unpack("basic");
  ASSERT_TRUE(sample);
  const ProgramRun run = Run({"dump", sample->DatabasePath().string(), "basic"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.out.find("== record 2\n  Id: 2\n  Bit: true\n"), std::string::npos) << run.out;
}

TEST_F(CommandLineTest, QuietPrintsNothingOnStandardError) {
  const std::string database = Scenario("older-public");
  const ProgramRun loud = Run({"tree", database});
  ASSERT_EQ(loud.exit_code, 0);
  EXPECT_FALSE(loud.err.empty()) << "the status texts go to standard error";
  const ProgramRun quiet = Run({"tree", "--quiet", database});
  ASSERT_EQ(quiet.exit_code, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(quiet.out, loud.out);
  const ProgramRun list = Run({"list", "-q", database, "Public Folder/Marketing/Campaigns 2010"});
  ASSERT_EQ(list.exit_code, 0);
  EXPECT_EQ(list.err, "");
  EXPECT_NE(list.out.find("Spring campaign"), std::string::npos) << list.out;
}

// `tarvex eml` of every item the tree lists, read back by Python's email package and compared
// with the scenario: the same checks as the export's messages.
TEST_F(CommandLineTest, EmlOfEveryItemReadsBackFieldForField) {
  for (const std::string name : {"older-private", "older-public", "2010-private", "2010-public"}) {
    const std::filesystem::path out = scratch_.path() / ("eml-" + name);
    const std::string command = "/usr/bin/python3 " + Quoted(TARVEX_EXPORT_CHECK_SCRIPT) + " " +
                                Quoted(std::string(TARVEX_SCENARIOS_DIR) + "/" + name + ".json") +
                                " " + Quoted(out.string()) + " --eml " + Quoted(TARVEX_CLI_BINARY) +
                                " " + Quoted(Scenario(name));
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
  }
}

TEST_F(CommandLineTest, ShowAndEmlWriteAnItemThatReadsBack) {
  const std::string database = Scenario("older-private");
  const std::string inbox = "Alice Martin/Top of Information Store/Inbox";
  const std::filesystem::path pages = scratch_.path() / "pages";
  std::filesystem::create_directories(pages);
  ProgramRun run = Run({"show", "-q", database, inbox, "1", "--workdir", pages.string()});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, (pages / "strEmlPath.html").string() + "\n");
  EXPECT_NE(FileText(pages / "header.html").find(EncodeUtf16Le(u"Quarterly report")),
            std::string::npos);

  const std::filesystem::path message = scratch_.path() / "item.eml";
  run = Run({"eml", "-q", database, inbox, "1", "--out", message.string()});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  // A real MIME parser reads the message back: headers, body and both attachments.
  const std::string script =
      "import email,sys\nfrom email import policy\n"
      "m=email.message_from_binary_file(open(sys.argv[1],'rb'),policy=policy.default)\n"
      "print(m['Subject']);print(m['From']);print(m['Cc'])\n"
      "print(m.get_body(preferencelist=('plain',)).get_content().strip()[:16])\n"
      "for p in m.iter_attachments():\n"
      "  if p.get_filename(): print(p.get_filename(), len(p.get_payload(decode=True)))\n";
  const std::filesystem::path parser = scratch_.path() / "parse.py";
  std::ofstream(parser) << script;
  const std::filesystem::path parsed = scratch_.path() / "parsed.txt";
  ASSERT_EQ(std::system(("python3 " + Quoted(parser.string()) + " " + Quoted(message.string()) +
                         " >" + Quoted(parsed.string()))
                            .c_str()),
            0);
  EXPECT_EQ(FileText(parsed),
            "Quarterly report\nCarla Rossi <carla.rossi@example.com>\n"
            "Eva M\xC3\xBCller <eva.mueller@example.com>\nPlain text body:\nscan.bin 21000\n"
            "figures.csv 37\n");
}

// `tarvex export`: the whole store or the named folders, and its failures' exit codes.
TEST_F(CommandLineTest, ExportWritesTheOutputMailboxOrExitsWithItsCode) {
  const std::string database = Scenario("older-public");
  const std::filesystem::path all = scratch_.path() / "all";
  const std::filesystem::path one = scratch_.path() / "one";
  const std::filesystem::path none = scratch_.path() / "none";
  auto run = [&](std::vector<std::string> arguments, const std::filesystem::path& out,
                 const std::string& saver = TARVEX_SAVER) {
    arguments.insert(arguments.begin(), {"export", "-q", database});
    arguments.insert(arguments.end(), {"--out", out.string(), "--saver", saver});
    return Run(arguments).exit_code;
  };
  ASSERT_EQ(run({}, all), 0);
  const std::filesystem::path marketing = all / "Public Folder" / "Marketing";
  EXPECT_TRUE(std::filesystem::exists(marketing / "mail.mbox"));
  EXPECT_TRUE(std::filesystem::exists(marketing / "Campaigns 2010" / "mail.mbox"));
  EXPECT_TRUE(std::filesystem::exists(all / "Public Folder" / "Support" / "contacts.vcf"));
  ASSERT_EQ(run({"Public Folder/Company Calendar", "--kinds", "calendar"}, one), 0);
  EXPECT_TRUE(std::filesystem::exists(one / "Public Folder" / "Company Calendar" / "calendar.ics"));
  EXPECT_FALSE(std::filesystem::exists(one / "Public Folder" / "Marketing"));
  // A kind of its own: the distribution list of the folder, without its contact.
  const std::filesystem::path lists = scratch_.path() / "lists";
  ASSERT_EQ(run({"Public Folder/Support", "--kinds", "distlist"}, lists), 0);
  const std::string cards = FileText(lists / "Public Folder" / "Support" / "contacts.vcf");
  EXPECT_EQ(cards.find("BEGIN:VCARD"), cards.rfind("BEGIN:VCARD")) << cards;
  EXPECT_NE(cards.find("KIND:group\r\n"), std::string::npos) << cards;

  EXPECT_EQ(run({}, none, (scratch_.path() / "no-saver").string()), 2);
  EXPECT_EQ(run({"--kinds", "mail,spam"}, none), 1);
  EXPECT_EQ(run({"Public Folder/No such folder"}, none), 5);
  EXPECT_FALSE(std::filesystem::exists(none));
}

// A second export into the same folder, as asked; --json prints the report the folder keeps.
TEST_F(CommandLineTest, ExportIntoAnEarlierExportAndItsReport) {
  const std::string database = Scenario("older-private");
  const std::filesystem::path out = scratch_.path() / "again";
  auto run = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(),
                     {"export", "-q", database, "--out", out.string(), "--saver", TARVEX_SAVER});
    return Run(arguments);
  };
  ASSERT_EQ(run({}).exit_code, 0);
  struct Case {
    std::vector<std::string> options;
    int exit_code;
    int runs;  // in the report afterwards
  };
  for (const Case& test :
       {Case{{}, 8, 1}, Case{{"--replace", "--append"}, 1, 1}, Case{{"--append", "--json"}, 0, 2},
        Case{{"--replace", "--json", "--format", "maildir"}, 0, 1}}) {
    const ProgramRun second = run(test.options);
    SCOPED_TRACE(second.err);
    EXPECT_EQ(second.exit_code, test.exit_code);
    if (test.exit_code == 8) {
      EXPECT_NE(second.err.find("holds an earlier export"), std::string::npos);
      EXPECT_NE(second.err.find("--replace"), std::string::npos);
    }
    const json report = json::parse(FileText(out / "tarvex-export.json"));
    EXPECT_EQ(report["export"]["runs"], test.runs);
    if (test.exit_code != 0) continue;
    const json printed = Parsed(second);
    EXPECT_EQ(printed["items"], report["items"]);
    const json& totals = printed["totals"];
    EXPECT_EQ(totals["written"].get<int>() + totals["skipped"].get<int>(), totals["items"]);
    EXPECT_EQ(totals["items"], printed["items"].size());
    EXPECT_TRUE(printed["losses"].is_object());
  }
  // The replacing run left the Maildir alone: no mbox of the runs before.
  const std::filesystem::path alice = out / "Alice Martin";
  EXPECT_TRUE(std::filesystem::is_directory(alice / ".Top of Information Store.Inbox" / "cur"));
  EXPECT_FALSE(std::filesystem::exists(alice / "Top of Information Store" / "Inbox"));

  const std::filesystem::path message = scratch_.path() / "one.eml";
  const ProgramRun eml =
      Run({"eml", "-q", "--json", database, "Alice Martin/Top of Information Store/Inbox", "1",
           "--out", message.string()});
  ASSERT_EQ(eml.exit_code, 0) << eml.err;
  const json written = Parsed(eml);
  EXPECT_EQ(written["file"], message.string());
  EXPECT_EQ(written["subject"], "Quarterly report");
  EXPECT_TRUE(std::filesystem::is_regular_file(message));
}

}  // namespace
}  // namespace tarvex::testing
