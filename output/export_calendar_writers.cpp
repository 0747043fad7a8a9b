#include <vector>

#include "base/binary_file.h"
#include "base/file_names.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "content/text_transformations.h"
#include "output/export_item_record.h"
#include "output/export_manifest.h"
#include "output/export_working_files.h"
#include "output/export_writers.h"
#include "output/mime_message_writer.h"

namespace tarvex {

void SaveAppointmentItem(ExportSession& session, SaveQueueEntry& item,
                         const ExportItemValues& values) {
  Recovery& recovery = session.recovery;
  const std::u16string attachment_names = ExtractExportAttachments(recovery, values);
  ExportItemRecord item_record(session, values);
  if (!item_record.record()) return;
  PreviewRecord& record = *item_record.record();
  // The 2010 layout keeps location, times and time zone under names of its own.
  const bool older = recovery.layout() != StoreLayout::k2010;
  const std::u16string timezone = older
                                      ? record.FirstValue({u"S8201", u"S821b", u"S8214", u"S8204"})
                                      : record.FirstValue({u"S8201", u"S821b", u"S8214", u"S8051"});
  const std::u16string location = older
                                      ? record.FirstValue({u"S810c", u"S81fd"})
                                      : record.FirstValue({u"S810c", u"S81fd", u"S8049", u"S8004"});
  const std::u16string start =
      older ? record.FirstValue({u"T818f", u"T800d", u"T814e", u"T81c3", u"T81cb", u"T810b",
                                 u"T81ef", u"T81bd", u"T60", u"T812e"})
            : record.FirstValue({u"T818f", u"T800d", u"T814e", u"T81c3", u"T81cb", u"T810b",
                                 u"T81ef", u"T81bd", u"T60", u"T8040"});
  const std::u16string end =
      older ? record.FirstValue({u"T814d", u"T8198", u"T81c2", u"T81c9", u"T8102", u"T81bc", u"T61",
                                 u"T8155", u"T8156"})
            : record.FirstValue(
                  {u"T814d", u"T8198", u"T81c2", u"T81c9", u"T8102", u"T81bc", u"T61", u"T8041"});
  SubjectFallback(record, item);
  FindExportBody(recovery, record, u"blank.txt", values.plain_body);
  const BodyState& body = recovery.body();
  const std::u16string attachment_files = ExistingAttachmentFiles(recovery, attachment_names);

  ManifestRecord manifest;
  manifest.Add(u"exFolderPath:", session.folder_path);
  manifest.Add(u"FolderPath:", session.folder_path);
  manifest.Add(u"SUBJECT:", item.subject);
  manifest.Add(u"LOCATION:", location);
  manifest.Add(u"STARTDATE:", start);
  manifest.Add(u"ENDDATE:", end);
  manifest.Add(u"ATTACHMENT:", attachment_files);
  manifest.Add(u"TYPE:", BodyKindText(body));
  manifest.Add(u"timezone:", timezone);
  manifest.Add(u"Body:", TextFromPath(body.file_path));
  manifest.Add(u"UID:", item.item_id);
  manifest.Add(u"ATTENDEES:", ManifestList(Split(ExtractMailAddresses(values.recipients), u',')));
  HandOver(session, manifest, false, u"appointment", item.subject);
}

void SaveTaskItem(ExportSession& session, SaveQueueEntry& item, const ExportItemValues& values) {
  Recovery& recovery = session.recovery;
  ExtractExportAttachments(recovery, values);
  ExportItemRecord item_record(session, values);
  if (!item_record.record()) return;
  PreviewRecord& record = *item_record.record();
  const std::u16string owner = record.FirstValue({u"S8122", u"S801b"});
  std::u16string start = record.Time(u"T8199");
  std::u16string due = record.Time(u"T8198");
  // The follow-up flag status: 1 once the task is complete, with the time it was completed.
  const std::u16string status = Trim(record.Text(u"L1090"));
  const std::u16string completed = MonthNamesToNumbers(record.Time(u"T1091"));
  SenderFallback(record, item);
  SubjectFallback(record, item);
  FindExportBody(recovery, record, u"blank.txt", values.plain_body);
  const BodyState& body = recovery.body();
  start = MonthNamesToNumbers(start);
  due = MonthNamesToNumbers(due);
  const std::u16string date = MonthNamesToNumbers(item.date);

  ManifestRecord manifest;
  manifest.lf_line_ends = true;
  manifest.Add(u"FolderPath:", session.folder_path);
  manifest.Add(u"SUBJECT:", item.subject);
  manifest.Add(u"FROM:", item.sender);
  manifest.Add(u"STARTDATE:", start.empty() ? date : start);
  manifest.Add(u"DUEDATE:", due);
  manifest.Add(u"OWNER:", owner);
  manifest.Add(u"TYPE:", BodyKindText(body));
  manifest.Add(u"Body:", TextFromPath(body.file_path));
  manifest.Add(u"UID:", item.item_id);
  manifest.Add(u"STATUS:", status);
  manifest.Add(u"DONEDATE:", completed);
  manifest.Add(u"CATEGORIES:", ManifestList(record.Texts(u"MS80db")));
  HandOver(session, manifest, false, u"task", item.subject);
}

void SaveDistListItem(ExportSession& session, SaveQueueEntry& item,
                      const ExportItemValues& values) {
  Recovery& recovery = session.recovery;
  ExportItemRecord item_record(session, values);
  if (!item_record.record()) return;
  PreviewRecord& record = *item_record.record();
  SubjectFallback(record, item);
  const std::u16string name = item.subject.empty() ? record.Text(u"S3001") : item.subject;
  std::vector<std::u16string> members;
  for (const std::u16string& member : record.Texts(u"MN81d8")) {
    std::u16string entry = DistListMemberText(member);
    if (!entry.empty()) members.push_back(std::move(entry));
  }
  FindExportBody(recovery, record, u"blank.txt", values.plain_body);
  const BodyState& body = recovery.body();

  ManifestRecord manifest;
  manifest.Add(u"FolderPath:", session.folder_path);
  manifest.Add(u"NAME:", name);
  manifest.Add(u"MEMBERS:", ManifestList(members));
  manifest.Add(u"TYPE:", BodyKindText(body));
  manifest.Add(u"Body:", TextFromPath(body.file_path));
  manifest.Add(u"UID:", item.item_id);
  HandOver(session, manifest, false, u"distlist", name);
}

void SaveJournalItem(ExportSession& session, SaveQueueEntry& item, const ExportItemValues& values) {
  Recovery& recovery = session.recovery;
  const std::u16string attachment_names = ExtractExportAttachments(recovery, values);
  ExportItemRecord item_record(session, values);
  if (!item_record.record()) return;
  PreviewRecord& record = *item_record.record();
  SenderFallback(record, item);
  SubjectFallback(record, item);
  FindExportBody(recovery, record, u"blank.txt", values.plain_body);
  const BodyState& body = recovery.body();
  const std::u16string attachment_files = ExistingAttachmentFiles(recovery, attachment_names);

  ManifestRecord manifest;
  manifest.Add(u"FolderPath:", session.folder_path);
  manifest.Add(u"SUBJECT:", item.subject);
  manifest.Add(u"FROM:", item.sender);
  manifest.Add(u"DATE:", MonthNamesToNumbers(item.date));
  manifest.Add(u"ATTACHMENT:", attachment_files);
  manifest.Add(u"TYPE:", BodyKindText(body));
  manifest.Add(u"Body:", TextFromPath(body.file_path));
  manifest.Add(u"UID:", item.item_id);
  HandOver(session, manifest, false, u"journal", item.subject);
}

std::u16string DistListMemberText(std::u16string_view member) {
  // The name stands before the address type, the address after it; a member written the other
  // way round has its address before the type.
  const std::size_t type = member.rfind(u"SMTP");
  const std::u16string_view before = member.substr(0, type);
  std::u16string addresses;
  if (type != std::u16string_view::npos) addresses = ExtractMailAddresses(member.substr(type + 4));
  if (addresses.empty()) addresses = ExtractMailAddresses(member);
  const std::u16string address = addresses.substr(0, addresses.find(u','));
  if (address.empty()) return u"";
  std::u16string name = type == std::u16string_view::npos ? u"" : std::u16string(before);
  for (char16_t& unit : name) {
    if (unit == u'<' || unit == u'>') unit = u' ';
  }
  name = Trim(name);
  if (name.empty() || name == address) return address;
  return name + u" <" + address + u">";
}

}  // namespace tarvex
