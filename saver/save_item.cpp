#include "saver/save_item.h"

#include <system_error>

#include "base/code_page_1252.h"
#include "base/date_text.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "saver/body_file.h"
#include "saver/calendar_writer.h"
#include "saver/contact_fields.h"
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

// A list value of the manifest: each piece followed by a tab.
std::vector<std::u16string> TabList(std::u16string_view text) {
  std::vector<std::u16string> pieces;
  for (std::u16string& piece : Split(text, u'\t')) {
    if (!Trim(piece).empty()) pieces.push_back(std::move(piece));
  }
  return pieces;
}

// "Name <address>" or an address alone.
DistListMember MemberFromText(std::u16string_view text) {
  const std::size_t open = text.rfind(u'<');
  const std::size_t close = text.rfind(u'>');
  if (open == std::u16string_view::npos || close == std::u16string_view::npos || close < open) {
    return {u"", Trim(text)};
  }
  return {Trim(text.substr(0, open)), Trim(text.substr(open + 1, close - open - 1))};
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
      // The exact subject where the record has it; the cleaned one of older records else.
      item.subject = manifest.Value(u"EXACTSUBJECT:");
      if (item.subject.empty()) item.subject = manifest.Value(u"SUBJECT:");
      if (!manifest.Value(u"MESSAGEFILE:").empty()) {
        item.message_file = ResolveManifestPath(manifest.Value(u"MESSAGEFILE:"));
      }
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
      // Records written before the category list carry the categories in one field.
      std::vector<std::u16string> categories = TabList(manifest.Value(u"CATEGORIES:"));
      if (categories.empty()) categories.push_back((*fields.fields)[ContactField::kCategories]);
      const std::string entry = VCardEntry(*fields.fields, BodyPlainText(body),
                                           EntryUuid(manifest.Value(u"UID:")), categories);
      outcome.output_file = folder / "contacts.vcf";
      outcome.saved =
          PrepareFolder(folder, error) && AppendVCard(outcome.output_file, entry, error);
      break;
    }
    case SavedItemKind::kAppointment: {
      AppointmentItem item;
      item.uid = EntryUuid(manifest.Value(u"UID:"));
      item.subject = manifest.Value(u"SUBJECT:");
      item.location = manifest.Value(u"LOCATION:");
      item.start = DateValue(manifest, u"STARTDATE:", outcome.warnings);
      item.end = DateValue(manifest, u"ENDDATE:", outcome.warnings);
      item.timezone = manifest.Value(u"timezone:");
      item.attendees = TabList(manifest.Value(u"ATTENDEES:"));
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
      item.uid = EntryUuid(manifest.Value(u"UID:"));
      item.subject = manifest.Value(u"SUBJECT:");
      item.from = manifest.Value(u"FROM:");
      item.start = DateValue(manifest, u"STARTDATE:", outcome.warnings);
      item.due = DateValue(manifest, u"DUEDATE:", outcome.warnings);
      item.owner = manifest.Value(u"OWNER:");
      item.completed = Trim(manifest.Value(u"STATUS:")) == u"1";
      item.completed_at = DateValue(manifest, u"DONEDATE:", outcome.warnings);
      item.categories = TabList(manifest.Value(u"CATEGORIES:"));
      if (!ReadBody(manifest, u"Body:", item.body, error)) return outcome;
      outcome.output_file = folder / "tasks.ics";
      outcome.saved = PrepareFolder(folder, error) &&
                      AddToCalendarFile(outcome.output_file, TaskComponent(item), error);
      break;
    }
    case SavedItemKind::kNote: {
      NoteItem item;
      item.uid = EntryUuid(manifest.Value(u"UID:"));
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
      outcome.saved =
          PrepareFolder(folder, error) &&
          AddToCalendarFile(outcome.output_file, NoteComponent(item, outcome.warnings), error);
      break;
    }
    case SavedItemKind::kDistList: {
      DistListItem list;
      list.uid = EntryUuid(manifest.Value(u"UID:"));
      list.name = manifest.Value(u"NAME:");
      for (const std::u16string& member : TabList(manifest.Value(u"MEMBERS:"))) {
        list.members.push_back(MemberFromText(member));
      }
      BodyContent body;
      if (!ReadBody(manifest, u"Body:", body, error)) return outcome;
      list.note = BodyPlainText(body);
      outcome.output_file = folder / "contacts.vcf";
      outcome.saved = PrepareFolder(folder, error) &&
                      AppendVCard(outcome.output_file, VCardGroupEntry(list), error);
      break;
    }
    case SavedItemKind::kJournal: {
      NoteItem item;
      item.uid = EntryUuid(manifest.Value(u"UID:"));
      item.subject = manifest.Value(u"SUBJECT:");
      item.from = manifest.Value(u"FROM:");
      item.date = DateValue(manifest, u"DATE:", outcome.warnings);
      if (!ReadBody(manifest, u"Body:", item.body, error)) return outcome;
      item.attachments = AttachmentFiles(manifest.Value(u"ATTACHMENT:"), outcome.warnings);
      outcome.output_file = folder / "journal.ics";
      outcome.saved =
          PrepareFolder(folder, error) &&
          AddToCalendarFile(outcome.output_file, NoteComponent(item, outcome.warnings), error);
      break;
    }
  }
  return outcome;
}

}  // namespace tarvex
