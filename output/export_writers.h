#pragma once

// The writers of an export, one per item kind: each reopens the item's record, leaves its body
// (and for mail its message file) in the working folder, writes the manifest record and runs
// the saver. An item whose record cannot be read is skipped without any file or saver run.

#include <string>

#include "output/export_queue.h"
#include "output/mime_message_writer.h"
#include "output/preview_record.h"

namespace tarvex {

void SaveMailItem(ExportSession& session, SaveQueueEntry& item, const ExportItemValues& values);
void SaveContactItem(ExportSession& session, SaveQueueEntry& item, const ExportItemValues& values);
void SaveAppointmentItem(ExportSession& session, SaveQueueEntry& item,
                         const ExportItemValues& values);
void SaveTaskItem(ExportSession& session, SaveQueueEntry& item, const ExportItemValues& values);
void SaveNoteItem(ExportSession& session, SaveQueueEntry& item, const ExportItemValues& values);
void SaveDistListItem(ExportSession& session, SaveQueueEntry& item, const ExportItemValues& values);
void SaveJournalItem(ExportSession& session, SaveQueueEntry& item, const ExportItemValues& values);

// A distribution list member as the saver takes it: "name <address>", the address alone when
// the member has no name of its own, or nothing without an address.
std::u16string DistListMemberText(std::u16string_view member);

// The subject of a mail hand-off: em dash, "?" and "-" become blanks.
std::u16string MailSubject(std::u16string_view subject);
// "[a@x] [b@y]" becomes "<a@x>,<b@y>,": entries of a name and a bracketed address, each
// followed by a comma.
std::u16string MailToList(std::u16string_view recipients);
// How the body file left by the body routes is encoded, where the route knows it.
BodyFileEncoding BodyEncodingOf(const BodyState& body);

// The 48 contact fields of "conatctsaving.txt", each followed by "<br>", with LF written as
// "<newlinebreak>" and "," as "cama"; the columns are those of the store's layout.
std::u16string ContactFieldsText(PreviewRecord& record, StoreLayout layout);

}  // namespace tarvex
