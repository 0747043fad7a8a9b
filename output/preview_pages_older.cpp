// The page writers of the older layout, which read the item's row of "Msg".

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

#include "base/page_policy.h"
#include "base/utf16_file.h"
#include "base/utf16_text.h"
#include "content/text_transformations.h"
#include "output/header_page.h"
#include "output/preview_body.h"
#include "output/preview_page_files.h"
#include "output/preview_pages.h"

namespace tarvex {
namespace {

namespace label = header_label;

// The sender and subject the older pages show when the list row has none.
void ApplyValueRules(PreviewRecord& record, SelectedItem& item, bool addresses_only) {
  if (item.sender.empty()) item.sender = record.Text(u"N67b5");
  if (addresses_only) {
    std::u16string addresses = ExtractMailAddresses(item.sender);
    if (!addresses.empty()) item.sender = std::move(addresses);
  }
  item.sender = EscapeAngleBrackets(item.sender);
  if (item.subject.empty()) item.subject = record.Text(u"S70");
}

// From, Subject and the Attachment row: the page of activities, notes and distribution lists.
HeaderPage ShortHeader(const SelectedItem& item) {
  HeaderPage header;
  header.AddRow(label::kFrom, item.sender);
  header.AddRow(label::kSubject, item.subject);
  AddAttachmentRow(header, item);
  return header;
}

}  // namespace

void ShowMailHeaderAndBody(Recovery& recovery, const SelectedItem& item) {
  HeaderPage header;
  header.AddRow(label::kFrom, item.sender, label::kDate, item.date);
  header.AddRow(label::kSubject, item.subject, label::kMailTo, item.recipients);
  if (!item.copy_recipients.empty()) header.AddWideRow(label::kCc, item.copy_recipients);
  if (!item.blind_copy_recipients.empty()) {
    header.AddWideRow(label::kBcc, item.blind_copy_recipients);
  }
  AddAttachmentRow(header, item);
  ShowPageSet(recovery, header, FramesetLayout::kMail);
}

void AddAttachmentRow(HeaderPage& header, const SelectedItem& item) {
  if (item.attachment_flag != u"true" || item.attachment_info.empty()) return;
  std::vector<HeaderPage::FileLink> links;
  const std::u16string_view names = item.attachment_names;
  for (std::size_t start = 0; start < names.size();) {
    const std::size_t end = std::min(names.find(u';', start), names.size());
    const std::u16string_view name = names.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    const std::filesystem::path file = item.attachment_folder / std::filesystem::path(name);
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error) continue;
    links.push_back({BodyFrameSource(file, item.attachment_folder) + u"?attachment",
                     std::u16string(name), size});
  }
  header.AddFileLinks(label::kAttachment, links);
}

void WriteMailPageOlder(Recovery& recovery, PreviewRecord& record, SelectedItem& item) {
  FindBodyOlder(recovery, record, item, u"blank.txt");
  if (item.subject.empty()) item.subject = record.Text(u"S70");
  item.stored_message = record.MessageFields();
  ShowMailHeaderAndBody(recovery, item);
}

void WriteAppointmentPageOlder(Recovery& recovery, PreviewRecord& record, SelectedItem& item) {
  FindBodyOlder(recovery, record, item, u"blank.txt");
  ApplyValueRules(record, item, true);
  HeaderPage header;
  header.AddRow(label::kFrom, item.sender);
  header.AddRow(label::kSubject, item.subject);
  header.AddRowWhenSet(label::kLocation, record.FirstValue({u"S810c", u"S81fd"}));
  header.AddRowWhenSet(label::kStartDate,
                       record.FirstValue({u"T818f", u"T800d", u"T814e", u"T81c3", u"T81cb",
                                          u"T810b", u"T81ef", u"T81bd", u"T60", u"T812e"}));
  header.AddRowWhenSet(label::kEndDate,
                       record.FirstValue({u"T814d", u"T8198", u"T81c2", u"T81c9", u"T8102",
                                          u"T81bc", u"T61", u"T8155", u"T8156"}));
  header.AddRowWhenSet(label::kShowAs, record.FirstValue({u"S80fd", u"S8120"}));
  header.AddRowWhenSet(label::kTimeZone,
                       record.FirstValue({u"S8201", u"S821b", u"S8214", u"S8204"}));
  AddAttachmentRow(header, item);
  ShowPageSet(recovery, header, FramesetLayout::kSideBySide);
}

void WriteActivityPageOlder(Recovery& recovery, PreviewRecord& record, SelectedItem& item) {
  FindBodyOlder(recovery, record, item, u"blank.txt");
  ApplyValueRules(record, item, false);
  ShowPageSet(recovery, ShortHeader(item), FramesetLayout::kActivity);
}

void WriteTaskPageOlder(Recovery& recovery, PreviewRecord& record, SelectedItem& item) {
  FindBodyOlder(recovery, record, item, u"blank.txt");
  ApplyValueRules(record, item, false);
  HeaderPage header;
  header.AddRow(label::kFrom, item.sender);
  header.AddRow(label::kSubject, item.subject);
  header.AddRow(label::kCategories, record.Text(u"MS80db"));
  header.AddRow(label::kStartDate, record.FirstValue({u"T800d", u"T8199"}));
  header.AddRow(label::kDueDate, record.Time(u"T8198"));
  header.AddRow(label::kReminderDate,
                record.Has(u"T8198") ? record.Time(u"T811f") : std::u16string());
  AddAttachmentRow(header, item);
  ShowPageSet(recovery, header, FramesetLayout::kSideBySide);
}

void WriteNotesPageOlder(Recovery& recovery, PreviewRecord& record, SelectedItem& item) {
  FindBodyOlder(recovery, record, item, u"blank.html");
  ApplyValueRules(record, item, false);
  ShowPageSet(recovery, ShortHeader(item), FramesetLayout::kNotes);
}

void WriteDistListPageOlder(Recovery& recovery, PreviewRecord& record, SelectedItem& item) {
  BodyState& body = recovery.body();
  body.format = BodyFormat::kNone;
  body.text.clear();
  // Members as "name [address]", one per line; the names are the database's, the line breaks
  // the page's own.
  std::u16string members = record.Text(u"MN81d8");
  ReplaceAll(members, u",", u"],");
  ReplaceAll(members, u"SMTP", u" [");
  body.file_path = recovery.working_folder() / "body.html";
  {
    Utf16File file;
    if (file.Open(body.file_path, BinaryFile::kCreate | BinaryFile::kWrite) && !members.empty()) {
      file.WriteString(
          std::u16string(kPagePolicyMeta16) + ReplacedAll(EscapeHtml(members), u",", u"<br>"),
          true);
    }
  }
  ApplyValueRules(record, item, false);
  ShowPageSet(recovery, ShortHeader(item), FramesetLayout::kNotes);
}

}  // namespace tarvex
