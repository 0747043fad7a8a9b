#include "mailbox/classification.h"

#include <algorithm>
#include <array>
#include <initializer_list>

#include "base/utf16_text.h"

namespace tarvex {
namespace {

bool IsOneOf(std::u16string_view text, std::initializer_list<std::u16string_view> choices) {
  return std::find(choices.begin(), choices.end(), text) != choices.end();
}

constexpr std::array<std::u16string_view, 37> kExcludedKinds = {
    u"IPM.Microsoft.FolderDesign.NamedView",
    u"IPM.Sharing.Binding.In",
    u"IPF.Sharing.Binding.In",
    u"IPF.Microsoft.FolderDesign.NamedView",
    u"IPM.Microsoft.MigrationStatus",
    u"IPF.Microsoft.MigrationStatus",
    u"IPM.RuleOrganizer",
    u"IPF.RuleOrganizer",
    u"IPM.Configuration.RssRule",
    u"IPF.Configuration.RssRule",
    u"IPM.ExtendedRule.Message",
    u"IPM.MessageManager",
    u"IPF.MessageManager",
    u"REPORT.IPM.Note.IPNRN",
    u"REPORT.IPF.Note.IPNRN",
    u"REPORT.IPM.Note.NDR",
    u"REPORT.IPF.Note.NDR",
    u"IPM.Schedule.Meeting.Resp.Pos",
    u"IPF.Schedule.Meeting.Resp.Pos",
    u"IPM.Configuration.Calendar",
    u"IPF.Configuration.Calendar",
    u"IPM.Configuration.WorkHours",
    u"IPF.Configuration.WorkHours",
    u"IPM.Configuration.AvailabilityOptions",
    u"IPF.Configuration.AvailabilityOptions",
    u"IPM.SchedulePlus.ExpansionData",
    u"IPF.SchedulePlus.ExpansionData",
    u"IPM.Configuration.CategoryList",
    u"IPF.Configuration.CategoryList",
    u"IPM.Configuration.Pubcal",
    u"IPF.Configuration.Pubcal",
    u"IPM.Configuration.HomeTimeZone",
    u"IPF.Configuration.HomeTimeZone",
    u"IPC.MS.Outlook.AgingProperties",
    u"IPC.Microsoft",
    u"IPM.Microsoft",
    u"IPM.Configuration",
};

struct IconRule {
  int icon;
  std::u16string_view upper_case_name;
  std::initializer_list<std::u16string_view> classes;
};

}  // namespace

std::u16string ClassifyMessageClass(std::u16string_view message_class, StoreLayout layout) {
  const std::u16string_view c = message_class;
  if (IsOneOf(c, {u"", u"IPM.Note", u"IPF.Note", u"IPF.Schedule.Meeting.Request",
                  u"IPM.Schedule.Meeting.Request", u"REPORT.REPORT.IPM.Note.NDR.NDR",
                  u"REPORT.REPORT.IPF.Note.NDR.NDR"}) ||
      (layout == StoreLayout::k2010 && c == u"srvinfo.expiry")) {
    return u"mail";
  }
  if (IsOneOf(c, {u"IPM.Contact", u"IPF.Contact"})) return u"contact";
  if (IsOneOf(c, {u"IPM.DistList", u"IPF.DistList"})) return u"distlist";
  if (IsOneOf(c, {u"IPM.Appointment", u"IPF.Appointment"})) return u"appointment";
  if (IsOneOf(c, {u"IPM.Journal", u"IPF.Journal", u"IPM.Activity", u"IPF.Activity"})) {
    return u"activity";
  }
  if (IsOneOf(c, {u"IPM.Task", u"IPF.Task", u"IPM.TaskRequest", u"IPF.TaskRequest"})) {
    return u"task";
  }
  if (IsOneOf(c, {u"IPM.Post.Rss", u"IPF.Post.Rss"})) return u"rss";
  if (IsOneOf(c, {u"IPM.StickyNote", u"IPF.StickyNote"}) ||
      (layout == StoreLayout::kOlder && IsOneOf(c, {u"IPM.InkNotes", u"IPF.InkNotes"}))) {
    return u"notes";
  }
  return std::u16string(c);
}

bool IsExcludedItemKind(std::u16string_view item_kind, StoreLayout layout) {
  if (layout == StoreLayout::k2010 && item_kind == u"IPM.Configuration.ELC") return true;
  return std::find(kExcludedKinds.begin(), kExcludedKinds.end(), item_kind) != kExcludedKinds.end();
}

std::u16string ClassifyFolderClass(std::u16string_view container_class) {
  const std::u16string_view c = container_class;
  if (!c.starts_with(u"IPF.") && !c.starts_with(u"IPM.")) return u"Folder";
  if (IsOneOf(c, {u"IPF.Appointment", u"IPM.Appointment"})) return u"calendar";
  if (IsOneOf(c, {u"IPF.Journal", u"IPM.Journal"})) return u"journal";
  if (IsOneOf(c, {u"IPF.Contact", u"IPM.Contact"})) return u"contact";
  if (IsOneOf(c, {u"IPF.Task", u"IPM.Task", u"IPF.TaskRequest", u"IPM.TaskRequest"})) {
    return u"task";
  }
  if (IsOneOf(c, {u"IPF.StickyNote", u"IPM.StickyNote"})) return u"note";
  return std::u16string(c);
}

int ChooseFolderIcon(std::u16string_view display_name, std::u16string_view folder_class) {
  static const std::array<IconRule, 12> kRules = {{
      {3,
       u"CALENDAR",
       {u"IPF.APPOINTMENT", u"calendar", u"IPF.Appointment", u"IPM.Appointment", u"IPF_Appointment",
        u"IPM_Appointment"}},
      {4,
       u"CONTACTS",
       {u"IPF.CONTACT", u"contact", u"IPF.Contact", u"IPM.Contact", u"IPF_Contact",
        u"IPM_Contact"}},
      {5, u"DELETED ITEMS", {}},
      {6, u"DRAFTS", {}},
      {7, u"INBOX", {}},
      {8,
       u"JOURNAL",
       {u"IPF.JOURNAL", u"journal", u"IPF.Journal", u"IPM.Journal", u"IPF_Journal", u"IPM_Journal",
        u"IPF_Activity", u"IPM_Activity", u"IPF.Activity", u"IPM.Activity"}},
      {9, u"JUNK E-MAILS", {}},
      {10,
       u"NOTES",
       {u"IPF.STICKYNOTE", u"note", u"IPF.StickyNote", u"IPM.StickyNote", u"IPF_StickyNote",
        u"IPM_StickyNote"}},
      {11, u"OUTBOX", {}},
      {12, u"SENT ITEMS", {}},
      {13, u"TASKS", {u"IPF.TASK", u"task", u"IPF.Task", u"IPM.Task", u"IPF_Task", u"IPM_Task"}},
      {14, u"SYNC ISSUES", {}},
  }};
  const std::u16string upper_name = ToAsciiUpper(display_name);
  const std::u16string upper_class = ToAsciiUpper(folder_class);
  for (const IconRule& rule : kRules) {
    if (upper_name == rule.upper_case_name) return rule.icon;
    for (std::u16string_view name : rule.classes) {
      if (folder_class == name || upper_class == name) return rule.icon;
    }
  }
  return 0;
}

}  // namespace tarvex
