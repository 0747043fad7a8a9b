#include "base/file_names.h"
#include "base/private_folder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvex {
namespace {

TEST(SafeFileName, NamesFromTheDatabaseStayInTheirFolder) {
  EXPECT_EQ(SafeFileName(u"../../etc/passwd"), u"_.._etc_passwd");
  EXPECT_EQ(SafeFileName(u".."), u"attachment");
  EXPECT_EQ(SafeFileName(u"."), u"attachment");
  EXPECT_EQ(SafeFileName(u""), u"attachment");
  EXPECT_EQ(SafeFileName(u"/abs/path.txt"), u"_abs_path.txt");
  EXPECT_EQ(SafeFileName(u"C:\\Windows\\win.ini"), u"C__Windows_win.ini");
  EXPECT_EQ(SafeFileName(u"a\nb\x01.txt"), u"ab.txt");
  EXPECT_EQ(SafeFileName(u"CON"), u"_CON");
  EXPECT_EQ(SafeFileName(u"lpt1.txt"), u"_lpt1.txt");
  EXPECT_EQ(SafeFileName(u"console.txt"), u"console.txt");
  // The visible name survives, non-ASCII included.
  EXPECT_EQ(SafeFileName(u"Отчёт 2024 (final).docx"), u"Отчёт 2024 (final).docx");
  EXPECT_EQ(SafeFileName(u"\U0001F98A fox.png"), u"\U0001F98A fox.png");

  for (const std::u16string& hostile :
       {u"../" + std::u16string(300, u'x') + u".pdf", std::u16string(100, u'.') + u"/"}) {
    const std::u16string safe = SafeFileName(hostile);
    EXPECT_LE(safe.size(), 80u);
    EXPECT_EQ(safe.find(u'/'), std::u16string::npos);
    const std::filesystem::path path = std::filesystem::path("/work") / PathFromText(safe);
    EXPECT_EQ(path.parent_path(), std::filesystem::path("/work"));
    EXPECT_NE(path.filename(), "..");
  }
  EXPECT_TRUE(SafeFileName(u"../" + std::u16string(300, u'x') + u".pdf").ends_with(u".pdf"));
}

TEST(SafeFileName, PathsCarryUtf8) {
  EXPECT_EQ(PathFromText(u"Привет.txt").string(),
            "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt");
  EXPECT_EQ(TextFromPath(PathFromText(u"\u4e2d\u6587.eml")), u"\u4e2d\u6587.eml");
}

TEST(UniqueFileNames, DifferentNamesNeverShareAFile) {
  struct Case {
    std::vector<std::u16string> names;
    std::vector<std::u16string> files;
  };
  const Case cases[] = {
      {{u".", u"..", u""}, {u"attachment", u"attachment (2)", u"attachment (3)"}},
      {{u"a/b.txt", u"a_b.txt", u"a:b.txt"}, {u"a_b.txt", u"a_b (2).txt", u"a_b (3).txt"}},
      // A case-insensitive file system or the saver would merge these.
      {{u"Inbox", u"INBOX", u"inbox"}, {u"Inbox", u"INBOX (2)", u"inbox (3)"}},
      // The same name asked for again is the same file.
      {{u"Report.pdf", u"Report.pdf", u"report.pdf"},
       {u"Report.pdf", u"Report.pdf", u"report (2).pdf"}},
      // A name that looks like a numbered one does not take the number from another.
      {{u"x (2)", u"x", u"x "}, {u"x (2)", u"x", u"x (3)"}},
      {{u".profile", u".profile "}, {u"profile", u"profile (2)"}},
  };
  for (const Case& test : cases) {
    UniqueFileNames names;
    std::vector<std::u16string> files;
    for (const std::u16string& name : test.names) files.push_back(names.For(name, u"attachment"));
    EXPECT_EQ(files, test.files) << PathFromText(test.names.front());
  }
  // A long name stays as long as SafeFileName keeps names, so that writing it under its safe
  // name gives the same file.
  UniqueFileNames long_names;
  const std::u16string long_name = std::u16string(100, u'x') + u".pdf";
  const std::u16string first = long_names.For(long_name, u"attachment");
  const std::u16string second = long_names.For(long_name + u" ", u"attachment");
  EXPECT_NE(first, second);
  EXPECT_EQ(SafeFileName(second), second);
  EXPECT_TRUE(second.ends_with(u"x (2).pdf"));

  // The program's own working files are taken before any attachment comes.
  UniqueFileNames attachments(kWorkingFileNames);
  EXPECT_EQ(attachments.For(u"header.html", u"attachment"), u"header (2).html");
  EXPECT_EQ(attachments.For(u"BLANK.TXT", u"attachment"), u"BLANK (2).TXT");
  EXPECT_EQ(attachments.For(u"notes.txt", u"attachment"), u"notes.txt");
}

TEST(PrivateFolder, IsMadeForThisUserAndRefusedWhenItIsNotTheirsAlone) {
  const std::filesystem::path root = std::filesystem::temp_directory_path() /
                                     ("private-folder-test-" + std::to_string(getpid()));
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root / "shared");
  std::filesystem::permissions(root / "shared", std::filesystem::perms::all);
  std::filesystem::create_directory_symlink(root / "shared", root / "link");
  std::ofstream(root / "file") << "x";
  struct Case {
    std::filesystem::path folder;
    std::u16string problem;  // how the reason ends; empty: usable
  };
  for (const Case& test : std::vector<Case>{{root / "new" / "deeper", u""},
                                            {root / "new" / "deeper", u""},  // made before
                                            {root / "link", u"it is a symbolic link"},
                                            {root / "shared", u"others may write into it"},
                                            {root / "file", u"it is not a folder"}}) {
    const std::u16string problem = MakePrivateFolder(test.folder);
    EXPECT_TRUE(problem.ends_with(test.problem) && problem.empty() == test.problem.empty())
        << test.folder;
  }
  EXPECT_EQ(std::filesystem::status(root / "new" / "deeper").permissions(),
            std::filesystem::perms::owner_all);
  std::filesystem::remove_all(root);

  // The default home of working folders is the user's cache, not a shared folder.
  std::vector<std::pair<const char*, std::optional<std::string>>> saved;
  for (const char* name : {"XDG_CACHE_HOME", "HOME"}) {
    const char* value = std::getenv(name);
    saved.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
  }
  setenv("XDG_CACHE_HOME", "/home/someone/.cache", 1);
  EXPECT_EQ(UserWorkingFolderParent(), std::filesystem::path("/home/someone/.cache/tarvex"));
  setenv("XDG_CACHE_HOME", "relative", 1);
  setenv("HOME", "/home/other", 1);
  EXPECT_EQ(UserWorkingFolderParent(), std::filesystem::path("/home/other/.cache/tarvex"));
  for (const auto& [name, value] : saved) {
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
}

}  // namespace
}  // namespace tarvex
