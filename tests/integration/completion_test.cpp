// The shell completions of `tarvex` in the real shells, with the real program on the line's
// store: one table of typed lines and what each shell must offer, part of it taken from the
// program's own help so that a command or option the program gains is missed at once.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "scenario_run.h"
#include "tools/edbforge/exchange/store_builder.h"

namespace tarvex::testing {
namespace {

namespace ef = edbforge;

// The words typed after `tarvex`, as typed: quotes and backslashes kept, "" for the word after
// the last space. STORE and NAMES stand for the paths of the two stores, typed with a
// backslash before each blank and in single quotes.
struct TypedLine {
  std::vector<std::string> words;
  std::set<std::string> offered;
};

// The long options a help text lists (`  -q,--quiet  ...`, `  --kinds TEXT=all  ...`).
std::set<std::string> LongOptions(const std::string& help) {
  std::set<std::string> options;
  const std::regex option_line(R"(\n  (?:-[a-z],)?(--[a-z][a-z-]*))");
  for (auto it = std::sregex_iterator(help.begin(), help.end(), option_line);
       it != std::sregex_iterator(); ++it) {
    options.insert((*it)[1]);
  }
  return options;
}

std::set<std::string> Lines(const std::string& text) {
  std::set<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty()) lines.insert(line);
  }
  return lines;
}

class CompletionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = (scratch_.path() / "older public.edb").string();
    BuildScenario("older-public", store_);
    // Names a shell must not take as its own text: a command, a "/" inside a name, quotes.
    // The 2010 layout, whose folder names keep a "/".
    ef::StoreDescription odd;
    odd.layout = ef::StoreLayout::k2010;
    odd.format_revision = 20;
    odd.page_size = 8192;
    ef::FolderDescription& top =
        odd.AddMailbox(u"Eve", u"/o=Org/cn=eve").AddFolder(u"Top of Information Store");
    top.AddFolder(u"$(touch ran)", u"IPF.Note");
    top.AddFolder(u"Sales/EMEA", u"IPF.Note");
    top.AddFolder(u"Bob's \"notes\"", u"IPF.Note");
    names_ = (scratch_.path() / "names.edb").string();
    ef::BuildStore(odd, names_);
    // The folder the shells run in: database files, a folder and a file of no database.
    std::filesystem::create_directories(files_ / "old stores");
    for (const char* name : {"store.edb", "OLD.EDB", "notes.txt"}) std::ofstream(files_ / name);
  }

  // The typed lines: commands and each command's options as the program's help gives them,
  // option values, database files, and folder paths of a store on the line.
  std::vector<TypedLine> Table() {
    const ProgramRun help = RunTarvex({"--help"}, scratch_.path());
    EXPECT_EQ(help.exit_code, 0);
    std::set<std::string> commands;
    const std::string listed = help.out.substr(help.out.find("Subcommands:"));
    const std::regex command_line(R"(\n  ([a-z]+) )");
    for (auto it = std::sregex_iterator(listed.begin(), listed.end(), command_line);
         it != std::sregex_iterator(); ++it) {
      commands.insert((*it)[1]);
    }
    EXPECT_GE(commands.size(), 9u);
    std::vector<TypedLine> table = {
        {{""}, commands},
        {{"--"}, LongOptions(help.out.substr(0, help.out.find("Subcommands:")))},
    };
    for (const std::string& command : commands) {
      table.push_back(
          {{command, "--"}, LongOptions(RunTarvex({command, "--help"}, scratch_.path()).out)});
    }
    const ProgramRun paths = RunTarvex({"tree", "--paths", "-q", store_}, scratch_.path());
    EXPECT_EQ(paths.exit_code, 0) << paths.err;
    const std::set<std::string> marketing = {"Public Folder/Marketing",
                                             "Public Folder/Marketing/Campaigns 2010"};
    const std::string free_busy = "Public Folder/SCHEDULE+ FREE BUSY/EX:o=Tarvexou=Exchange";
    const std::string odd_folders = "Eve/Top of Information Store/";
    std::vector<TypedLine> fixed = {
        {{"tree", ""}, {"OLD.EDB", "old stores", "store.edb"}},
        {{"show", "--workdir", "old\\ s"}, {"old stores"}},
        {{"list", "STORE", ""}, Lines(paths.out)},
        {{"list", "-q", "STORE", "'Public Folder/Mar"}, marketing},
        {{"export", "--kinds", "mail", "STORE", "Public\\ Folder/Mar"}, marketing},
        {{"search", "--from", "carla", "STORE", "Support", "\"Public Folder/Mar"}, marketing},
        {{"show", "--workdir", "pages", "STORE", "'Public Folder/Marketing'", ""}, {}},
        // bash splits words at ":" and "=" too.
        {{"list", "STORE", "Public\\ Folder/SCHEDULE+\\ FREE\\ BUSY/EX:"}, {free_busy}},
        {{"eml", "STORE", "\"Public Folder/SCHEDULE+ FREE BUSY/EX:o=T"}, {free_busy}},
        {{"list", "NAMES", "Eve/Top\\ of\\ Information\\ Store/"},
         {odd_folders + "$(touch ran)", odd_folders + "Sales\\/EMEA",
          odd_folders + "Bob's \"notes\""}},
        {{"dump", "-q", "STORE", "MSys"},
         {"MSysLocales", "MSysObjects", "MSysObjectsShadow", "MSysObjids"}},
        {{"export", "STORE", "--kinds", ""},
         {"all", "calendar", "contact", "distlist", "journal", "mail", "note", "task"}},
        {{"export", "STORE", "--kinds", "mail,c"}, {"mail,calendar", "mail,contact"}},
        {{"export", "STORE", "--format", ""}, {"eml", "maildir", "mbox"}},
        {{"search", "STORE", "--kind", ""},
         {"activity", "appointment", "contact", "distlist", "mail", "notes", "rss", "task"}},
    };
    table.insert(table.end(), fixed.begin(), fixed.end());
    return table;
  }

  // Runs `shell driver completion words...` in the files folder for every typed line and
  // compares what it offers (a folder with or without its trailing "/").
  void ExpectOffered(const std::string& shell, const std::string& driver,
                     const std::string& completion) {
    ASSERT_EQ(
        std::system(("command -v " + shell.substr(0, shell.find(' ')) + " >/dev/null").c_str()), 0)
        << shell << " is not installed (scripts/setup.sh installs it)";
    const std::filesystem::path source = std::filesystem::path(TARVEX_SCENARIOS_DIR) / "../../..";
    const std::filesystem::path offered_file = scratch_.path() / "offered.txt";
    for (const TypedLine& line : Table()) {
      std::string command =
          "cd " + Quoted(files_.string()) +
          " && PATH=" + Quoted(std::filesystem::path(TARVEX_CLI_BINARY).parent_path().string()) +
          ":$PATH timeout --signal=KILL 120 " + shell + " " +
          Quoted((source / "tests/integration/completion" / driver).string()) + " " +
          Quoted((source / completion).string());
      std::string typed;
      for (const std::string& word : line.words) {
        std::string as_typed = word;
        if (word == "STORE") {
          as_typed = std::regex_replace(store_, std::regex(" "), "\\ ");
        } else if (word == "NAMES") {
          as_typed = "'" + names_ + "'";
        }
        command += " " + Quoted(as_typed);
        typed += " " + as_typed;
      }
      SCOPED_TRACE(shell + ": tarvex" + typed);
      ASSERT_EQ(std::system((command + " >" + Quoted(offered_file.string())).c_str()), 0);
      std::set<std::string> offered;
      for (std::string word : Lines(FileText(offered_file))) {
        if (word.size() > 1 && word.back() == '/') word.pop_back();
        offered.insert(word);
      }
      EXPECT_EQ(offered, line.offered);
    }
    // No folder name was run as a command.
    EXPECT_FALSE(std::filesystem::exists(files_ / "ran"));
  }

  ScratchFolder scratch_;
  std::filesystem::path files_ = scratch_.path() / "files";
  std::string store_;
  std::string names_;
};

TEST_F(CompletionTest, BashOffersCommandsOptionsValuesFilesAndFolders) {
  ExpectOffered("bash", "complete.bash", "cli/completion/tarvex.bash");
}

TEST_F(CompletionTest, ZshOffersCommandsOptionsValuesFilesAndFolders) {
  ExpectOffered("zsh -f", "complete.zsh", "cli/completion");
}

TEST_F(CompletionTest, FishOffersCommandsOptionsValuesFilesAndFolders) {
  ExpectOffered("fish --no-config", "complete.fish", "cli/completion/tarvex.fish");
}

}  // namespace
}  // namespace tarvex::testing
