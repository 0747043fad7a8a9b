#include "saver/save_item.h"

#include <system_error>

#include "base/code_page_1252.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "saver/body_file.h"
#include "saver/calendar_writer.h"
#include "saver/contact_fields.h"
#include "saver/date_text.h"
#include "saver/mail_store.h"
#include "saver/mail_writer.h"
#include "saver/note_body.h"
#include "saver/output_files.h"
#include "saver/unique_id.h"
#include "saver/vcard_writer.h"

namespace tarvex {
namespace {

// Each listed path is followed by ";". A file that is gone is reported and left out.
std::vector<std::filesystem::path> AttachmentFiles(std::u16string_view list,
                                                   std::vector<std::string>& warnings) {
  std::vector<std::filesystem::path> files;
  std::vector<std::u16string> pieces = Split(list, u';');
  pieces.pop_back();  // the text after the last ";" is not a path
  for (const std::u16string& piece : pieces) {
    if (piece.empty()) continue;
    std::filesystem::path file = ResolveManifestPath(piece);
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
      warnings.push_back("the attachment " + file.string() + " is missing and was left out");
      continue;
    }
    files.push_back(std::move(file));
  }
  return files;
}

bool ReadBody(const Manifest& manifest, std::u16string_view path_key, BodyContent& body,
              std::string& error) {
  return ReadBodyFile(manifest.Value(path_key), BodyTypeFromManifest(manifest.Value(u"TYPE:")),
                      body, error);
}

std::optional<UtcDateTime> DateValue(const Manifest& manifest, std::u16string_view key,
                                     std::vector<std::string>& warnings) {
  const std::u16string& text = manifest.Value(key);
  std::optional<UtcDateTime> date = ParseDateText(text);
  if (!date && !Trim(text).empty()) {
    warnings.push_back("the date \"" + Utf16ToUtf8(text) + "\" of " + Utf16ToUtf8(key) +
                       " is not a date and was left out");
  }
  return date;
}

bool PrepareFolder(const std::filesystem::path& folder, std::string& error) {
  std::error_code create_error;
  std::filesystem::create_directories(folder, create_error);
  if (create_error) {
    error = "cannot create the folder " + folder.string() + ": " + create_error.message();
    return false;
  }
  return true;
}

}  // namespace

SaveOutcome SaveItem(SavedItemKind kind, const std::filesystem::path& manifest_folder,
                     MailFormat mail_format) {
  SaveOutcome outcome;
  std::string& error = outcome.error;
  ManifestResult read = ReadManifestFile(manifest_folder / "mailsaving.txt", kind);
  if (!read.manifest) {
    error = read.error;
    return outcome;
  }
  const Manifest& manifest = *read.manifest;
  const std::filesystem::path folder = OutputFolderFromText(manifest.Value(u"FolderPath:"));
  if (folder.empty()) {
    error = "the manifest's FolderPath names no folder";
    return outcome;
  }

  switch (kind) {
    case SavedItemKind::kMail: {
      MailItem item;
      item.from = SenderFromMessageFile(ResolveManifestPath(manifest.Value(u"PATH:")));
      item.to = manifest.Value(u"TO:");
      item.cc = manifest.Value(u"CC:");
      item.bcc = manifest.Value(u"BCC:");
      item.subject = manifest.Value(u"SUBJECT:");
      item.date = DateValue(manifest, u"DATE:", outcome.warnings);
      if (!ReadBody(manifest, u"BPATH:", item.body, error)) return outcome;
      item.attachments = AttachmentFiles(manifest.Value(u"ATTA:"), outcome.warnings);
      outcome.saved =
          PrepareFolder(folder, error) &&
          StoreMail(item, folder, mail_format, outcome.output_file, outcome.warnings, error);
      break;
    }
    case SavedItemKind::kContact: {
      const ContactFieldsResult fields =
          ReadContactFieldsFile(manifest_folder / "conatctsaving.txt");
      if (!fields.fields) {
        error = fields.error;
        return outcome;
      }
      BodyContent body;
      if (!ReadBody(manifest, u"Body:", body, error)) return outcome;
      const std::string entry = VCardEntry(*fields.fields, BodyPlainText(body), NewUuid());
      outcome.output_file = folder / "contacts.vcf";
      outcome.saved =
          PrepareFolder(folder, error) && AppendVCard(outcome.output_file, entry, error);
      break;
    }
    case SavedItemKind::kAppointment: {
      AppointmentItem item;
      item.subject = manifest.Value(u"SUBJECT:");
      item.location = manifest.Value(u"LOCATION:");
      item.start = DateValue(manifest, u"STARTDATE:", outcome.warnings);
      item.end = DateValue(manifest, u"ENDDATE:", outcome.warnings);
      item.timezone = manifest.Value(u"timezone:");
      if (!ReadBody(manifest, u"Body:", item.body, error)) return outcome;
      item.attachments = AttachmentFiles(manifest.Value(u"ATTACHMENT:"), outcome.warnings);
      const std::string component = AppointmentComponent(item, outcome.warnings);
      outcome.output_file = folder / "calendar.ics";
      outcome.saved =
          PrepareFolder(folder, error) && AddToCalendarFile(outcome.output_file, component, error);
      break;
    }
    case SavedItemKind::kTask: {
      TaskItem item;
      item.subject = manifest.Value(u"SUBJECT:");
      item.from = manifest.Value(u"FROM:");
      item.start = DateValue(manifest, u"STARTDATE:", outcome.warnings);
      item.due = DateValue(manifest, u"DUEDATE:", outcome.warnings);
      item.owner = manifest.Value(u"OWNER:");
      if (!ReadBody(manifest, u"Body:", item.body, error)) return outcome;
      outcome.output_file = folder / "tasks.ics";
      outcome.saved = PrepareFolder(folder, error) &&
                      AddToCalendarFile(outcome.output_file, TaskComponent(item), error);
      break;
    }
    case SavedItemKind::kNote: {
      NoteItem item;
      item.subject = manifest.Value(u"SUBJECT:");
      item.from = manifest.Value(u"FROM:");
      item.date = DateValue(manifest, u"DATE:", outcome.warnings);
      const BodyType type = BodyTypeFromManifest(manifest.Value(u"TYPE:"));
      if (const auto path = NoteBodyFilePath(manifest.Value(u"Body:"))) {
        if (!ReadBodyFile(*path, type, item.body, error)) return outcome;
      } else {
        item.body.text = NoteBodyText(manifest.Value(u"Body:"));
      }
      item.body.html = type == BodyType::kHtml;
      outcome.output_file = folder / "notes.ics";
      outcome.saved = PrepareFolder(folder, error) &&
                      AddToCalendarFile(outcome.output_file, NoteComponent(item), error);
      break;
    }
  }
  return outcome;
}

}  // namespace tarvex
