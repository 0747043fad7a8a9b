#include <filesystem>
#include <system_error>

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
namespace {

// The saver reads the sender from the message file's first line. Written as UTF-8, so that
// a sender outside the ANSI code page survives.
void WriteSenderFile(const std::filesystem::path& message_path, std::u16string_view sender) {
  // Removed first: ext4 writes a file cut to nothing and written again through to the disk.
  std::error_code error;
  std::filesystem::remove(message_path, error);
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
  const std::u16string attachment_names = ExtractExportAttachments(recovery, values);
  ExportItemRecord item_record(session, values);
  if (!item_record.record()) return;
  PreviewRecord& record = *item_record.record();
  SubjectFallback(record, item);
  FindExportBody(recovery, record, u"tempbody.txt", values.plain_body, FallbackBodyEncoding::kUtf8);
  const BodyState& body = recovery.body();
  const std::u16string body_kind = BodyKindText(body);
  const std::u16string subject = MailSubject(item.subject);
  const std::u16string attachment_files = ExistingAttachmentFiles(recovery, attachment_names);
  const std::u16string to = MailToList(values.recipients);

  const StoredMessageFields stored = record.MessageFields();
  EmlMessage message;
  message.message_path =
      recovery.working_folder() / PathFromText(SafeFileName(item.item_id, u"item") + u".eml");
  message.from = item.sender;
  message.to = values.recipients;
  message.cc = values.copy_recipients;
  message.bcc = values.blind_copy_recipients;
  message.date = item.date;
  message.subject = item.subject;
  message.body_kind = body_kind;
  message.body_file = body.file_path;
  message.body_encoding = BodyEncodingOf(body);
  message.attachment_list = attachment_files;
  message.transport_headers = stored.transport_headers;
  message.message_id = stored.message_id;
  message.in_reply_to = stored.in_reply_to;
  message.references = stored.references;
  message.item_id = item.item_id;
  WriteEmlFile(message);
  // The saver takes the whole message from a copy; the message file itself is cut back to the
  // sender line it has always read the sender from.
  const std::filesystem::path whole_message =
      recovery.working_folder() /
      PathFromText(SafeFileName(item.item_id, u"item") + u".message.eml");
  std::error_code move_error;
  std::filesystem::rename(message.message_path, whole_message, move_error);
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
  manifest.Add(u"EXACTSUBJECT:", item.subject);
  manifest.Add(u"MESSAGEFILE:", move_error ? u"" : TextFromPath(whole_message));
  HandOver(session, manifest, true, u"mailimport", subject);
}

}  // namespace tarvex
