// The mailsaving program on appointment, task and note manifests, the .ics files read back
// with libical.

#include <glib.h>
#include <gtest/gtest.h>
#include <libical/ical.h>

#include <memory>
#include <thread>
#include <vector>

#include "base/utf_conversion.h"
#include "saver_test_files.h"

namespace tarvex::testing {
namespace {

struct ComponentFree {
  void operator()(icalcomponent* component) const { icalcomponent_free(component); }
};
using ComponentPtr = std::unique_ptr<icalcomponent, ComponentFree>;

ComponentPtr ParseCalendar(const std::filesystem::path& file) {
  const std::string text = FileText(file);
  ComponentPtr calendar(icalparser_parse_string(text.c_str()));
  EXPECT_TRUE(calendar);
  if (calendar) {
    EXPECT_EQ(icalcomponent_isa(calendar.get()), ICAL_VCALENDAR_COMPONENT);
    EXPECT_EQ(icalcomponent_count_errors(calendar.get()), 0);
  }
  // One VCALENDAR and nothing after it.
  EXPECT_EQ(text.find("BEGIN:VCALENDAR"), text.rfind("BEGIN:VCALENDAR"));
  // Lines of at most 75 octets ended by CR LF, folded between characters.
  EXPECT_TRUE(text.ends_with("\r\n"));
  for (std::size_t start = 0, end = 0; start < text.size(); start = end + 2) {
    end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = std::string_view(text).substr(start, end - start);
    EXPECT_LE(line.size(), 75u) << line;
    EXPECT_EQ(line.find('\n'), std::string_view::npos) << line;
    EXPECT_TRUE(DecodeUtf8Strict(line)) << line;
  }
  return calendar;
}

std::vector<icalcomponent*> Components(icalcomponent* calendar, icalcomponent_kind kind) {
  std::vector<icalcomponent*> found;
  for (icalcomponent* c = icalcomponent_get_first_component(calendar, kind); c != nullptr;
       c = icalcomponent_get_next_component(calendar, kind)) {
    found.push_back(c);
  }
  return found;
}

std::string Time(icaltimetype time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d%s", time.year, time.month,
                time.day, time.hour, time.minute, time.second, icaltime_is_utc(time) ? " UTC" : "");
  return text;
}

std::string XValue(icalcomponent* component, const char* name) {
  for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_X_PROPERTY); p != nullptr;
       p = icalcomponent_get_next_property(component, ICAL_X_PROPERTY)) {
    if (std::string_view(icalproperty_get_x_name(p)) == name) return icalproperty_get_x(p);
  }
  return "";
}

std::string Decoded(const char* base64) {
  gsize size = 0;
  std::unique_ptr<guchar, decltype(&g_free)> bytes(g_base64_decode(base64, &size), g_free);
  return std::string(reinterpret_cast<const char*>(bytes.get()), size);
}

class CalendarSavingTest : public testing::SaverFolderTest {
 protected:
  CalendarSavingTest() : SaverFolderTest("Calendar") {}
  ManifestLines Appointment(std::u16string subject, std::u16string attachments) {
    const std::u16string folder = Text(box_);
    return {{u"exFolderPath:", folder},
            {u"FolderPath:", folder},
            {u"SUBJECT:", subject},
            {u"LOCATION:", u"Зал 3, 東京; Room \"A\""},
            {u"STARTDATE:", u"Mar,14 2011 13:30:00"},
            {u"ENDDATE:", u"Mar,14 2011 15:00:00"},
            {u"ATTACHMENT:", attachments},
            {u"TYPE:", u"txt"},
            {u"timezone:", u"(GMT+01:00) Amsterdam, Berlin"},
            {u"Body:", Text(work_ / "blank.txt")},
            {u"UID:", u""},
            {u"ATTENDEES:", u"ann@example.com\tbob@example.org\t"}};
  }
};

TEST_F(CalendarSavingTest, AppointmentsKeepEveryValueAcrossTwoAppends) {
  const std::u16string body = u"Agenda, item 1;\r\nВторой пункт\r\n中文";
  WriteFile(work_ / "blank.txt", EncodeUtf16Le(body));
  const std::string binary("\0\x01\xFF\0PNG\r\n\x1A\n", 11);
  WriteFile(work_ / "схема \"v2\", final: 1.png", binary);
  // Long enough to be folded, with characters of two, three and four octets.
  std::u16string subject;
  for (int i = 0; i < 6; ++i) subject += u"Встреча, plan; 会议 🦊.";
  WriteManifest(Appointment(subject, Text(work_ / "схема \"v2\", final: 1.png") + u";"));
  testing::SaverRun run = RunSaver("appointment", scratch_.path());
  ASSERT_EQ(run.exit_code, 0) << run.standard_error;
  WriteManifest(Appointment(u"Second", u""));
  run = RunSaver("appointment", scratch_.path());
  ASSERT_EQ(run.exit_code, 0) << run.standard_error;

  ComponentPtr calendar = ParseCalendar(box_ / "calendar.ics");
  ASSERT_TRUE(calendar);
  const auto events = Components(calendar.get(), ICAL_VEVENT_COMPONENT);
  ASSERT_EQ(events.size(), 2u);
  icalcomponent* event = events[0];
  EXPECT_EQ(std::string(icalcomponent_get_summary(event)), Utf16ToUtf8(subject));
  EXPECT_EQ(std::string(icalcomponent_get_location(event)),
            Utf16ToUtf8(u"Зал 3, 東京; Room \"A\""));
  EXPECT_EQ(Time(icalcomponent_get_dtstart(event)), "2011-03-14 13:30:00 UTC");
  EXPECT_EQ(Time(icalcomponent_get_dtend(event)), "2011-03-14 15:00:00 UTC");
  EXPECT_EQ(std::string(icalcomponent_get_description(event)),
            Utf16ToUtf8(u"Agenda, item 1;\nВторой пункт\n中文"));
  EXPECT_EQ(XValue(event, "X-TIMEZONE-DESCRIPTION"), "(GMT+01:00) Amsterdam, Berlin");
  std::vector<std::string> attendees;
  for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_ATTENDEE_PROPERTY);
       p != nullptr; p = icalcomponent_get_next_property(event, ICAL_ATTENDEE_PROPERTY)) {
    attendees.emplace_back(icalproperty_get_attendee(p));
  }
  EXPECT_EQ(attendees,
            (std::vector<std::string>{"mailto:ann@example.com", "mailto:bob@example.org"}));
  icalproperty* attach = icalcomponent_get_first_property(event, ICAL_ATTACH_PROPERTY);
  ASSERT_NE(attach, nullptr);
  EXPECT_EQ(
      Decoded(reinterpret_cast<const char*>(icalattach_get_data(icalproperty_get_attach(attach)))),
      binary);
  EXPECT_NE(std::string(icalproperty_as_ical_string(attach))
                .find(Utf16ToUtf8(u"схема 'v2', final: 1.png")),
            std::string::npos);
  EXPECT_EQ(std::string(icalcomponent_get_summary(events[1])), "Second");
  EXPECT_STRNE(icalcomponent_get_uid(events[0]), icalcomponent_get_uid(events[1]));
}

TEST_F(CalendarSavingTest, HtmlBodyGivesTextAndTheHtml) {
  WriteFile(work_ / "htmlbody.html",
            Utf16ToUtf8(u"<p>Первый</p>\n<p>Second &amp; third,; \\n</p>"));
  ManifestLines lines = Appointment(u"Html", u"");
  lines[7].second = u"html";
  lines[9].second = Text(work_ / "htmlbody.html");
  WriteManifest(lines);
  ASSERT_EQ(RunSaver("appointment", scratch_.path()).exit_code, 0);
  ComponentPtr calendar = ParseCalendar(box_ / "calendar.ics");
  ASSERT_TRUE(calendar);
  icalcomponent* event = icalcomponent_get_first_component(calendar.get(), ICAL_VEVENT_COMPONENT);
  const std::string description = icalcomponent_get_description(event);
  EXPECT_NE(description.find(Utf16ToUtf8(u"Первый")), std::string::npos);
  EXPECT_NE(description.find("Second & third"), std::string::npos);
  EXPECT_EQ(description.find("<p>"), std::string::npos);
  EXPECT_EQ(XValue(event, "X-ALT-DESC"),
            Utf16ToUtf8(u"<p>Первый</p>\n<p>Second &amp; third,; \\n</p>"));
}

std::vector<std::string> Categories(icalcomponent* component) {
  std::vector<std::string> categories;
  for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_CATEGORIES_PROPERTY);
       p != nullptr; p = icalcomponent_get_next_property(component, ICAL_CATEGORIES_PROPERTY)) {
    categories.emplace_back(icalproperty_get_categories(p));
  }
  return categories;
}

TEST_F(CalendarSavingTest, TasksUseLfLinesAndMonthNumbers) {
  WriteFile(work_ / "blank.txt", EncodeUtf16Le(u"Подробности задачи"));
  ManifestLines task = {{u"FolderPath:", Text(box_)},
                        {u"SUBJECT:", u"Отчёт сдать"},
                        {u"FROM:", u"Ann Lee [ann@example.com]"},
                        {u"STARTDATE:", u"12,01 2012 08:00:00"},
                        {u"DUEDATE:", u"12,24 2012 17:45:00"},
                        {u"OWNER:", u"Борис"},
                        {u"TYPE:", u"txt"},
                        {u"Body:", Text(work_ / "blank.txt")},
                        {u"UID:", u"1-2a3b"},
                        {u"STATUS:", u"1"},
                        {u"DONEDATE:", u"12,20 2012 09:00:00"},
                        {u"CATEGORIES:", u"Работа\tA; B\t"}};
  WriteManifest(task, u"\n");
  testing::SaverRun run = RunSaver("task", scratch_.path());
  ASSERT_EQ(run.exit_code, 0) << run.standard_error;
  // The same item again, and one whose record knows nothing of status, UID and categories.
  ASSERT_EQ(RunSaver("task", scratch_.path()).exit_code, 0);
  task.resize(8);
  WriteManifest(task, u"\n");
  run = RunSaver("task", scratch_.path());
  ASSERT_EQ(run.exit_code, 0) << run.standard_error;
  ComponentPtr calendar = ParseCalendar(box_ / "tasks.ics");
  ASSERT_TRUE(calendar);
  const auto todos = Components(calendar.get(), ICAL_VTODO_COMPONENT);
  ASSERT_EQ(todos.size(), 3u);
  EXPECT_EQ(icalcomponent_get_status(todos[0]), ICAL_STATUS_COMPLETED);
  icalproperty* completed = icalcomponent_get_first_property(todos[0], ICAL_COMPLETED_PROPERTY);
  ASSERT_NE(completed, nullptr);
  EXPECT_EQ(Time(icalproperty_get_completed(completed)), "2012-12-20 09:00:00 UTC");
  EXPECT_EQ(Categories(todos[0]), (std::vector<std::string>{Utf16ToUtf8(u"Работа"), "A; B"}));
  EXPECT_STREQ(icalcomponent_get_uid(todos[0]), icalcomponent_get_uid(todos[1]));
  EXPECT_EQ(icalcomponent_get_status(todos[2]), ICAL_STATUS_NEEDSACTION);
  EXPECT_TRUE(Categories(todos[2]).empty());
  EXPECT_STRNE(icalcomponent_get_uid(todos[0]), icalcomponent_get_uid(todos[2]));
  EXPECT_EQ(std::string(icalcomponent_get_summary(todos[0])), Utf16ToUtf8(u"Отчёт сдать"));
  EXPECT_EQ(Time(icalcomponent_get_dtstart(todos[0])), "2012-12-01 08:00:00 UTC");
  EXPECT_EQ(Time(icalcomponent_get_due(todos[0])), "2012-12-24 17:45:00 UTC");
  EXPECT_EQ(std::string(icalcomponent_get_description(todos[0])),
            Utf16ToUtf8(u"Подробности задачи"));
  EXPECT_EQ(XValue(todos[0], "X-OWNER"), Utf16ToUtf8(u"Борис"));
  icalproperty* organizer = icalcomponent_get_first_property(todos[0], ICAL_ORGANIZER_PROPERTY);
  ASSERT_NE(organizer, nullptr);
  EXPECT_EQ(std::string(icalproperty_get_organizer(organizer)), "mailto:ann@example.com");
  icalparameter* name = icalproperty_get_first_parameter(organizer, ICAL_CN_PARAMETER);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(std::string(icalparameter_get_cn(name)), "Ann Lee");

  // The same record with CR LF line ends is not a task record.
  WriteManifest(task, u"\r\n");
  const std::string before = FileText(box_ / "tasks.ics");
  EXPECT_NE(RunSaver("task", scratch_.path()).exit_code, 0);
  EXPECT_EQ(FileText(box_ / "tasks.ics"), before);
}

TEST_F(CalendarSavingTest, NotesUndoTheBodyEscapesAndJournalItemsKeepTheirBodyFile) {
  const ManifestLines note = {{u"exFolderPath:", Text(box_)},
                              {u"FolderPath:", Text(box_)},
                              {u"SUBJECT:", u"Заметка"},
                              {u"FROM:", u"Kim"},
                              {u"DATE:", u"7,04 2013 06:05:04"},
                              {u"TYPE:", u"txt"},
                              {u"Body:", u"Milk\\cama eggs<newlinebreak>Хлеб<newlinebreak>"}};
  WriteManifest(note);
  ASSERT_EQ(RunSaver("notes", scratch_.path()).exit_code, 0);
  WriteManifest(note);
  ASSERT_EQ(RunSaver("notes", scratch_.path()).exit_code, 0);
  ComponentPtr calendar = ParseCalendar(box_ / "notes.ics");
  ASSERT_TRUE(calendar);
  const auto journals = Components(calendar.get(), ICAL_VJOURNAL_COMPONENT);
  ASSERT_EQ(journals.size(), 2u);
  EXPECT_EQ(std::string(icalcomponent_get_summary(journals[0])), Utf16ToUtf8(u"Заметка"));
  EXPECT_EQ(std::string(icalcomponent_get_description(journals[0])),
            Utf16ToUtf8(u"Milk, eggs\nХлеб"));
  EXPECT_EQ(Time(icalcomponent_get_dtstart(journals[0])), "2013-07-04 06:05:04 UTC");
  EXPECT_EQ(XValue(journals[0], "X-FROM"), "Kim");  // a sender without address

  WriteFile(work_ / "blank.txt", EncodeUtf16Le(u"Звонок, 10 минут\r\nOK"));
  WriteFile(work_ / "запись.txt", "minutes");
  const ManifestLines journal = {{u"FolderPath:", Text(box_)},
                                 {u"SUBJECT:", u"Phone call 📞"},
                                 {u"FROM:", u"Ann Lee [ann@example.com]"},
                                 {u"DATE:", u"1,05 2010 09:03:07"},
                                 {u"ATTACHMENT:", Text(work_ / "запись.txt") + u";"},
                                 {u"TYPE:", u"txt"},
                                 {u"Body:", Text(work_ / "blank.txt")},
                                 {u"UID:", u"7f"}};
  WriteManifest(journal);
  const testing::SaverRun run = RunSaver("journal", scratch_.path());
  ASSERT_EQ(run.exit_code, 0) << run.standard_error;
  ComponentPtr journal_file = ParseCalendar(box_ / "journal.ics");
  ASSERT_TRUE(journal_file);
  const auto entries = Components(journal_file.get(), ICAL_VJOURNAL_COMPONENT);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(std::string(icalcomponent_get_summary(entries[0])), Utf16ToUtf8(u"Phone call 📞"));
  EXPECT_EQ(std::string(icalcomponent_get_description(entries[0])),
            Utf16ToUtf8(u"Звонок, 10 минут\nOK"));
  EXPECT_EQ(Time(icalcomponent_get_dtstart(entries[0])), "2010-01-05 09:03:07 UTC");
  icalproperty* attach = icalcomponent_get_first_property(entries[0], ICAL_ATTACH_PROPERTY);
  ASSERT_NE(attach, nullptr);
  EXPECT_EQ(
      Decoded(reinterpret_cast<const char*>(icalattach_get_data(icalproperty_get_attach(attach)))),
      "minutes");
}

TEST_F(CalendarSavingTest, SaversRunningTogetherKeepEveryEntry) {
  constexpr int kSavers = 6;
  std::vector<std::unique_ptr<testing::ScratchFolder>> manifests;
  for (int i = 0; i < kSavers; ++i) {
    manifests.push_back(std::make_unique<testing::ScratchFolder>());
    const ManifestLines note = {{u"exFolderPath:", Text(box_)},
                                {u"FolderPath:", Text(box_)},
                                {u"SUBJECT:", u"n" + Utf8ToUtf16(std::to_string(i))},
                                {u"FROM:", u""},
                                {u"DATE:", u""},
                                {u"TYPE:", u"txt"},
                                {u"Body:", u"b"}};
    WriteFile(manifests.back()->path() / "mailsaving.txt", ManifestBytes(note));
  }
  std::vector<int> exit_codes(kSavers, -1);
  {
    std::vector<std::jthread> savers;
    for (int i = 0; i < kSavers; ++i) {
      savers.emplace_back([&, i] {
        exit_codes[static_cast<std::size_t>(i)] =
            RunSaver("notes", manifests[static_cast<std::size_t>(i)]->path()).exit_code;
      });
    }
  }
  EXPECT_EQ(exit_codes, std::vector<int>(kSavers, 0));
  ComponentPtr calendar = ParseCalendar(box_ / "notes.ics");
  ASSERT_TRUE(calendar);
  EXPECT_EQ(Components(calendar.get(), ICAL_VJOURNAL_COMPONENT).size(),
            static_cast<std::size_t>(kSavers));
}

TEST_F(CalendarSavingTest, ADamagedCalendarIsLeftAsItIs) {
  std::filesystem::create_directories(box_);
  const std::string foreign = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nSUMMARY:cut off";
  WriteFile(box_ / "calendar.ics", foreign);
  WriteFile(work_ / "blank.txt", "");
  WriteManifest(Appointment(u"New", u""));
  const testing::SaverRun run = RunSaver("appointment", scratch_.path());
  EXPECT_NE(run.exit_code, 0);
  EXPECT_NE(run.standard_error.find("calendar.ics"), std::string::npos) << run.standard_error;
  EXPECT_EQ(FileText(box_ / "calendar.ics"), foreign);
}

}  // namespace
}  // namespace tarvex::testing
