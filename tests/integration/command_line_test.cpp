// The `tarvex` program run on the ready scenarios: what it prints, what it exits with.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "base/utf_conversion.h"
#include "scenario_expectations.h"
#include "scenario_run.h"
#include "support/sample_files.h"
#include "tools/edbforge/exchange/scale_generator.h"
#include "tools/edbforge/exchange/scenario_json.h"
#include "tools/edbforge/exchange/store_builder.h"

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

  // Runs `tarvex` with standard error on a terminal (a pseudo-terminal): what it wrote there
  // comes back as `err`, standard output still as `out`.
  ProgramRun RunOnTerminal(const std::vector<std::string>& arguments) {
    const std::filesystem::path script = scratch_.path() / "on_terminal.py";
    std::ofstream(script) << "import os,subprocess,sys\n"
                             "master,slave=os.openpty()\n"
                             "child=subprocess.Popen(sys.argv[1:],stderr=slave)\n"
                             "os.close(slave)\n"
                             "data=b''\n"
                             "while True:\n"
                             "  try: chunk=os.read(master,65536)\n"
                             "  except OSError: break\n"
                             "  if not chunk: break\n"
                             "  data+=chunk\n"
                             "sys.stderr.buffer.write(data)\n"
                             "sys.exit(child.wait())\n";
    return RunTarvex(arguments, scratch_.path(), 0, "python3 " + Quoted(script.string()) + " ");
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
  const ProgramRun version = Run({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_TRUE(version.out.starts_with("tarvex ")) << version.out << version.err;
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

// A small part of JSON Schema: "type" (one name or a list), "properties" with "required",
// "additionalProperties": false, "items", "pattern" for strings, and {"$ref": "#node"} for
// `node`, the schema of a tree's nodes.
void ExpectSchema(const json& value, const json& given, const std::string& where,
                  const json& node = {}) {
  const json& schema = given.contains("$ref") ? node : given;
  static const std::map<std::string, json::value_t> kTypes = {
      {"object", json::value_t::object},           {"array", json::value_t::array},
      {"string", json::value_t::string},           {"boolean", json::value_t::boolean},
      {"integer", json::value_t::number_unsigned}, {"null", json::value_t::null}};
  if (schema.contains("type")) {
    const json types = schema["type"].is_array() ? schema["type"] : json::array({schema["type"]});
    const bool typed = std::any_of(types.begin(), types.end(), [&](const json& type) {
      return kTypes.at(type) == value.type() ||
             (type == "integer" && value.type() == json::value_t::number_integer);
    });
    ASSERT_TRUE(typed) << where << " is " << value.dump() << ", wanted " << types.dump();
  }
  if (value.is_string() && schema.contains("pattern")) {
    EXPECT_TRUE(std::regex_match(value.get<std::string>(),
                                 std::regex(schema["pattern"].get<std::string>())))
        << where << ": " << value;
  }
  if (value.is_object()) {
    for (const json& key : schema.value("required", json::array())) {
      EXPECT_TRUE(value.contains(key)) << where << " lacks " << key;
    }
    const json properties = schema.value("properties", json::object());
    for (const auto& [key, member] : value.items()) {
      if (properties.contains(key)) {
        ExpectSchema(member, properties[key], where + "." + key, node);
      } else {
        EXPECT_TRUE(schema.value("additionalProperties", true)) << where << " has " << key;
      }
    }
  }
  if (value.is_array() && schema.contains("items")) {
    for (std::size_t i = 0; i < value.size(); ++i) {
      ExpectSchema(value[i], schema["items"], where + "[" + std::to_string(i) + "]", node);
    }
  }
}

// `list --json` and `tree --json` of both layouts give JSON types, ISO 8601 dates in UTC and
// lists, in the shapes of a schema.
TEST_F(CommandLineTest, JsonOutputHasTypesAndShapes) {
  const json text = {{"type", "string"}};
  const json texts = {{"type", "array"}, {"items", text}};
  const json count = {{"type", "integer"}};
  json losses = {{"type", "object"}, {"required", {"any", "pages_unreadable", "tables_damaged"}}};
  const json common_item = {
      {"number", count},
      {"id", text},
      {"kind", text},
      {"from", text},
      {"subject", text},
      {"date", {{"type", {"string", "null"}}, {"pattern", R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)"}}},
      {"attachments", {{"type", "boolean"}}},
      {"state", text}};
  json older_item = {
      {"type", "object"}, {"additionalProperties", false}, {"properties", common_item}};
  older_item["properties"].update(
      {{"record", count},
       {"attachment_list",
        {{"type", "array"}, {"items", {{"type", "string"}, {"pattern", "[0-9a-f]{16}"}}}}},
       {"to", texts},
       {"cc", texts},
       {"bcc", texts}});
  json item_2010 = {
      {"type", "object"}, {"additionalProperties", false}, {"properties", common_item}};
  item_2010["properties"].update(
      {{"tables", text}, {"folder_key", text}, {"mailbox", text}, {"folder", text}});
  for (json* item : {&older_item, &item_2010}) {
    for (const auto& [key, ignored] : (*item)["properties"].items())
      (*item)["required"].push_back(key);
  }
  json node = {{"type", "object"},
               {"additionalProperties", false},
               {"required", {"name", "path", "id", "items", "total_items", "folders"}},
               {"properties",
                {{"name", text},
                 {"path", text},
                 {"id", {{"type", {"string", "null"}}}},
                 {"kind", text},
                 {"items", count},
                 {"total_items", count}}}};
  node["properties"]["folders"] = {{"type", "array"}, {"items", {{"$ref", "#node"}}}};
  const json tree = {
      {"type", "object"},
      {"required", {"name", "items", "total_items", "folders", "losses"}},
      {"properties", {{"folders", {{"type", "array"}, {"items", node}}}, {"losses", losses}}}};
  struct Case {
    std::string scenario;
    std::string folder;
    const json& item;
  };
  for (const Case& c : {Case{"older-private", "Alice Martin/Inbox", older_item},
                        Case{"2010-private", "Alice Martin/Inbox", item_2010}}) {
    SCOPED_TRACE(c.scenario);
    const std::string database = Scenario(c.scenario);
    const ProgramRun list = Run({"list", "--json", database, c.folder});
    ASSERT_EQ(list.exit_code, 0) << list.err;
    ExpectSchema(
        Parsed(list),
        {{"type", "object"},
         {"required", {"items", "losses"}},
         {"properties", {{"items", {{"type", "array"}, {"items", c.item}}}, {"losses", losses}}}},
        "list");
    const ProgramRun shown = Run({"tree", "--json", database});
    ASSERT_EQ(shown.exit_code, 0) << shown.err;
    const json top = Parsed(shown);
    ExpectSchema(top, tree, "tree", node);
    // Counts add up, mailboxes included, and every path leads back to its node.
    std::size_t items = 0;
    for (const json& mailbox : top.at("folders"))
      items += mailbox.at("total_items").get<std::size_t>();
    EXPECT_EQ(top.at("total_items"), items);
    EXPECT_GT(items, 0u);
    std::function<json(const json&)> find_inbox = [&](const json& at) {
      if (at.value("name", "") == "Inbox") return at;
      for (const json& below : at.at("folders")) {
        if (json found = find_inbox(below); !found.is_null()) return found;
      }
      return json();
    };
    const json inbox = find_inbox(top);
    ASSERT_FALSE(inbox.is_null());
    const ProgramRun by_path = Run({"list", "--json", database, inbox.at("path")});
    EXPECT_EQ(Parsed(by_path).at("items").size(), inbox.at("items"));
  }
  // The first item of the older sample, whole.
  const ProgramRun first = Run({"list", "--json", Scenario("older-private"), "Inbox"});
  const json quarterly = Parsed(first).at("items").at(0);
  EXPECT_EQ(quarterly.at("date"), "2010-01-05T09:03:07Z");
  EXPECT_EQ(quarterly.at("attachments"), true);
  EXPECT_EQ(quarterly.at("attachment_list"), json({"0100000800000000", "0100000800000001"}));
  EXPECT_EQ(quarterly.at("to"),
            json({"Alice Martin [alice.martin@tarvex.test]", "bob.chen@tarvex.test"}));
  EXPECT_EQ(quarterly.at("bcc"), json({"audit@tarvex.test"}));
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

// A folder by a trailing part of its path, in any case, with levels left out, by its id, and
// with "\/" for a "/" inside a name; an ambiguous name lists the folders it names.
TEST_F(CommandLineTest, FoldersByPartOfTheirPathOrId) {
  // A mailbox whose name holds a slash and a backslash.
  json scenario = json::parse(std::ifstream(ScenarioFile("older-private")));
  scenario["mailboxes"][1]["name"] = "Sales/EMEA \\ Bob";
  const std::filesystem::path slashed_file = scratch_.path() / "slashed.json";
  std::ofstream(slashed_file) << scenario.dump();
  const std::string slashed = (scratch_.path() / "slashed.edb").string();
  edbforge::BuildStore(edbforge::ReadScenarioFile(slashed_file), slashed, slashed_file.string());
  const std::string older = Scenario("older-private");
  const std::string store_2010 = Scenario("2010-private");
  const ProgramRun tree = Run({"tree", "--json", store_2010});
  const std::string receipts_id =
      Parsed(tree)["folders"][0]["folders"][0]["folders"][0]["folders"][0].at("id");

  struct Case {
    std::string database;
    std::string folder;
    int exit_code;
    std::string first_subject;  // or what standard error says
  };
  const Case cases[] = {
      {older, "Alice Martin/Top of Information Store/Inbox", 0, "Quarterly report"},
      {older, "inbox", 0, "Quarterly report"},
      {older, "ALICE MARTIN/Inbox", 0, "Quarterly report"},
      {older, "inbox/receipts", 0, "Receipt 2010-001"},
      {store_2010, "SØREN ØDEGÅRD/INDBAKKE", 0, "Hej Søren"},
      {store_2010, receipts_id, 0, "Receipt 2010-001"},
      {slashed, "Sales\\/EMEA \\\\ Bob/posteingang", 0, "Willkommen, Bob"},
      {slashed, "Sales/EMEA \\ Bob/Top of Information Store/Posteingang", 0, "Willkommen, Bob"},
      {store_2010, "Inbox", 9,
       "tarvex: folder \"Inbox\" is ambiguous; it names:\n"
       "  Alice Martin/Top of Information Store/Inbox\n"
       "  Bob_ Chen/Top of Information Store/Inbox\n"},
      {older, "Alice Martin/Inb", 5, "tarvex: no folder \"Alice Martin/Inb\""},
      {slashed, "EMEA \\ Bob/Posteingang", 5, "tarvex: no folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    const ProgramRun run = Run({"list", "--json", c.database, c.folder});
    ASSERT_EQ(run.exit_code, c.exit_code) << run.err;
    if (c.exit_code == 0) {
      EXPECT_EQ(Parsed(run).at("items").at(0).at("subject"), c.first_subject);
    } else {
      EXPECT_EQ(run.out, "");
      EXPECT_TRUE(run.err.starts_with(c.first_subject)) << run.err;
    }
  }
  const ProgramRun slashed_tree = Run({"tree", "--json", slashed});
  EXPECT_EQ(Parsed(slashed_tree)["folders"][1].at("path"), "Sales\\/EMEA \\\\ Bob");
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
      {{"info", scratch_.path().string()},
       2,
       "tarvex: " + scratch_.path().string() + " is a directory, not a database file\n",
       true},
      {{"eml", "-q", whole, "Inbox", "1", "--out", scratch_.path().string()},
       6,
       "tarvex: cannot write " + scratch_.path().string() + ": is a directory\n",
       true},
      {{"eml", "-q", whole, "Inbox", "1", "--out", missing + "/item.eml"},
       6,
       "tarvex: cannot write " + missing + "/item.eml: no such file or directory\n",
       true},
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

// The progress drawn on a terminal or written to a log with --progress, as "step N%" pieces:
// within a step the figure never goes back.
void ExpectProgressNeverGoesBack(const std::string& err, const std::string& separators) {
  const std::regex piece(R"((.*?)(?: \[[#-]+\] |: )(\d+)%.*)");
  std::string step;
  int last = -1;
  std::size_t pieces = 0;
  std::size_t start = 0;
  while (start < err.size()) {
    std::size_t end = err.find_first_of(separators, start);
    if (end == std::string::npos) end = err.size();
    std::smatch match;
    const std::string text = err.substr(start, end - start);
    if (std::regex_match(text, match, piece)) {
      ++pieces;
      const int percent = std::stoi(match[2]);
      if (match[1] == step) {
        EXPECT_GE(percent, last) << step;
      }
      step = match[1];
      last = percent;
    }
    start = end + 1;
  }
  EXPECT_GT(pieces, 0u) << err;
}

// Standard error: one progress line redrawn in place on a terminal, status texts only with
// --verbose, nothing but errors on a log unless --progress, nothing at all with --quiet.
TEST_F(CommandLineTest, StandardErrorOnATerminalAndOnALog) {
  const std::string database = Scenario("older-private");
  const ProgramRun log = Run({"tree", database});
  ASSERT_EQ(log.exit_code, 0);
  EXPECT_EQ(log.err, "");

  const ProgramRun terminal = RunOnTerminal({"tree", database});
  ASSERT_EQ(terminal.exit_code, 0) << terminal.err;
  EXPECT_EQ(terminal.out, log.out);
  EXPECT_EQ(terminal.err.find('\n'), std::string::npos) << "no line of its own: " << terminal.err;
  EXPECT_NE(terminal.err.find("\r(Step 4/7) Rebuilding mailbox folder information ["),
            std::string::npos)
      << terminal.err;
  EXPECT_TRUE(terminal.err.ends_with("\r\x1b[K")) << "the line is gone at the end";
  ExpectProgressNeverGoesBack(terminal.err, "\r");

  const ProgramRun progress = Run({"tree", "--progress", database});
  ASSERT_EQ(progress.exit_code, 0);
  EXPECT_EQ(progress.err.find("Status"), std::string::npos) << progress.err;
  ExpectProgressNeverGoesBack(progress.err, "\n");

  const ProgramRun verbose = RunOnTerminal({"tree", "--verbose", database});
  ASSERT_EQ(verbose.exit_code, 0);
  EXPECT_NE(verbose.err.find("Analysis Completed\r\n"), std::string::npos) << verbose.err;
  EXPECT_EQ(verbose.err.find("Status"), std::string::npos) << "no label on a line of its own";

  for (const std::vector<std::string>& quiet :
       {std::vector<std::string>{"tree", "-q", "--verbose", "--progress", database},
        {"list", "-q", database, "Inbox"}}) {
    const ProgramRun run = RunOnTerminal(quiet);
    ASSERT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(run.out.empty());
  }
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
  // The page is named after the item, and only the item's files are left in the folder.
  EXPECT_EQ(run.out, (pages / "Quarterly report.preview.html").string() + "\n");
  for (const auto& entry : std::filesystem::directory_iterator(pages)) {
    const std::string file = entry.path().filename().string();
    EXPECT_FALSE(file.starts_with("temp") || file.starts_with("strEmlPath")) << file;
  }
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

// The number `list` prints is the one `show` and `eml` take, in every folder of either layout,
// and the id `list --json` gives names the same item.
TEST_F(CommandLineTest, ListShowAndEmlShareOneNumbering) {
  const std::pair<std::string, std::string> folders[] = {
      {"older-private", "Inbox"},  // wide characters and long senders
      {"older-private", "Inbox/Receipts"},
      {"older-private", "Alice Martin/Sent Items"},
      {"2010-private", "Alice Martin/Inbox"},
  };
  const std::filesystem::path message = scratch_.path() / "item.eml";
  for (const auto& [scenario, folder] : folders) {
    SCOPED_TRACE(scenario + " " + folder);
    const std::string database = Scenario(scenario);
    const ProgramRun listed = Run({"list", database, folder, "--json"});
    ASSERT_EQ(listed.exit_code, 0) << listed.err;
    const json items = Parsed(listed).at("items");
    ASSERT_FALSE(items.empty());
    const ProgramRun table = Run({"list", database, folder});
    // Every row's date starts in the column of the heading's, as a terminal counts columns.
    const std::filesystem::path widths = scratch_.path() / "widths.py";
    std::ofstream(widths)
        << "import re,sys,unicodedata\n"
           "def width(text):\n"
           "  return sum(0 if unicodedata.combining(c) or unicodedata.category(c) in "
           "('Mn','Me','Cf')"
           " else 2 if unicodedata.east_asian_width(c) in 'WF' else 1 for c in text)\n"
           "lines=open(sys.argv[1],encoding='utf-8').read().splitlines()\n"
           "heading={width(lines[0][:lines[0].index('Date')])}\n"
           "rows={width(l[:re.search(r' [A-Z][a-z]{2},\\d\\d ',l).start()+1]) for l in lines[1:]}\n"
           "print(sorted(heading|rows))\n";
    const std::filesystem::path listed_table = scratch_.path() / "table.txt";
    std::ofstream(listed_table) << table.out;
    const std::filesystem::path columns = scratch_.path() / "columns.txt";
    ASSERT_EQ(std::system(("python3 " + Quoted(widths.string()) + " " +
                           Quoted(listed_table.string()) + " >" + Quoted(columns.string()))
                              .c_str()),
              0);
    EXPECT_EQ(FileText(columns), "[90]\n") << table.out;
    std::istringstream lines(table.out);
    std::string line;
    std::getline(lines, line);  // the heading
    for (std::size_t i = 0; i < items.size(); ++i) {
      ASSERT_TRUE(std::getline(lines, line));
      const std::string number = std::to_string(items[i].at("number").get<int>());
      EXPECT_EQ(number, std::to_string(i + 1));
      EXPECT_EQ(line.substr(0, 7), std::string(5 - number.size(), ' ') + number + "  ");
      const std::string subject = items[i].at("subject");
      // A subject beyond ASCII is an encoded word in the message.
      if (i >= 3 || std::any_of(subject.begin(), subject.end(), [](char c) { return c & 0x80; })) {
        continue;
      }
      for (const std::string& item : {number, items[i].at("id").get<std::string>()}) {
        const ProgramRun eml =
            Run({"eml", "-q", database, folder, item, "--out", message.string()});
        ASSERT_EQ(eml.exit_code, 0) << item << eml.err;
        EXPECT_NE(FileText(message).find("Subject: " + subject + "\r\n"), std::string::npos)
            << item << " " << subject;
      }
    }
  }
}

// `tarvex search`: each condition alone and together, on both layouts, by folder number and
// path as `list` gives them; case is folded beyond ASCII.
TEST_F(CommandLineTest, SearchFindsItemsByEachConditionAndTheirCombination) {
  const std::string inbox = "Alice Martin/Top of Information Store/Inbox";
  struct Case {
    std::string scenario;
    std::vector<std::string> arguments;
    std::vector<std::string> found;  // "path #number subject"
  };
  const Case cases[] = {
      {"older-private",
       {"--from", "EVA"},
       {inbox + " #2 Grüße aus Zürich – 東京 🦊",
        inbox + " #12 Newsletter as it was stored then"}},
      {"older-private", {"--to", "AUDIT@"}, {inbox + " #1 Quarterly report"}},
      {"older-private",
       {"--subject", "report"},
       {inbox + " #1 Quarterly report",
        "Alice Martin/Top of Information Store/Sent Items #1 Re: Quarterly report"}},
      {"older-private",
       {"--subject", "ZÜRICH"},
       {inbox + " #2 Grüße aus Zürich – 東京 🦊"}},
      {"older-private",
       {"--body", "THURSDAY"},
       {inbox + " #3 Meeting moved", inbox + " #10 Uncompressed RTF stream"}},
      {"older-private",
       {"--after", "2011-01-01"},
       {inbox + " #2 Grüße aus Zürich – 東京 🦊"}},
      {"older-private", {"--before", "2010-01-05"}, {}},
      {"older-private",
       {"--kind", "Contact"},
       {"Alice Martin/Top of Information Store/Contacts #1 Hugo Lefèvre"}},
      {"older-private",
       {"--has-attachment"},
       {"Alice Martin/Top of Information Store/Calendar #1 Design review",
        inbox + " #1 Quarterly report"}},
      {"older-private",
       {"--regex", "--subject", "^re:"},
       {inbox + " #9 RE: Invitation: design review",
        "Alice Martin/Top of Information Store/Sent Items #1 Re: Quarterly report"}},
      {"older-private",
       {"--from", "carla", "--has-attachment", "--before", "2010-01-06", "--body", "plain"},
       {inbox + " #1 Quarterly report"}},
      {"2010-private", {"--body", "thursday"}, {inbox + " #8 Meeting moved"}},
      {"2010-private",
       {"--to", "bob", "--kind", "appointment"},
       {"Alice Martin/Top of Information Store/Calendar #1 Design review"}},
      {"2010-private",
       {"--subject", "HEJ SØREN"},
       {"Søren Ødegård/Top of Information Store/Indbakke #1 Hej Søren"}},
      {"older-public",
       {"--from", "carla", "Marketing"},
       {"Public Folder/Marketing #2 Brochure draft",
        "Public Folder/Marketing/Campaigns 2010 #1 Spring campaign"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"search", "--json", Scenario(c.scenario)};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    SCOPED_TRACE(c.scenario + " " + c.arguments.front());
    const ProgramRun run = Run(arguments);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::vector<std::string> found;
    const json results = Parsed(run);
    for (const json& item : results.at("items")) {
      found.push_back(item.at("path").get<std::string>() + " #" +
                      std::to_string(item.at("number").get<int>()) + " " +
                      item.at("subject").get<std::string>());
    }
    EXPECT_EQ(found, c.found);
  }
  const std::string database = Scenario("older-private");
  EXPECT_EQ(Run({"search", database, "--regex", "--from", "("}).exit_code, 1);
  EXPECT_EQ(Run({"search", database, "--after", "January"}).exit_code, 1);
  const ProgramRun table = Run({"search", database, "--subject", "quarterly", "Sent Items"});
  ASSERT_EQ(table.exit_code, 0);
  EXPECT_NE(table.out.find("Re: Quarterly report"), std::string::npos) << table.out;
  EXPECT_EQ(table.out.find("Inbox"), std::string::npos) << table.out;
}

// A search of the whole store takes each "Msg" row's facts while the analysis reads that table
// (rows in many batches; with a body condition on two workers): it finds what the search of
// each folder alone finds, which reads each item's row where it lies.
TEST_F(CommandLineTest, SearchOfTheWholeStoreFindsWhatEachFolderFindsAlone) {
  const std::string store = (scratch_.path() / "scale.edb").string();
  edbforge::WriteScaleStore({.folders = 12, .items = 6000}, store);
  const ProgramRun tree = Run({"tree", "--json", "-q", store});
  ASSERT_EQ(tree.exit_code, 0) << tree.err;
  std::vector<std::string> folders;
  std::function<void(const json&)> collect = [&](const json& node) {
    if (node.value("items", 0) > 0) folders.push_back(node.at("path").get<std::string>());
    for (const json& child : node.at("folders")) collect(child);
  };
  const json tree_document = Parsed(tree);
  for (const json& mailbox : tree_document.at("folders")) collect(mailbox);
  ASSERT_EQ(folders.size(), 12u);

  auto found_by = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"search", "--json", "-q", store});
    const ProgramRun run = Run(arguments);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    const json document = Parsed(run);
    std::vector<std::string> found;
    for (const json& item : document.at("items")) found.push_back(item.dump());
    return found;
  };
  const std::vector<std::vector<std::string>> conditions = {
      {"--from", "GRACE"}, {"--body", "budget"}, {"--to", "kim", "--subject", "re:"}};
  for (const std::vector<std::string>& condition : conditions) {
    SCOPED_TRACE(condition.front());
    std::vector<std::string> folder_by_folder;
    for (const std::string& folder : folders) {
      std::vector<std::string> arguments = condition;
      arguments.push_back(folder);
      for (std::string& item : found_by(arguments)) folder_by_folder.push_back(std::move(item));
    }
    EXPECT_GT(folder_by_folder.size(), 100u);
    EXPECT_EQ(found_by(condition), folder_by_folder);
  }
}

// Every command the program has is in the README's command table and in the man page, every
// option of every command is in both, and the exit codes of the two tables are the same.
TEST_F(CommandLineTest, ReadmeAndManPageKnowEveryCommandOptionAndExitCode) {
  const std::filesystem::path source = std::filesystem::path(TARVEX_SCENARIOS_DIR) / "../../..";
  const std::string readme = FileText(source / "README.md");
  const std::string manual = FileText(source / "cli/tarvex.1");
  const ProgramRun help = Run({"--help"});
  ASSERT_EQ(help.exit_code, 0);
  const std::string listed = help.out.substr(help.out.find("Subcommands:"));
  const std::regex command_line(R"(\n  ([a-z]+) )");
  const std::regex option_line(R"(\n  (?:-[a-z],)?--([a-z][a-z-]*))");
  std::vector<std::string> helps = {help.out.substr(0, help.out.find("Subcommands:"))};
  for (auto it = std::sregex_iterator(listed.begin(), listed.end(), command_line);
       it != std::sregex_iterator(); ++it) {
    const std::string command = (*it)[1];
    EXPECT_NE(readme.find("| `tarvex " + command + " "), std::string::npos) << command;
    EXPECT_NE(manual.find(".BI \"" + command + " \""), std::string::npos) << command;
    helps.push_back(Run({command, "--help"}).out);
  }
  EXPECT_GE(helps.size(), 10u);
  std::set<std::string> options;
  for (const std::string& text : helps) {
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option_line);
         it != std::sregex_iterator(); ++it) {
      options.insert((*it)[1]);
    }
  }
  for (const std::string& option : options) {
    EXPECT_NE(readme.find("--" + option), std::string::npos) << option;
    std::string escaped;  // the man page writes a "-" as "\-"
    for (char c : option) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(manual.find("\\-\\-" + escaped), std::string::npos) << option;
  }
  EXPECT_GE(options.size(), 25u);
  const std::regex manual_code(R"(\n\.TP\n\.B (\d+)\n)");
  const std::regex readme_code(R"(\n\| (\d+) \| )");
  std::set<std::string> manual_codes;
  std::set<std::string> readme_codes;
  for (auto it = std::sregex_iterator(manual.begin(), manual.end(), manual_code);
       it != std::sregex_iterator(); ++it) {
    manual_codes.insert((*it)[1]);
  }
  for (auto it = std::sregex_iterator(readme.begin(), readme.end(), readme_code);
       it != std::sregex_iterator(); ++it) {
    readme_codes.insert((*it)[1]);
  }
  EXPECT_EQ(manual_codes.size(), 10u);
  EXPECT_EQ(manual_codes, readme_codes);
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
  // With --verbose each item's status names its kind and uses this system's separator.
  const ProgramRun verbose = Run({"export", "--verbose", database, "Public Folder/Company Calendar",
                                  "--out", (scratch_.path() / "verbose").string(), "--saver",
                                  TARVEX_SAVER});
  ASSERT_EQ(verbose.exit_code, 0) << verbose.err;
  EXPECT_NE(verbose.err.find("Saving appointment status: [ 1 ] " +
                             (scratch_.path() / "verbose" / "Public Folder" / "Company Calendar")
                                 .string() +
                             "/"),
            std::string::npos)
      << verbose.err;
  EXPECT_EQ(verbose.err.find('\\'), std::string::npos) << verbose.err;
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
