#include "saver/calendar_writer.h"

#include <glib.h>
#include <libical/ical.h>

#include <memory>

#include "base/code_page_1252.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "saver/manifest.h"
#include "saver/output_files.h"
#include "saver/unique_id.h"

namespace tarvex {
namespace {

// Attachments are inlined as base64 and every append rewrites the file.
constexpr std::size_t kMaxAttachmentBytes = 64 * 1024 * 1024;
constexpr std::size_t kMaxCalendarBytes = 1024 * 1024 * 1024;

struct ComponentFree {
  void operator()(icalcomponent* component) const { icalcomponent_free(component); }
};
using ComponentPtr = std::unique_ptr<icalcomponent, ComponentFree>;

struct MallocFree {
  void operator()(char* text) const { std::free(text); }
};

std::string Utf8(std::u16string_view text) {
  // libical escapes line ends itself; a CR before them would stay as a raw byte.
  return Utf16ToUtf8(ReplacedAll(text, u"\r\n", u"\n"));
}

icaltimetype UtcTime(const UtcDateTime& date) {
  icaltimetype time = icaltime_null_time();
  time.year = date.year;
  time.month = date.month;
  time.day = date.day;
  time.hour = date.hour;
  time.minute = date.minute;
  time.second = date.second;
  time.is_date = 0;
  time.zone = icaltimezone_get_utc_timezone();
  return time;
}

void AddText(icalcomponent* component, icalproperty* (*make)(const char*),
             std::u16string_view value) {
  if (Trim(value).empty()) return;
  icalcomponent_add_property(component, make(Utf8(value).c_str()));
}

void AddX(icalcomponent* component, const char* name, std::u16string_view value) {
  if (Trim(value).empty()) return;
  icalproperty* property = icalproperty_new_x(Utf8(value).c_str());
  icalproperty_set_x_name(property, name);
  icalcomponent_add_property(component, property);
}

// A parameter value cannot hold a double quote or a control character in any escaped form.
std::string ParameterText(std::u16string_view text) {
  std::u16string value;
  for (char16_t unit : text) {
    if (unit < 0x20 || unit == 0x7F) continue;
    value.push_back(unit == u'"' ? u'\'' : unit);
  }
  return Utf16ToUtf8(value);
}

void AddCommon(icalcomponent* component, const std::string& uid) {
  icalcomponent_add_property(component, icalproperty_new_uid(uid.c_str()));
  icalcomponent_add_property(
      component,
      icalproperty_new_dtstamp(icaltime_current_time_with_zone(icaltimezone_get_utc_timezone())));
}

void AddBody(icalcomponent* component, const BodyContent& body) {
  AddText(component, icalproperty_new_description, BodyPlainText(body));
  if (body.html && !Trim(body.text).empty()) {
    icalproperty* html = icalproperty_new_x(Utf8(body.text).c_str());
    icalproperty_set_x_name(html, "X-ALT-DESC");
    icalproperty_add_parameter(html, icalparameter_new_fmttype("text/html"));
    icalcomponent_add_property(component, html);
  }
}

// "Ann [ann@example.com]" (the recovery program's form), "Ann <ann@example.com>" or an
// address: ORGANIZER with the name as CN. A sender without address is kept as X-FROM.
void AddOrganizer(icalcomponent* component, std::u16string_view from) {
  const std::u16string text = Trim(from);
  if (text.empty()) return;
  std::size_t open = text.find_last_of(u"[<");
  std::u16string address;
  std::u16string name;
  if (open != std::u16string::npos) {
    const std::size_t close = text.find_first_of(u"]>", open);
    if (close != std::u16string::npos) {
      address = Trim(text.substr(open + 1, close - open - 1));
      name = Trim(text.substr(0, open), u" \t\"");
    }
  } else if (text.find(u'@') != std::u16string::npos && text.find(u' ') == std::u16string::npos) {
    address = text;
  }
  if (address.empty() || address.find(u'@') == std::u16string::npos) {
    AddX(component, "X-FROM", text);
    return;
  }
  icalproperty* organizer = icalproperty_new_organizer(("mailto:" + Utf8(address)).c_str());
  if (!name.empty())
    icalproperty_add_parameter(organizer, icalparameter_new_cn(ParameterText(name).c_str()));
  icalcomponent_add_property(component, organizer);
}

void FreeBase64(char* data, void*) {
  g_free(data);
}

bool AddAttachment(icalcomponent* component, const std::filesystem::path& file,
                   std::string& error) {
  std::string bytes;
  if (!ReadFileBytes(file, kMaxAttachmentBytes, bytes, error)) return false;
  gchar* base64 = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
  icalattach* attach = icalattach_new_from_data(base64, FreeBase64, nullptr);
  icalproperty* property = icalproperty_new_attach(attach);
  icalattach_unref(attach);
  icalproperty_add_parameter(property, icalparameter_new_encoding(ICAL_ENCODING_BASE64));
  icalproperty_add_parameter(property, icalparameter_new_value(ICAL_VALUE_BINARY));
  icalproperty_add_parameter(property, icalparameter_new_fmttype("application/octet-stream"));
  icalparameter* name =
      icalparameter_new_x(ParameterText(Utf8ToUtf16(file.filename().string())).c_str());
  icalparameter_set_xname(name, "X-FILENAME");
  icalproperty_add_parameter(property, name);
  icalcomponent_add_property(component, property);
  return true;
}

void AddAttachments(icalcomponent* component, const std::vector<std::filesystem::path>& files,
                    std::vector<std::string>& warnings) {
  for (const std::filesystem::path& file : files) {
    std::string error;
    if (!AddAttachment(component, file, error)) {
      warnings.push_back(error + "; the attachment was left out");
    }
  }
}

std::string ComponentText(icalcomponent* component) {
  std::unique_ptr<char, MallocFree> text(icalcomponent_as_ical_string_r(component));
  return text ? std::string(text.get()) : std::string();
}

bool Earlier(const UtcDateTime& a, const UtcDateTime& b) {
  return icaltime_compare(UtcTime(a), UtcTime(b)) < 0;
}

}  // namespace

std::string AppointmentComponent(const AppointmentItem& item, std::vector<std::string>& warnings) {
  ComponentPtr event(icalcomponent_new(ICAL_VEVENT_COMPONENT));
  AddCommon(event.get(), item.uid);
  AddText(event.get(), icalproperty_new_summary, item.subject);
  AddText(event.get(), icalproperty_new_location, item.location);
  if (item.start)
    icalcomponent_add_property(event.get(), icalproperty_new_dtstart(UtcTime(*item.start)));
  // An end before the start would make the event invalid; the start alone still places it.
  if (item.end && !(item.start && Earlier(*item.end, *item.start))) {
    icalcomponent_add_property(event.get(), icalproperty_new_dtend(UtcTime(*item.end)));
  }
  AddX(event.get(), "X-TIMEZONE-DESCRIPTION", item.timezone);
  for (const std::u16string& address : item.attendees) {
    icalcomponent_add_property(event.get(),
                               icalproperty_new_attendee(("mailto:" + Utf8(address)).c_str()));
  }
  AddBody(event.get(), item.body);
  AddAttachments(event.get(), item.attachments, warnings);
  return ComponentText(event.get());
}

std::string TaskComponent(const TaskItem& item) {
  ComponentPtr todo(icalcomponent_new(ICAL_VTODO_COMPONENT));
  AddCommon(todo.get(), item.uid);
  AddText(todo.get(), icalproperty_new_summary, item.subject);
  AddOrganizer(todo.get(), item.from);
  if (item.start)
    icalcomponent_add_property(todo.get(), icalproperty_new_dtstart(UtcTime(*item.start)));
  if (item.due && !(item.start && Earlier(*item.due, *item.start))) {
    icalcomponent_add_property(todo.get(), icalproperty_new_due(UtcTime(*item.due)));
  }
  icalcomponent_add_property(
      todo.get(),
      icalproperty_new_status(item.completed ? ICAL_STATUS_COMPLETED : ICAL_STATUS_NEEDSACTION));
  if (item.completed && item.completed_at) {
    icalcomponent_add_property(todo.get(), icalproperty_new_completed(UtcTime(*item.completed_at)));
  }
  // One property per category. libical takes a comma in a category's name for a separator of
  // two categories, and every append reads the file back through it.
  for (const std::u16string& category : item.categories) {
    AddText(todo.get(), icalproperty_new_categories, category);
  }
  AddX(todo.get(), "X-OWNER", item.owner);
  AddBody(todo.get(), item.body);
  return ComponentText(todo.get());
}

std::string NoteComponent(const NoteItem& item, std::vector<std::string>& warnings) {
  ComponentPtr journal(icalcomponent_new(ICAL_VJOURNAL_COMPONENT));
  AddCommon(journal.get(), item.uid);
  AddText(journal.get(), icalproperty_new_summary, item.subject);
  AddOrganizer(journal.get(), item.from);
  if (item.date) {
    icalcomponent_add_property(journal.get(), icalproperty_new_dtstart(UtcTime(*item.date)));
  }
  AddBody(journal.get(), item.body);
  AddAttachments(journal.get(), item.attachments, warnings);
  return ComponentText(journal.get());
}

bool AddToCalendarFile(const std::filesystem::path& file, const std::string& component_text,
                       std::string& error) {
  ComponentPtr component(icalparser_parse_string(component_text.c_str()));
  if (!component) {
    error = "the new calendar entry could not be built";
    return false;
  }
  const FolderLock lock(file.parent_path());
  ComponentPtr calendar;
  std::error_code exists_error;
  if (std::filesystem::exists(file, exists_error)) {
    std::string existing;
    if (!ReadFileBytes(file, kMaxCalendarBytes, existing, error)) return false;
    calendar.reset(icalparser_parse_string(existing.c_str()));
    if (!calendar || icalcomponent_isa(calendar.get()) != ICAL_VCALENDAR_COMPONENT ||
        icalcomponent_count_errors(calendar.get()) > 0) {
      error = file.string() + " is not one valid VCALENDAR; it is left as it is";
      return false;
    }
  } else {
    calendar.reset(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(calendar.get(),
                               icalproperty_new_prodid("-//Tarvex//Mailbox Rescue mailsaving//EN"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
  }
  icalcomponent_add_component(calendar.get(), component.release());
  return ReplaceFileAtomically(file, ComponentText(calendar.get()), error);
}

}  // namespace tarvex
