#include "mailbox/folder_item_reader.h"

#include <algorithm>
#include <string>
#include <utility>

#include "base/utf16_text.h"
#include "content/text_transformations.h"
#include "mailbox/classification.h"
#include "mailbox/item_texts.h"
#include "mailbox/model_indexes.h"
#include "mailbox/row_values.h"

namespace tarvex {
namespace {

std::u16string OrEmpty(std::optional<std::u16string> text) {
  return text ? std::move(*text) : std::u16string();
}

}  // namespace

TableColumns FindMessageTableColumns(StoreSession& session) {
  TableColumns columns;
  if (const ese::Table* table = session.message_table()) {
    columns.Find(session, table, ColumnLookup::kMessageTable);
  }
  return columns;
}

FolderItemReader::ContentEntries::ContentEntries(const TableColumns& columns)
    : message_class(columns.Entry(u"S1a")),
      message_id(columns.Entry(u"N67b0")),
      sender_name(columns.Entry(u"S42")),
      sender_address(columns.Entry(u"S4031")),
      sent_representing(columns.Entry(u"N67bd")),
      sender_candidate_b(columns.Entry(u"N67b9")),
      sender_candidate_c(columns.Entry(u"N67ba")),
      normalized_subject(columns.Entry(u"Se1d")),
      subject_prefix(columns.Entry(u"S3d")),
      attachment_flag(columns.Entry(u"Be1b")),
      list_position(columns.Entry(u"Le23")),
      plain_body(columns.Entry(u"S1000")),
      dates{columns.Entry(u"T39"), columns.Entry(u"Te06"), columns.Entry(u"T3007")} {}

FolderItemReader::FolderItemReader(Recovery& recovery, ValueReader& reader,
                                   const TableColumns& content_columns,
                                   const TableColumns& message_columns, const FolderItemSink& sink,
                                   FolderItemUse use, const FolderReadOptions& options)
    : recovery_(recovery),
      reader_(reader),
      content_columns_(content_columns),
      message_columns_(message_columns),
      sink_(sink),
      use_(use),
      options_(options),
      entries_(content_columns),
      message_table_(recovery.session().message_table()) {}

void FolderItemReader::Process(const ese::Record* content_record, ese::RecordState state) {
  MailboxModel& model = recovery_.model();
  RowValues row(reader_, content_record, content_columns_);
  FolderItem item;

  if (use_ == FolderItemUse::kCounting) {
    // A row of a kept kind with a subject is listed whatever its sender turns out to be.
    const std::u16string kind =
        ClassifyMessageClass(OrEmpty(row.Text(entries_.message_class)), StoreLayout::kOlder);
    if (IsExcludedItemKind(kind, StoreLayout::kOlder)) return;
    if (!OrEmpty(row.Text(entries_.normalized_subject)).empty()) {
      sink_(std::move(item));
      return;
    }
  }
  std::u16string message_id = OrEmpty(row.Id(entries_.message_id));
  const std::optional<std::u16string> sender_name = row.Text(entries_.sender_name);
  const std::optional<std::u16string> sender_address = row.Text(entries_.sender_address);
  const std::u16string normalized_subject = OrEmpty(row.Text(entries_.normalized_subject));
  const std::u16string subject_prefix = OrEmpty(row.Text(entries_.subject_prefix));
  const std::u16string list_position = OrEmpty(row.Text(entries_.list_position));
  std::u16string plain_body =
      use_ == FolderItemUse::kRowsOnly ? std::u16string() : OrEmpty(row.Body(entries_.plain_body));
  if (!plain_body.empty()) {
    if (use_ != FolderItemUse::kListing) {
      item.plain_body = std::move(plain_body);
    } else {
      model.plain_bodies.PutAtFront({message_id, std::move(plain_body)});
    }
  }
  std::u16string kind =
      ClassifyMessageClass(OrEmpty(row.Text(entries_.message_class)), StoreLayout::kOlder);
  if (IsExcludedItemKind(kind, StoreLayout::kOlder)) return;

  std::u16string candidate;
  if (sender_name || sender_address) {
    candidate = OrEmpty(sender_name);
    if (sender_address && LooksLikeAddress(*sender_address)) {
      candidate.append(u"<").append(*sender_address).append(u">");
    }
  }
  // The other sender columns count only for a row without name and address; each is read
  // only as long as none before it gave a sender.
  std::u16string sent_representing;
  if (candidate.empty()) {
    sent_representing = OrEmpty(row.Text(entries_.sent_representing));
    if (LooksLikeAddress(sent_representing)) candidate = SmtpSplit(sent_representing + u",");
    for (const std::optional<int>& entry :
         {entries_.sender_candidate_b, entries_.sender_candidate_c}) {
      if (!candidate.empty()) break;
      const std::u16string text = OrEmpty(row.Text(entry));
      if (LooksLikeAddress(text)) candidate = SmtpSplit(text + u",");
    }
  }

  // Gathered recipients are read once the prefilter has let the item through.
  const bool recipients_wait = options_.prefilter && options_.gathered != nullptr;
  // An item without an id has no "Msg" row: an empty id would begin every message id.
  const MessageRef* ref = message_id.empty()
                              ? nullptr
                              : recovery_.indexes().FirstMessageRefBeginningWith(model, message_id);
  if (ref != nullptr) {
    item.message_record_number = ref->record_number;
    item.has_message_row = true;
    // Without a match no "Msg" row is read: another message's row would lend this item its
    // recipients and sender.
    if (std::optional<MessageFacts> facts = FactsOf(ref->record_number, recipients_wait)) {
      TakeRecipients(item, *facts);
      item.header_sender = std::move(facts->header_sender);
      if (candidate.empty()) {
        candidate = item.header_sender;
        candidate.erase(std::remove(candidate.begin(), candidate.end(), u'"'), candidate.end());
      }
      if (candidate.empty()) candidate = std::move(facts->address_sender);
    }
  }

  std::u16string sender = candidate.empty() ? std::move(sent_representing) : std::move(candidate);
  EscapeAngleBracketsInPlace(sender);
  if (!sender.empty()) {
    if (const MailboxEntry* owner = recovery_.indexes().LastOwnerIn(model, sender)) {
      item.header_sender = owner->owner_text;
    }
  }
  if (!item.header_sender.empty()) sender = std::move(item.header_sender);
  TrimInPlace(sender);
  sender.erase(std::remove(sender.begin(), sender.end(), u'"'), sender.end());
  item.header_sender = sender;

  if (sender.empty() && normalized_subject.empty()) return;
  item.list_position = ListPositionFromText(list_position);
  ItemListRow& columns = item.columns;
  columns[0] = std::move(message_id);
  columns[1] = std::move(kind);
  columns[4] = std::move(sender);
  columns[5].reserve(subject_prefix.size() + normalized_subject.size());
  columns[5].append(subject_prefix).append(normalized_subject);
  if (options_.prefilter && !options_.prefilter(item)) {
    item.turned_away = true;
    sink_(std::move(item));
    return;
  }
  if (recipients_wait && item.has_message_row) {
    if (std::optional<MessageFacts> facts = options_.gathered->Find(item.message_record_number)) {
      TakeRecipients(item, *facts);
    }
  }
  if (options_.recipient_filter && !options_.recipient_filter(item)) {
    item.turned_away = true;
    sink_(std::move(item));
    return;
  }
  columns[2] = FromAscii(std::to_string(item.message_record_number));
  if (ref != nullptr) item.attachment_list = ref->attachment_list;
  columns[3] = item.attachment_list;
  columns[6] = OrEmpty(row.Date(entries_.dates));
  columns[7] = OrEmpty(row.Text(entries_.attachment_flag));
  columns[8] = item.recipients;
  columns[9] = item.copy_recipients;
  columns[10] = item.blind_copy_recipients;
  columns[kItemStateColumn] = ItemStateText(state);
  sink_(std::move(item));
}

std::optional<MessageFacts> FolderItemReader::FactsOf(std::uint32_t record_number,
                                                      bool without_gathered_recipients) {
  if (options_.gathered != nullptr) {
    if (std::optional<MessageFacts> facts =
            options_.gathered->Find(record_number, !without_gathered_recipients)) {
      return facts;
    }
  }
  if (message_table_ == nullptr) return std::nullopt;
  const std::optional<ese::Record> record = message_table_->ReadRecord(record_number);
  if (!record) return std::nullopt;
  return ReadMessageFacts(reader_, *record, message_columns_);
}

void FolderItemReader::TakeRecipients(FolderItem& item, MessageFacts& facts) {
  item.recipients = std::move(facts.recipients);
  item.copy_recipients = std::move(facts.copy_recipients);
  item.blind_copy_recipients = std::move(facts.blind_copy_recipients);
}

}  // namespace tarvex
