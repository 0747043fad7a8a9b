// The parts of an export that need no store: manifest bytes, the attachment filter, the
// working folder, folder path texts, kind names and the program runner.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "base/file_names.h"
#include "base/process_runner.h"
#include "base/utf_conversion.h"
#include "output/export_manifest.h"
#include "output/export_run.h"
#include "output/export_working_files.h"
#include "output/export_writers.h"
#include "saver/manifest.h"
#include "support/test_files.h"

namespace tarvex::testing {
namespace {

void Touch(const std::filesystem::path& path) {
  std::ofstream(path) << "x";
}

TEST(ExportManifestTest, MailRecordIsMarkedUtf16WithCrLfAndReadsBackInTheSaver) {
  ScratchFolder scratch;
  ManifestRecord record;
  for (std::u16string_view key : ManifestKeys(SavedItemKind::kMail)) {
    record.Add(key, key == u"SUBJECT:" ? u"Line one\r\nLine two\rand\nthree" : u"v\u00e9");
  }
  const std::filesystem::path file = scratch.path() / "mailsaving.txt";
  ASSERT_TRUE(WriteManifestFile(file, record, true));
  const std::string bytes = FileText(file);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  const std::u16string text = DecodeUtf16LeStrict(bytes.substr(2)).value_or(u"");
  EXPECT_EQ(text.substr(0, 21), u"exFolderPath:v\u00e9\r\nFold");
  // Thirteen lines: the subject's own line breaks became blanks.
  std::size_t line_ends = 0;
  for (std::size_t at = text.find(u"\r\n"); at != std::u16string::npos;
       at = text.find(u"\r\n", at + 2)) {
    ++line_ends;
  }
  EXPECT_EQ(line_ends, 13u);
  EXPECT_EQ(std::count(text.begin(), text.end(), u'\n'), 13);
  const ManifestResult parsed = ParseManifest(bytes, SavedItemKind::kMail);
  ASSERT_TRUE(parsed.manifest) << parsed.error;
  EXPECT_EQ(parsed.manifest->Value(u"SUBJECT:"), u"Line one  Line two and three");
  EXPECT_EQ(parsed.manifest->Value(u"BPATH:"), u"v\u00e9");
  EXPECT_EQ(parsed.manifest->Value(u"MESSAGEFILE:"), u"v\u00e9");

  // A record of an older writer ends with "BPATH:"; the keys added since read as empty. One
  // that ends before "BPATH:" is still refused.
  for (const std::size_t kept : {std::size_t{11}, std::size_t{10}}) {
    ManifestRecord older;
    older.lines.assign(record.lines.begin(), record.lines.begin() + static_cast<long>(kept));
    ASSERT_TRUE(WriteManifestFile(file, older, true));
    const ManifestResult read = ParseManifest(FileText(file), SavedItemKind::kMail);
    EXPECT_EQ(read.manifest.has_value(), kept == 11) << read.error;
    if (read.manifest) {
      EXPECT_EQ(read.manifest->Value(u"EXACTSUBJECT:"), u"");
    }
  }
}

TEST(ExportManifestTest, TaskRecordEndsLinesWithLfAndOtherRecordsWithCrLf) {
  ScratchFolder scratch;
  ManifestRecord task;
  task.lf_line_ends = true;
  task.Add(u"FolderPath:", u"out/A");
  task.Add(u"SUBJECT:", u"S");
  const std::filesystem::path file = scratch.path() / "task.txt";
  ASSERT_TRUE(WriteManifestFile(file, task, false));
  EXPECT_EQ(FileText(file), std::string("\xFF\xFE"
                                        "F\0o\0l\0d\0e\0r\0P\0a\0t\0h\0:\0o\0u\0t\0/\0A\0\n\0"
                                        "S\0U\0B\0J\0E\0C\0T\0:\0S\0\n\0",
                                        2 + 2 * 27));

  for (SavedItemKind kind : {SavedItemKind::kContact, SavedItemKind::kAppointment,
                             SavedItemKind::kTask, SavedItemKind::kNote}) {
    ManifestRecord record;
    record.lf_line_ends = kind == SavedItemKind::kTask;
    for (std::u16string_view key : ManifestKeys(kind)) record.Add(key, u"x\ny");
    ASSERT_TRUE(WriteManifestFile(file, record, false));
    const std::string bytes = FileText(file);
    const ManifestResult parsed = ParseManifest(bytes, kind);
    ASSERT_TRUE(parsed.manifest) << parsed.error;
    EXPECT_EQ(parsed.manifest->Value(ManifestKeys(kind).back()), u"x y");
    const bool has_cr = bytes.find(std::string("\r\0", 2)) != std::string::npos;
    EXPECT_EQ(has_cr, kind != SavedItemKind::kTask);
  }
}

TEST(ExportWorkingFilesTest, AttachmentFilterKeepsExistingPlainNamesOnly) {
  ScratchFolder scratch;
  const std::filesystem::path work = scratch.path() / "work";
  std::filesystem::create_directories(work);
  Touch(work / "a.txt");
  Touch(work / "b c.pdf");
  Touch(scratch.path() / "outside.txt");
  std::filesystem::create_directories(work / "sub");
  Touch(work / "sub" / "inner.txt");
  const std::u16string work_text = Utf8ToUtf16(work.string());
  EXPECT_EQ(FilterAttachmentFiles(work, u"a.txt;missing.txt;"), work_text + u"/a.txt;");
  EXPECT_EQ(FilterAttachmentFiles(work, u"a.txt;b c.pdf;"),
            work_text + u"/a.txt;" + work_text + u"/b c.pdf;");
  // Without its ";" the last piece is no name.
  EXPECT_EQ(FilterAttachmentFiles(work, u"a.txt"), u"");
  EXPECT_EQ(FilterAttachmentFiles(work, u"../outside.txt;sub/inner.txt;sub;;"), u"");
  EXPECT_EQ(FilterAttachmentFiles(work, u""), u"");
}

TEST(ExportWorkingFilesTest, ClearingRemovesFilesAndKeepsFolders) {
  ScratchFolder scratch;
  Touch(scratch.path() / "header.html");
  Touch(scratch.path() / "item.eml");
  std::filesystem::create_directories(scratch.path() / "keep");
  Touch(scratch.path() / "keep" / "inner.txt");
  Touch(scratch.path() / "notes of mine.txt");
  ClearWorkingFolder(scratch.path(), {"notes of mine.txt"});
  EXPECT_TRUE(std::filesystem::exists(scratch.path() / "notes of mine.txt"));
  EXPECT_FALSE(std::filesystem::exists(scratch.path() / "header.html"));
  EXPECT_FALSE(std::filesystem::exists(scratch.path() / "item.eml"));
  EXPECT_TRUE(std::filesystem::exists(scratch.path() / "keep" / "inner.txt"));
  ClearWorkingFolder({});
  ClearWorkingFolder(scratch.path() / "no such folder");
}

TEST(ExportRunPartsTest, FolderPathsStayInsideTheOutputFolder) {
  EXPECT_EQ(ExportFolderPath("/out/", u"Alice", {u"Top of Information Store", u"Inbox"}),
            u"/out/Alice/Top of Information Store/Inbox");
  const std::u16string hostile = ExportFolderPath("/out", u"../..", {u"..", u"a/../../b", u"c\\d"});
  EXPECT_EQ(hostile.find(u"/../"), std::u16string::npos) << Utf16ToUtf8(hostile);
  EXPECT_EQ(hostile.find(u'\\'), std::u16string::npos);
  EXPECT_EQ(std::count(hostile.begin(), hostile.end(), u'/'), 5);
  EXPECT_EQ(ExportFolderPath("/out", u"", {u""}), u"/out/Mailbox/Folder");
}

// Maildir++: a folder is ".Parent.Child" in its mailbox's folder; a name's own "." cannot
// split it, and the path of a deep folder stays within a file name's 255 bytes, apart from
// that of its sibling.
TEST(ExportRunPartsTest, MaildirFolderNames) {
  ExportFolderPaths paths("/out", true);
  EXPECT_EQ(paths.PathOf(u"Alice", {}), u"/out/Alice");
  EXPECT_EQ(paths.PathOf(u"Alice", {u"Top", u"v1.2"}), u"/out/Alice/.Top.v1_2");
  std::vector<std::u16string> deep(40, u"Level ü");
  const std::u16string first = paths.PathOf(u"Alice", deep);
  deep.back() = u"Other";
  const std::u16string second = paths.PathOf(u"Alice", deep);
  EXPECT_NE(first, second);
  for (const std::u16string& path : {first, second}) {
    const std::filesystem::path name = PathFromText(path).filename();
    EXPECT_LE(name.string().size(), 255u) << name;
    EXPECT_TRUE(name.string().starts_with(".Level \xC3\xBC.Level")) << name;
  }
}

TEST(ExportRunPartsTest, KindNames) {
  const struct {
    std::u16string_view text;
    unsigned kinds;
  } cases[] = {
      {u"mail", kExportMail},
      {u"contact, calendar", kExportContacts | kExportCalendar},
      {u"task,note", kExportTasks | kExportNotes},
      {u"journal,distlist", kExportJournal | kExportDistLists},
      {u"mail,all", kExportAll},
      {u"mail,spam", 0},
      {u"", 0},
  };
  for (const auto& example : cases) {
    EXPECT_EQ(ExportKindsFromText(example.text), example.kinds) << Utf16ToUtf8(example.text);
  }
  // "all" is every kind there is a name for.
  EXPECT_EQ(ExportKindsFromText(u"mail,contact,calendar,task,note,journal,distlist"),
            unsigned{kExportAll});
}

// Members as the store keeps them: a name, the address type and the address, their ends
// dropped; the saver gets "name <address>", the address alone, or nothing.
TEST(ExportRunPartsTest, DistributionListMembers) {
  const std::pair<std::u16string_view, std::u16string_view> cases[] = {
      {u"Anna Lee SMTPanna.lee@example.com", u"Anna Lee <anna.lee@example.com>"},
      {u"Søren Ødegård SMTP soren@example.dk", u"Søren Ødegård <soren@example.dk>"},
      {u"bob.chen@tarvex.test SMTP", u"bob.chen@tarvex.test"},
      {u"Team without address EX /o=Tarvex/cn=team", u""},
  };
  for (const auto& [stored, expected] : cases) {
    EXPECT_EQ(DistListMemberText(stored), expected) << Utf16ToUtf8(stored);
  }
}

TEST(ProcessRunnerTest, ReportsExitStatusAndFailedStarts) {
  bool started = false;
  EXPECT_EQ(RunProgramAndWait("/bin/sh", {"-c", "exit 3"}, [&] { started = true; }), 3);
  EXPECT_TRUE(started);
  EXPECT_EQ(RunProgramAndWait("/bin/sh", {"-c", "kill -9 $$"}), 128 + 9);
  started = false;
  EXPECT_FALSE(RunProgramAndWait("/no/such/program", {}, [&] { started = true; }).has_value());
  EXPECT_FALSE(started);
}

// The saver's line channel: answers read line by line, the end of a helper that died seen as
// the end of its lines with its exit status, and a helper that cannot start.
TEST(ProcessRunnerTest, LineProcessTalksInLinesAndSeesTheHelperEnd) {
  LineProcess helper;
  ASSERT_TRUE(helper.Start("/bin/sh", {"-c", "read a; echo \"1 $a\"; echo 2; read b; exit 4"}));
  EXPECT_TRUE(helper.SendLine("first"));
  EXPECT_EQ(helper.ReadLine(), std::optional<std::string>("1 first"));
  EXPECT_EQ(helper.ReadLine(), std::optional<std::string>("2"));
  EXPECT_TRUE(helper.SendLine("last"));
  EXPECT_FALSE(helper.ReadLine().has_value());
  EXPECT_EQ(helper.Finish(), std::optional<int>(4));
  EXPECT_FALSE(helper.running());
  EXPECT_FALSE(helper.SendLine("after the end"));
  EXPECT_FALSE(helper.Start("/no/such/program", {}));
}

}  // namespace
}  // namespace tarvex::testing
