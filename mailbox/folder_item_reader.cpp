#include "mailbox/folder_item_reader.h"

#include <algorithm>
#include <cstdint>
#include <limits>
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
                                   FolderItemUse use, const FolderReadOptions& options,
                                   SenderMemo* memo)
    : recovery_(recovery),
      reader_(reader),
      content_columns_(content_columns),
      message_columns_(message_columns),
      sink_(sink),
      use_(use),
      options_(options),
      entries_(content_columns),
      message_table_(recovery.session().message_table()),
      memo_(use == FolderItemUse::kRowsOnly && options.sender_test && options.gathered != nullptr
                ? memo
                : nullptr) {}

void FolderItemReader::Process(const ese::Record* content_record, ese::RecordState state) {
  if (memo_ != nullptr && content_record != nullptr && TurnedAwayBySender(*content_record)) return;
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
  // An item without an id has no "Msg" row: an empty id would begin every message id.
  const MessageRef* ref = message_id.empty()
                              ? nullptr
                              : recovery_.indexes().FirstMessageRefBeginningWith(model, message_id);
  // A row with a subject is listed whatever its sender: one whose "Msg" row the search has
  // already turned away is handed on as turned away before its sender is made.
  if (options_.message_row_test && use_ == FolderItemUse::kRowsOnly &&
      !normalized_subject.empty() &&
      !options_.message_row_test(
          kind, ref != nullptr ? std::optional(ref->record_number) : std::nullopt)) {
    HandOnTurnedAway(ListPositionFromText(list_position));
    return;
  }

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

  // Gathered recipients are read only for a filter or a row that shows them, once the
  // prefilter has let the item through. An item that wants them from facts gathered without
  // them has its "Msg" row read where it lies.
  const bool recipients_wanted = options_.rows_with_recipients || options_.recipient_filter;
  const bool recipients_after_prefilter = recipients_wanted && options_.prefilter &&
                                          options_.gathered != nullptr &&
                                          options_.gathered->has_recipients();
  const bool facts_without_recipients =
      options_.gathered != nullptr && (!recipients_wanted || recipients_after_prefilter);
  if (ref != nullptr) {
    item.message_record_number = ref->record_number;
    item.has_message_row = true;
    // Without a match no "Msg" row is read: another message's row would lend this item its
    // recipients and sender.
    if (std::optional<MessageFacts> facts = FactsOf(ref->record_number, facts_without_recipients)) {
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
    HandOnTurnedAway(item.list_position);
    return;
  }
  if (recipients_after_prefilter && item.has_message_row) {
    MessageFacts facts;
    if (options_.gathered->FindRecipients(item.message_record_number, facts)) {
      TakeRecipients(item, facts);
    }
  }
  if (options_.recipient_filter && !options_.recipient_filter(item)) {
    HandOnTurnedAway(item.list_position);
    return;
  }
  columns[2] = FromAscii(std::to_string(item.message_record_number));
  if (ref != nullptr) item.attachment_list = ref->attachment_list;
  columns[3] = item.attachment_list;
  columns[6] = OrEmpty(row.Date(entries_.dates));
  columns[7] = OrEmpty(row.Text(entries_.attachment_flag));
  if (options_.rows_with_recipients) {
    columns[8] = item.recipients;
    columns[9] = item.copy_recipients;
    columns[10] = item.blind_copy_recipients;
  }
  columns[kItemStateColumn] = ItemStateText(state);
  sink_(std::move(item));
}

// What Process makes of the sender, taken in the same steps, from what the memo holds: the kind
// by the class's bytes, the row's own sender by its name's and address' bytes, the header's by
// its place among the gathered senders, and the search's answer for each once.
bool FolderItemReader::TurnedAwayBySender(const ese::Record& record) {
  SenderMemo& memo = *memo_;
  memo.ForgetIfFull();
  RowValues row(reader_, &record, content_columns_);
  // The id's digits as Process reads them, made without a text where it is stored plainly. Its
  // "Msg" row is looked up last, its slot on its way from memory while the memo is asked.
  IdentifierDigits digits;
  std::u16string id_text;
  std::u16string_view message_id;
  if (const std::optional<std::uint64_t> number =
          entries_.message_id ? reader_.ReadIdNumber(&record, *entries_.message_id,
                                                     ByteOrder::kBigEndian)
                              : std::nullopt) {
    if (*number > 0xF) message_id = LowerHexInto(*number, digits);  // 0x0 to 0xf name nothing
  } else {
    id_text = OrEmpty(row.Id(entries_.message_id));
    message_id = id_text;
  }
  const KeyPrefixIndex::Lookup message_lookup =
      recovery_.indexes().BeginMessageRecordLookup(message_id);

  memo.key.clear();
  if (!SenderMemo::AppendValueKey(record, entries_.message_class, memo.key)) return false;
  auto kind = memo.excluded_kinds.find(memo.key);
  if (kind == memo.excluded_kinds.end()) {
    const std::u16string text =
        ClassifyMessageClass(OrEmpty(row.Text(entries_.message_class)), StoreLayout::kOlder);
    kind = memo.excluded_kinds.emplace(memo.key, IsExcludedItemKind(text, StoreLayout::kOlder))
               .first;
  }
  if (kind->second) return true;

  const SenderMemo::Candidate* candidate = CandidateOf(record);
  if (candidate == nullptr || candidate->sender.empty()) return false;
  const std::optional<std::uint32_t> message_record =
      message_id.empty() ? std::nullopt
                         : recovery_.indexes().FirstMessageRecord(recovery_.model(),
                                                                  message_lookup);
  std::uint32_t header_place = 0;
  if (message_record) {
    const std::optional<std::uint32_t> place =
        options_.gathered->HeaderSenderPlace(*message_record);
    if (!place) return false;  // its "Msg" row is read where it lies
    header_place = *place;
  }

  // A mailbox owner named by the row's own sender stands in for the header's sender.
  SenderMemo::Answer answer;
  if (candidate->owner == nullptr && header_place != 0) {
    if (memo.header_answers.size() != options_.gathered->sender_count()) {
      memo.header_answers.assign(options_.gathered->sender_count(),
                                 SenderMemo::Answer::kUnasked);
    }
    SenderMemo::Answer& known = memo.header_answers[header_place];
    if (known == SenderMemo::Answer::kUnasked) {
      known = Ask(options_.gathered->SenderAt(header_place));
    }
    answer = known;
  } else {
    answer = candidate->answer;
  }
  if (answer != SenderMemo::Answer::kTurnedAway) return false;
  HandOnTurnedAway(ListPositionOf(record));
  return true;
}

int FolderItemReader::ListPositionOf(const ese::Record& record) {
  const std::optional<int>& entry = entries_.list_position;
  const ese::ColumnSchema* column = entry ? ColumnAt(&record, *entry) : nullptr;
  const std::optional<RawValue> raw = column ? GetRawValue(&record, *entry) : std::nullopt;
  if (raw && column->type == ColumnType::kLong && raw->flags <= kValueFlagVariableSize) {
    // What ListPositionFromText makes of the value's text: its number ("%d"), none for no
    // bytes or a size that is no long, the end of the list for a negative one.
    const std::optional<std::uint64_t> number = FixedSizeNumber(raw->bytes, 4);
    if (!number) return 0;
    const auto position = static_cast<std::int32_t>(*number);
    return position < 0 ? std::numeric_limits<int>::max() : position;
  }
  RowValues row(reader_, &record, content_columns_);
  return ListPositionFromText(OrEmpty(row.Text(entry)));
}

void FolderItemReader::HandOnTurnedAway(int list_position) {
  FolderItem item;
  item.list_position = list_position;
  item.turned_away = true;
  sink_(std::move(item));
}

const SenderMemo::Candidate* FolderItemReader::CandidateOf(const ese::Record& record) {
  SenderMemo& memo = *memo_;
  memo.key.clear();
  if (!SenderMemo::AppendValueKey(record, entries_.sender_name, memo.key) ||
      !SenderMemo::AppendValueKey(record, entries_.sender_address, memo.key)) {
    return nullptr;
  }
  if (const auto found = memo.candidates.find(memo.key); found != memo.candidates.end()) {
    return &found->second;
  }
  RowValues row(reader_, &record, content_columns_);
  const std::optional<std::u16string> name = row.Text(entries_.sender_name);
  const std::optional<std::u16string> address = row.Text(entries_.sender_address);
  SenderMemo::Candidate candidate;
  if (name || address) {
    candidate.sender = OrEmpty(name);
    if (address && LooksLikeAddress(*address)) {
      candidate.sender.append(u"<").append(*address).append(u">");
    }
  }
  EscapeAngleBracketsInPlace(candidate.sender);
  if (!candidate.sender.empty()) {
    candidate.owner = recovery_.indexes().LastOwnerIn(recovery_.model(), candidate.sender);
    // Where the owner stands in, the owner's text is the sender, unless it is empty.
    candidate.answer = Ask(candidate.owner != nullptr && !candidate.owner->owner_text.empty()
                               ? std::u16string_view(candidate.owner->owner_text)
                               : std::u16string_view(candidate.sender));
  }
  return &memo.candidates.emplace(memo.key, std::move(candidate)).first->second;
}

SenderMemo::Answer FolderItemReader::Ask(std::u16string_view sender) const {
  std::u16string shown(sender);
  TrimInPlace(shown);
  shown.erase(std::remove(shown.begin(), shown.end(), u'"'), shown.end());
  if (shown.empty()) return SenderMemo::Answer::kUndecided;
  return options_.sender_test(shown) ? SenderMemo::Answer::kWanted
                                     : SenderMemo::Answer::kTurnedAway;
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
