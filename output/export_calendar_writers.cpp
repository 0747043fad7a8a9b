#include "output/export_writers.h"

#include "base/binary_file.h"
#include "base/file_names.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "content/text_transformations.h"
#include "output/export_item_record.h"
#include "output/export_manifest.h"
#include "output/export_working_files.h"
#include "output/mime_message_writer.h"

namespace tarvex {

void SaveAppointmentItem(ExportSession& session, SaveQueueEntry& item,
                         const ExportItemValues& values) {
  Recovery& recovery = session.recovery;
  ResetItemState(recovery);
  const std::u16string attachment_names = ExtractExportAttachments(recovery, values);
  ExportItemRecord item_record(recovery, values);
  if (!item_record.record()) {
    ++session.items_skipped;
    return;
  }
  PreviewRecord& record = *item_record.record();
  const std::u16string timezone = record.FirstValue({u"S8201", u"S821b", u"S8214", u"S8204"});
  const std::u16string location = record.FirstValue({u"S810c", u"S81fd"});
  const std::u16string start = record.FirstValue({u"T818f", u"T800d", u"T814e", u"T81c3", u"T81cb",
                                                  u"T810b", u"T81ef", u"T81bd", u"T60", u"T812e"});
  const std::u16string end = record.FirstValue(
      {u"T814d", u"T8198", u"T81c2", u"T81c9", u"T8102", u"T81bc", u"T61", u"T8155", u"T8156"});
  SubjectFallback(record, item);
  FindExportBody(recovery, record, u"blank.txt", values.plain_body);
  const BodyState& body = recovery.body();
  const std::u16string attachment_files =
      attachment_names.empty() ? u""
                               : FilterAttachmentFiles(recovery.working_folder(), attachment_names);

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
  HandOver(session, manifest, false, u"appointment", item.subject);
}

void SaveTaskItem(ExportSession& session, SaveQueueEntry& item, const ExportItemValues& values) {
  Recovery& recovery = session.recovery;
  ResetItemState(recovery);
  ExtractExportAttachments(recovery, values);
  ExportItemRecord item_record(recovery, values);
  if (!item_record.record()) {
    ++session.items_skipped;
    return;
  }
  PreviewRecord& record = *item_record.record();
  const std::u16string owner = record.FirstValue({u"S8122", u"S801b"});
  std::u16string start = record.Time(u"T8199");
  std::u16string due = record.Time(u"T8198");
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
  HandOver(session, manifest, false, u"task", item.subject);
}

void SaveDistListItem(ExportSession& session, SaveQueueEntry&, const ExportItemValues&) {
  ++session.items_skipped;
}

void SaveJournalItem(ExportSession& session, SaveQueueEntry&, const ExportItemValues&) {
  ++session.items_skipped;
}

}  // namespace tarvex
