#include "saver/manifest.h"

#include <gtest/gtest.h>

#include "base/date_text.h"
#include "base/utf_conversion.h"
#include "saver/contact_fields.h"
#include "saver_test_files.h"

namespace tarvex::testing {
namespace {

ManifestLines MailLines() {
  return {{u"exFolderPath:", u"/out/Box/Inbox"},
          {u"FolderPath:", u"/out/Box/Inbox"},
          {u"ATTA:", u"/work/a.bin;"},
          {u"SUBJECT:", u"Plan: Q1"},
          {u"TO:", u"Bob<bob@example.com>,"},
          {u"CC:", u""},
          {u"BCC:", u""},
          {u"TYPE:", u"txt"},
          {u"DATE:", u"Jan,05 2010 09:03:07"},
          {u"PATH:", u"/work/1a2b.eml"},
          {u"BPATH:", u"/work/textbody.txt"}};
}

TEST(ManifestTest, ReadsEveryKeyOfEachKind) {
  const ManifestResult mail = ParseManifest(ManifestBytes(MailLines()), SavedItemKind::kMail);
  ASSERT_TRUE(mail.manifest) << mail.error;
  EXPECT_EQ(mail.manifest->Value(u"SUBJECT:"), u"Plan: Q1");  // a colon inside a value stays
  EXPECT_EQ(mail.manifest->Value(u"CC:"), u"");
  EXPECT_EQ(mail.manifest->Value(u"BPATH:"), u"/work/textbody.txt");
  EXPECT_EQ(mail.manifest->Value(u"NOSUCH:"), u"");

  const ManifestLines task = {{u"FolderPath:", u"/o"}, {u"SUBJECT:", u"s"},
                              {u"FROM:", u"f"},        {u"STARTDATE:", u"1,05 2010 09:03:07"},
                              {u"DUEDATE:", u""},      {u"OWNER:", u"o"},
                              {u"TYPE:", u"txt"},      {u"Body:", u"/b"}};
  const ManifestResult parsed = ParseManifest(ManifestBytes(task, u"\n"), SavedItemKind::kTask);
  ASSERT_TRUE(parsed.manifest) << parsed.error;
  EXPECT_EQ(parsed.manifest->Value(u"STARTDATE:"), u"1,05 2010 09:03:07");
  EXPECT_EQ(parsed.manifest->Value(u"Body:"), u"/b");
  // Keys added after the first records: a record may end before them, or hold them in order.
  EXPECT_EQ(parsed.manifest->Value(u"UID:"), u"");
  ManifestLines later = task;
  later.push_back({u"UID:", u"1-2a"});
  later.push_back({u"STATUS:", u"1"});
  const ManifestResult with_later =
      ParseManifest(ManifestBytes(later, u"\n"), SavedItemKind::kTask);
  ASSERT_TRUE(with_later.manifest) << with_later.error;
  EXPECT_EQ(with_later.manifest->Value(u"UID:"), u"1-2a");
  EXPECT_EQ(with_later.manifest->Value(u"STATUS:"), u"1");
  EXPECT_EQ(with_later.manifest->Value(u"CATEGORIES:"), u"");
  std::swap(later[8], later[9]);
  EXPECT_FALSE(ParseManifest(ManifestBytes(later, u"\n"), SavedItemKind::kTask).manifest);
}

TEST(ManifestTest, AFreeTextValueMayHoldALineEnd) {
  ManifestLines lines = MailLines();
  lines[3].second = u"first line\r\nsecond line";
  const ManifestResult mail = ParseManifest(ManifestBytes(lines), SavedItemKind::kMail);
  ASSERT_TRUE(mail.manifest) << mail.error;
  EXPECT_EQ(mail.manifest->Value(u"SUBJECT:"), u"first line\r\nsecond line");
  EXPECT_EQ(mail.manifest->Value(u"TO:"), u"Bob<bob@example.com>,");
  // A path does not continue over lines: the stray line is damage.
  lines = MailLines();
  lines[2].second = u"/work/a.bin;\r\n/work/b.bin;";
  const ManifestResult damaged = ParseManifest(ManifestBytes(lines), SavedItemKind::kMail);
  EXPECT_FALSE(damaged.manifest);
  EXPECT_NE(damaged.error.find("line 4"), std::string::npos) << damaged.error;
}

struct Damage {
  const char* name;
  std::string bytes;
  const char* expected_in_error;
};

TEST(ManifestTest, ADamagedRecordIsRefusedWithTheLineNamed) {
  ManifestLines missing = MailLines();
  missing.erase(missing.begin() + 5);  // no CC:
  ManifestLines swapped = MailLines();
  std::swap(swapped[4], swapped[5]);
  ManifestLines short_record = MailLines();
  short_record.pop_back();
  const std::string good = ManifestBytes(MailLines());
  const std::u16string lf_record = u"exFolderPath:/o\nFolderPath:/o\n";

  const Damage cases[] = {
      {"missing key", ManifestBytes(missing), "line 6: key \"BCC:\" where \"CC:\" is expected"},
      {"wrong order", ManifestBytes(swapped), "line 5: key \"CC:\" where \"TO:\" is expected"},
      {"record ends early", ManifestBytes(short_record), "line 11: the record ends before"},
      {"no mark", good.substr(2), "FF FE"},
      {"big-endian mark", "\xFE\xFF" + good.substr(2), "FF FE"},
      {"odd byte count", good + "x", "odd number of bytes"},
      {"truncated in a line", good.substr(0, good.size() - 6), "line 11: the last line has no"},
      {"LF in a CR LF record", "\xFF\xFE" + EncodeUtf16Le(lf_record), "LF where CR LF"},
      {"text after the record", good + EncodeUtf16Le(u"EXTRA:1\r\n"), "line 12"},
      {"empty", "\xFF\xFE", "no record"},
  };
  for (const Damage& damage : cases) {
    const ManifestResult result = ParseManifest(damage.bytes, SavedItemKind::kMail);
    EXPECT_FALSE(result.manifest) << damage.name;
    EXPECT_NE(result.error.find(damage.expected_in_error), std::string::npos)
        << damage.name << ": " << result.error;
  }
}

TEST(ManifestTest, LineEndsFollowTheKind) {
  const ManifestLines note = {
      {u"exFolderPath:", u"/o"}, {u"FolderPath:", u"/o"}, {u"SUBJECT:", u"s"}, {u"FROM:", u"f"},
      {u"DATE:", u"d"},          {u"TYPE:", u"txt"},      {u"Body:", u"b"}};
  EXPECT_TRUE(ParseManifest(ManifestBytes(note), SavedItemKind::kNote).manifest);
  // A task record with CR LF line ends is not what the recovery program writes.
  const ManifestLines task = {{u"FolderPath:", u"/o"}, {u"SUBJECT:", u"s"}, {u"FROM:", u"f"},
                              {u"STARTDATE:", u""},    {u"DUEDATE:", u""},  {u"OWNER:", u""},
                              {u"TYPE:", u"txt"},      {u"Body:", u"/b"}};
  const ManifestResult crlf_task = ParseManifest(ManifestBytes(task), SavedItemKind::kTask);
  EXPECT_FALSE(crlf_task.manifest);
  EXPECT_NE(crlf_task.error.find("line 1: ends with CR LF"), std::string::npos) << crlf_task.error;
  // A record of another kind fails at its first key.
  const ManifestResult wrong_kind = ParseManifest(ManifestBytes(note), SavedItemKind::kContact);
  EXPECT_FALSE(wrong_kind.manifest);
  EXPECT_NE(wrong_kind.error.find("line 1"), std::string::npos);
}

TEST(ManifestTest, LaunchParameters) {
  const std::pair<const char*, std::optional<SavedItemKind>> cases[] = {
      {"mailimport", SavedItemKind::kMail},
      {"contact", SavedItemKind::kContact},
      {"appointment", SavedItemKind::kAppointment},
      {"task", SavedItemKind::kTask},
      {"notes", SavedItemKind::kNote},
      {"distlist", SavedItemKind::kDistList},
      {"journal", SavedItemKind::kJournal},
      {"mail", std::nullopt},
      {"activity", std::nullopt}};
  for (const auto& [parameter, kind] : cases) {
    EXPECT_EQ(SavedItemKindFromParameter(parameter), kind) << parameter;
  }
}

std::string ContactBytes(const std::array<std::u16string, kContactFieldCount>& fields) {
  std::u16string text;
  for (const std::u16string& field : fields) text += field + u"<br>";
  return "\xFF\xFE" + EncodeUtf16Le(text);
}

TEST(ContactFieldsTest, ReadsTheFieldsAndUndoesTheEscapes) {
  std::array<std::u16string, kContactFieldCount> fields;
  fields[0] = u"Smithcama Ann";
  fields[7] = u"jcamacho@example.com";  // never a comma in an address
  fields[14] = u"+1 555 0100";
  fields[23] = u"Line 1<newlinebreak>Line 2";
  fields[24] = u"Escamante";  // the letters of a word stay letters
  const ContactFieldsResult parsed = ParseContactFields(ContactBytes(fields));
  ASSERT_TRUE(parsed.fields) << parsed.error;
  const ContactFields& f = *parsed.fields;
  EXPECT_EQ(f[ContactField::kFullName], u"Smith, Ann");
  EXPECT_EQ(f[ContactField::kEmail1], u"jcamacho@example.com");
  EXPECT_EQ(f[ContactField::kHomePhone], u"+1 555 0100");
  EXPECT_EQ(f[ContactField::kBusinessStreet], u"Line 1\nLine 2");
  EXPECT_EQ(f[ContactField::kBusinessCity], u"Escamante");
  EXPECT_EQ(f[ContactField::kFollowUpFlag], u"");
}

TEST(ContactFieldsTest, TheFieldCountAndEncodingAreChecked) {
  std::array<std::u16string, kContactFieldCount> fields;
  const std::string good = ContactBytes(fields);
  EXPECT_TRUE(ParseContactFields(good).fields);
  EXPECT_FALSE(ParseContactFields(good.substr(0, good.size() - 8)).fields);  // 47 fields
  EXPECT_FALSE(ParseContactFields(good + EncodeUtf16Le(u"<br>")).fields);
  EXPECT_FALSE(ParseContactFields(good + EncodeUtf16Le(u"tail")).fields);
  EXPECT_FALSE(ParseContactFields(good.substr(2)).fields);
  EXPECT_FALSE(ParseContactFields(good + "x").fields);
}

TEST(DateTextTest, BothMonthFormsInUtc) {
  const auto named = ParseDateText(u"Jan,05 2010 09:03:07");
  ASSERT_TRUE(named);
  EXPECT_EQ(named->year, 2010);
  EXPECT_EQ(named->month, 1);
  EXPECT_EQ(named->day, 5);
  EXPECT_EQ(named->hour, 9);
  EXPECT_EQ(named->minute, 3);
  EXPECT_EQ(named->second, 7);
  const auto numbered = ParseDateText(u"12,31 1999 23:59:59  ");
  ASSERT_TRUE(numbered);
  EXPECT_EQ(numbered->month, 12);
  EXPECT_EQ(numbered->day, 31);
  EXPECT_TRUE(ParseDateText(u"Feb,29 2012 00:00:00"));
  for (std::u16string_view bad :
       {u"", u"(0x01d18a3b 0x5f3c8000)", u"Feb,29 2011 00:00:00", u"13,01 2010 00:00:00",
        u"Jan,5 2010 09:03:07", u"Jan,05 2010 24:00:00", u"Jan,05 2010 09:03",
        u"Foo,05 2010 09:03:07", u"0,05 2010 09:03:07", u"Jan,05 2010 09:03:07x"}) {
    EXPECT_FALSE(ParseDateText(bad)) << std::string(bad.begin(), bad.end());
  }
}

}  // namespace
}  // namespace tarvex::testing
