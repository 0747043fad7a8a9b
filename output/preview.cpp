#include "output/preview.h"

#include <optional>
#include <string>

#include "base/utf16_text.h"
#include "mailbox/item_texts.h"
#include "mailbox/mailbox_loading.h"
#include "mailbox/table_columns.h"
#include "output/preview_pages.h"
#include "output/preview_record.h"

namespace tarvex {
namespace {

// Mail, every class shown as mail (posts, unknown classes), activities and appointments have
// their attachments written for a preview; a list of a single identifier or less names none.
bool WantsAttachments(const SelectedItem& item) {
  constexpr std::size_t kShortestAttachmentList = 15;
  const std::u16string& kind = item.item_kind;
  return item.attachment_info.size() >= kShortestAttachmentList && kind != u"contact" &&
         kind != u"task" && kind != u"notes" && kind != u"distlist";
}

}  // namespace

void ShowItemPreview(Recovery& recovery, const ItemListRow& selected) {
  SelectedItem item = SelectedItem::FromListRow(selected);
  TreeAndListDisabled disabled(recovery.window());
  if (item.item_key.empty() || !recovery.has_session()) return;
  if (recovery.layout() == StoreLayout::k2010) {
    ShowItemPreview2010(recovery, item);
  } else {
    ShowItemPreviewOlder(recovery, item);
  }
}

void ShowItemPreviewOlder(Recovery& recovery, SelectedItem& item) {
  if (!recovery.has_session()) return;
  const std::optional<std::uint32_t> record_number = RecordNumberFromText(item.row_number);
  if (!record_number) return;
  item.record_number = *record_number;
  item.attachment_info = item.row_info;
  if (WantsAttachments(item)) {
    item.attachment_names = WriteItemAttachments(recovery, item.attachment_info);
    item.attachment_folder = recovery.working_folder();
  }

  StoreSession& session = recovery.session();
  const ese::Table* message_table = session.message_table();
  if (message_table == nullptr) return;
  const std::optional<ese::Record> row = message_table->ReadRecord(item.record_number);
  if (!row) return;
  TableColumns columns;
  columns.Find(session, message_table, ColumnLookup::kMessageTable);
  PreviewRecord record(recovery.reader(), &*row, columns);

  const std::u16string& kind = item.item_kind;
  if (kind == u"contact") {
    WriteContactPageOlder(recovery, record, item);
  } else if (kind == u"appointment") {
    WriteAppointmentPageOlder(recovery, record, item);
  } else if (kind == u"activity") {
    WriteActivityPageOlder(recovery, record, item);
  } else if (kind == u"task") {
    WriteTaskPageOlder(recovery, record, item);
  } else if (kind == u"notes") {
    WriteNotesPageOlder(recovery, record, item);
  } else if (kind == u"distlist") {
    WriteDistListPageOlder(recovery, record, item);
  } else {
    WriteMailPageOlder(recovery, record, item);
  }
}

void ShowItemPreview2010(Recovery& recovery, SelectedItem& item) {
  if (!recovery.has_session()) return;
  item.record_number = 0;
  item.attachment_info.clear();
  item.recipients.clear();
  item.copy_recipients.clear();
  item.blind_copy_recipients.clear();

  const ItemBodyLocation location = LocateItemBody(recovery, item.item_key, item.row_info);
  item.record_number = location.record_number;
  item.attachment_info = location.attachment_list;
  // Record number 0 also stands for "no body row"; then no row is read, lest another item's
  // fields and body be shown for this one.
  item.has_record =
      recovery.indexes().LastBodyRefFor(recovery.model(), item.item_key,
                                        ReplacedAll(item.row_info, u"Folders", u"Body"),
                                        !recovery.is_public_store()) != nullptr;
  if (item.item_key.empty()) return;
  if (WantsAttachments(item)) {
    item.attachment_names = WriteItemAttachments(recovery, item.attachment_info);
    item.attachment_folder = recovery.working_folder();
  }

  StoreSession& session = recovery.session();
  Recovery::BodyTable& body_table = recovery.body_table();
  const ese::Table* table = body_table.open ? body_table.table : nullptr;
  TableColumns columns;
  columns.Find(session, table, ColumnLookup::kContent);
  std::optional<ese::Record> row;
  if (table != nullptr && item.has_record) row = table->ReadRecord(item.record_number);
  PreviewRecord record(recovery.reader(), row ? &*row : nullptr, columns);

  const std::u16string& kind = item.item_kind;
  if (kind == u"contact") {
    WriteContactPage2010(recovery, record, item);
  } else if (kind == u"appointment") {
    WriteAppointmentPage2010(recovery, record, item);
  } else if (kind == u"task") {
    WriteTaskPage2010(recovery, record, item);
  } else if (kind == u"notes") {
    ShowNotesBody2010(recovery, record, item);
  } else {
    WriteMailPage2010(recovery, record, item);
  }
}

}  // namespace tarvex
