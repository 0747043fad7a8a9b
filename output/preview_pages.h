#pragma once

// The page writers, one per item kind and layout. Each finds the item's body, builds the
// header page from the record and the selected item, writes the pages and navigates.

#include "mailbox/recovery.h"
#include "output/header_page.h"
#include "output/preview_record.h"
#include "output/selected_item.h"

namespace tarvex {

// Older layout: the record is the item's row of "Msg".
void WriteMailPageOlder(Recovery& recovery, PreviewRecord& record, SelectedItem& item);
void WriteAppointmentPageOlder(Recovery& recovery, PreviewRecord& record, SelectedItem& item);
void WriteActivityPageOlder(Recovery& recovery, PreviewRecord& record, SelectedItem& item);
void WriteTaskPageOlder(Recovery& recovery, PreviewRecord& record, SelectedItem& item);
void WriteNotesPageOlder(Recovery& recovery, PreviewRecord& record, SelectedItem& item);
void WriteDistListPageOlder(Recovery& recovery, PreviewRecord& record, SelectedItem& item);
void WriteContactPageOlder(Recovery& recovery, PreviewRecord& record, SelectedItem& item);

// 2010 layout: the record is the item's body row (null when it has none).
void WriteMailPage2010(Recovery& recovery, PreviewRecord& record, SelectedItem& item);
void WriteAppointmentPage2010(Recovery& recovery, PreviewRecord& record, SelectedItem& item);
void WriteTaskPage2010(Recovery& recovery, PreviewRecord& record, SelectedItem& item);
void WriteContactPage2010(Recovery& recovery, PreviewRecord& record, SelectedItem& item);
// Shows the body alone, without header or frameset page.
void ShowNotesBody2010(Recovery& recovery, PreviewRecord& record, SelectedItem& item);

// A mail item's page set: sender, date, subject, recipients and attachments above its body.
void ShowMailHeaderAndBody(Recovery& recovery, const SelectedItem& item);

// The red Attachment row, when the item says it has attachments and lists them.
void AddAttachmentRow(HeaderPage& header, const SelectedItem& item);

}  // namespace tarvex
