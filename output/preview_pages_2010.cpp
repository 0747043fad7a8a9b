// The page writers of the 2010 layout, which read the item's row of its "Body-" table.

#include <string>
#include <vector>

#include "content/text_transformations.h"
#include "mailbox/item_texts.h"
#include "output/header_page.h"
#include "output/preview_body.h"
#include "output/preview_page_files.h"
#include "output/preview_pages.h"

namespace tarvex {
namespace {

namespace label = header_label;

}  // namespace

void WriteMailPage2010(Recovery& recovery, PreviewRecord& record, SelectedItem& item) {
  FindBody2010(recovery, record, u"");
  item.stored_message = record.MessageFields();

  const std::u16string headers = record.HexText(u"S7d");
  item.recipients = MailRecipients2010(record.Text(u"N67b4"), record.Text(u"N2c"), headers);

  // The sender's address, else the address it was sent in the name of.
  std::u16string address = ExtractMailAddresses(record.HexText(u"S4025"));
  if (address.empty()) address = ExtractMailAddresses(record.Text(u"S4031"));
  if (!address.empty()) item.sender += u"<" + address + u">";

  if (!headers.empty()) {
    const std::u16string from =
        ExtractMailAddresses(FirstHeaderGroup(u"From: \\b*{.+?}>", headers));
    if (!from.empty()) item.sender += u"[" + from + u"]";
  }

  ShowMailHeaderAndBody(recovery, item);
}

void WriteAppointmentPage2010(Recovery& recovery, PreviewRecord& record, SelectedItem& item) {
  FindBody2010(recovery, record, u"");
  item.recipients = EscapeAngleBrackets(RecipientColumnAddresses(record.Text(u"N67b4")));

  HeaderPage header;
  header.AddRow(label::kFrom, item.sender);
  header.AddRow(label::kSubject, item.subject);
  header.AddRowWhenSet(label::kLocation,
                       record.FirstValue({u"S810c", u"S81fd", u"S8049", u"S8004"}));
  header.AddRowWhenSet(label::kStartDate,
                       record.FirstValue({u"T818f", u"T800d", u"T814e", u"T81c3", u"T81cb",
                                          u"T810b", u"T81ef", u"T81bd", u"T60", u"T8040"}));
  header.AddRowWhenSet(label::kEndDate, record.FirstValue({u"T814d", u"T8198", u"T81c2", u"T81c9",
                                                           u"T8102", u"T81bc", u"T61", u"T8041"}));
  header.AddRowWhenSet(label::kShowAs, record.Text(u"S80fd"));
  header.AddRowWhenSet(label::kTimeZone,
                       record.FirstValue({u"S8201", u"S821b", u"S8214", u"S8051"}));
  header.AddRowWhenSet(label::kMailTo, item.recipients);
  AddAttachmentRow(header, item);
  ShowPageSet(recovery, header, FramesetLayout::kSideBySide);
}

void WriteTaskPage2010(Recovery& recovery, PreviewRecord& record, SelectedItem& item) {
  FindBody2010(recovery, record, u"......");
  item.date = MonthNamesToNumbers(item.date);

  HeaderPage header;
  header.AddRow(label::kFrom, item.sender);
  header.AddRow(label::kSubject, item.subject);
  header.AddRow(label::kCategories, record.Text(u"MS80db"));
  header.AddRow(label::kStartDate, MonthNamesToNumbers(record.FirstValue({u"T800d", u"T8199"})));
  header.AddRow(label::kDueDate, MonthNamesToNumbers(record.Time(u"T8198")));
  header.AddRow(label::kReminderDate, record.Has(u"T8198")
                                          ? MonthNamesToNumbers(record.Time(u"T811f"))
                                          : std::u16string());
  AddAttachmentRow(header, item);
  ShowPageSet(recovery, header, FramesetLayout::kSideBySide);
}

void ShowNotesBody2010(Recovery& recovery, PreviewRecord& record, SelectedItem&) {
  FindBody2010(recovery, record, u"");
  recovery.window().Navigate(recovery.body().file_path);
}

}  // namespace tarvex
