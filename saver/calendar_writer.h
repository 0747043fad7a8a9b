#pragma once

// Appointments, tasks, notes and journal items as iCalendar components (built with libical):
// VEVENT entries in "calendar.ics", VTODO in "tasks.ics", VJOURNAL in "notes.ics" and
// "journal.ics", each file one VCALENDAR.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/date_text.h"
#include "saver/body_file.h"

namespace tarvex {

struct AppointmentItem {
  std::string uid;
  std::u16string subject;
  std::u16string location;
  std::optional<UtcDateTime> start;
  std::optional<UtcDateTime> end;
  std::u16string timezone;                // the store's description of the item's time zone
  std::vector<std::u16string> attendees;  // addresses
  BodyContent body;
  std::vector<std::filesystem::path> attachments;
};

struct TaskItem {
  std::string uid;
  std::u16string subject;
  std::u16string from;  // "Name [address]" or a name
  std::optional<UtcDateTime> start;
  std::optional<UtcDateTime> due;
  std::u16string owner;
  bool completed = false;
  std::optional<UtcDateTime> completed_at;
  std::vector<std::u16string> categories;
  BodyContent body;
};

// A note or a journal item.
struct NoteItem {
  std::string uid;
  std::u16string subject;
  std::u16string from;
  std::optional<UtcDateTime> date;
  BodyContent body;
  std::vector<std::filesystem::path> attachments;  // a journal item's
};

// Each builds the component's text ("BEGIN:VEVENT..."). Attachments are inlined; one that
// cannot be read or is too large to inline is left out, with the reason added to `warnings`.
std::string AppointmentComponent(const AppointmentItem& item, std::vector<std::string>& warnings);
std::string TaskComponent(const TaskItem& item);
std::string NoteComponent(const NoteItem& item, std::vector<std::string>& warnings);

// Adds the component to the calendar file, which keeps exactly one VCALENDAR: a file that
// exists is parsed and must be one VCALENDAR without parse errors (otherwise nothing is
// changed), and the result replaces it atomically.
bool AddToCalendarFile(const std::filesystem::path& file, const std::string& component,
                       std::string& error);

}  // namespace tarvex
