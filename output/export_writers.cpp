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
namespace {

std::filesystem::path ManifestPath(const ExportSession& session) {
  return session.manifest_folder / PathFromText(kManifestFileName);
}

// Writes the record and runs the saver; a manifest that cannot be written runs no saver.
void HandOver(ExportSession& session, const ManifestRecord& record, bool mail_record,
              std::u16string_view parameter, std::u16string_view subject) {
  if (!WriteManifestFile(ManifestPath(session), record, mail_record)) {
    ++session.saver_failures;
    return;
  }
  RunSaver(session, parameter, subject);
}

void ResetItemState(Recovery& recovery) {
  recovery.body().format = BodyFormat::kNone;
  recovery.body().text.clear();
}

// The saver reads the sender from the message file's first line. Written as UTF-8, so that
// a sender outside the ANSI code page survives.
void WriteSenderFile(const std::filesystem::path& message_path, std::u16string_view sender) {
  BinaryFile file;
  if (!file.Open(message_path, BinaryFile::kCreate | BinaryFile::kWrite)) return;
  const std::string line = "From: " + Utf16ToUtf8(SingleLine(sender));
  file.Write(line.data(), line.size());
  file.Close();
}

}  // namespace

std::u16string MailSubject(std::u16string_view subject) {
  std::u16string rewritten(subject);
  for (char16_t& unit : rewritten) {
    if (unit == u'\u2014' || unit == u'?' || unit == u'-') unit = u' ';
  }
  return rewritten;
}

// "[a@x] [b@y]" becomes "<a@x>,<b@y>,": entries of a name and a bracketed address, each
// followed by a comma.
std::u16string MailToList(std::u16string_view recipients) {
  std::u16string to = ReplacedAll(ReplacedAll(recipients, u"[", u"<"), u"]", u">");
  to = ReplacedAll(to, u">", u">,");
  to = ReplacedAll(to, u",,", u",");
  to = ReplacedAll(to, u", ", u",");
  return ReplacedAll(to, u" <", u"<");
}

// Converted RTF and the fallback body are UTF-8; other body files are told by their bytes.
BodyFileEncoding BodyEncodingOf(const BodyState& body) {
  const std::filesystem::path name = body.file_path.filename();
  if (name == "tempbody.txt" || (name == "rtfbody.txt" && body.format == BodyFormat::kText)) {
    return BodyFileEncoding::kUtf8;
  }
  return BodyFileEncoding::kUnknown;
}

void SaveMailItem(ExportSession& session, SaveQueueEntry& item, const ExportItemValues& values) {
  Recovery& recovery = session.recovery;
  ResetItemState(recovery);
  const std::u16string attachment_names = ExtractExportAttachments(recovery, values);
  ExportItemRecord item_record(recovery, values);
  if (!item_record.record()) {
    ++session.items_skipped;
    return;
  }
  PreviewRecord& record = *item_record.record();
  SubjectFallback(record, item);
  FindExportBody(recovery, record, u"tempbody.txt", values.plain_body, FallbackBodyEncoding::kUtf8);
  const BodyState& body = recovery.body();
  const std::u16string body_kind = BodyKindText(body);
  const std::u16string subject = MailSubject(item.subject);
  const std::u16string attachment_files =
      attachment_names.empty() ? u""
                               : FilterAttachmentFiles(recovery.working_folder(), attachment_names);
  const std::u16string to = MailToList(values.recipients);

  EmlMessage message;
  message.message_path =
      recovery.working_folder() / PathFromText(SafeFileName(item.item_id, u"item") + u".eml");
  message.from = item.sender;
  message.to = to;
  message.cc = values.copy_recipients;
  message.bcc = values.blind_copy_recipients;
  message.date = item.date;
  message.subject = subject;
  message.body_kind = body_kind;
  message.body_file = body.file_path;
  message.body_encoding = BodyEncodingOf(body);
  message.attachment_list = attachment_files;
  WriteEmlFile(message);
  WriteSenderFile(message.message_path, item.sender);

  ManifestRecord manifest;
  manifest.Add(u"exFolderPath:", session.folder_path);
  manifest.Add(u"FolderPath:", session.folder_path);
  manifest.Add(u"ATTA:", attachment_files);
  manifest.Add(u"SUBJECT:", subject);
  manifest.Add(u"TO:", to);
  manifest.Add(u"CC:", values.copy_recipients);
  manifest.Add(u"BCC:", values.blind_copy_recipients);
  manifest.Add(u"TYPE:", body_kind);
  manifest.Add(u"DATE:", item.date);
  manifest.Add(u"PATH:", TextFromPath(message.message_path));
  manifest.Add(u"BPATH:", TextFromPath(body.file_path));
  HandOver(session, manifest, true, u"mailimport", subject);
}

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
