#include "mailbox/item_extraction.h"

#include <algorithm>
#include <array>
#include <exception>
#include <initializer_list>
#include <map>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#include "base/file_names.h"
#include "base/utf16_text.h"
#include "content/text_transformations.h"
#include "mailbox/attachment_list_text.h"
#include "mailbox/classification.h"
#include "mailbox/item_texts.h"
#include "mailbox/message_facts.h"
#include "mailbox/model_indexes.h"
#include "mailbox/table_columns.h"

namespace tarvex {
namespace {

// Header rows whose message id is this placeholder stand for no message.
constexpr std::u16string_view kPlaceholderMessageId = u"2a2a2a2a2a2a2a2a";
// The item load of the older layout moves the progress bar over at most this many rows.
constexpr int kMaxItemProgressRange = 50000;

std::u16string OrEmpty(std::optional<std::u16string> text) {
  return text ? std::move(*text) : std::u16string();
}

// Reads the values of one record by column name, through the table's own column positions.
class RowValues {
 public:
  RowValues(ValueReader& reader, const ese::Record* record, const TableColumns& columns)
      : reader_(reader), record_(record), columns_(columns) {}

  std::optional<std::u16string> Text(std::u16string_view name) { return Text(columns_.Entry(name)); }
  std::optional<std::u16string> Text(std::optional<int> entry) {
    return entry ? reader_.ReadValueText(record_, *entry) : std::nullopt;
  }
  std::optional<std::u16string> Id(std::u16string_view name) { return Id(columns_.Entry(name)); }
  std::optional<std::u16string> Id(std::optional<int> entry) {
    return entry ? reader_.ReadIdText(record_, *entry, ByteOrder::kBigEndian) : std::nullopt;
  }
  std::optional<std::u16string> StoreId(std::u16string_view name) {
    const std::optional<int> entry = columns_.Entry(name);
    return entry ? reader_.ReadStoreIdText(record_, *entry, ByteOrder::kBigEndian) : std::nullopt;
  }
  std::optional<std::u16string> Body(std::optional<int> entry) {
    return entry ? reader_.ReadBodyText(record_, *entry) : std::nullopt;
  }
  std::optional<std::u16string> AttachmentList(std::u16string_view name) {
    const std::optional<int> entry = columns_.Entry(name);
    return entry ? ReadAttachmentListText(record_, *entry) : std::nullopt;
  }

  // The first candidate that holds a readable date; a text beginning "(0x" is a time that
  // makes no calendar date. An empty text still counts as the date.
  std::optional<std::u16string> Date(std::initializer_list<std::u16string_view> candidates) {
    std::vector<std::optional<int>> entries;
    for (std::u16string_view name : candidates) entries.push_back(columns_.Entry(name));
    return Date(entries);
  }
  std::optional<std::u16string> Date(std::span<const std::optional<int>> candidates) {
    for (const std::optional<int>& entry : candidates) {
      if (!entry) continue;
      std::optional<std::u16string> date =
          reader_.ReadTimeText(record_, *entry, ByteOrder::kLittleEndian);
      if (!date || date->starts_with(u"(0x")) continue;
      return date;
    }
    return std::nullopt;
  }

 private:
  ValueReader& reader_;
  const ese::Record* record_;
  const TableColumns& columns_;
};

// Reads through the column directory, where the analysis' table scans left the positions.
std::optional<int> DirectoryEntry(const StoreSession& session, ColumnGroup group,
                                  std::u16string_view name) {
  const std::uint32_t position = session.columns().Position(group, name);
  if (position == 0) return std::nullopt;
  return static_cast<int>(position);
}

std::u16string FileNameOrFallback(std::optional<std::u16string> name,
                                  std::optional<std::u16string> fallback) {
  std::u16string chosen = OrEmpty(std::move(name));
  return chosen.empty() ? OrEmpty(std::move(fallback)) : chosen;
}

// Process item row of the older layout, over one folder's content table.
class FolderItemReader {
 public:
  // `reader` is the recovery's, or one of a second thread's own.
  FolderItemReader(Recovery& recovery, ValueReader& reader, const TableColumns& content_columns,
                   const FolderItemSink& sink, FolderItemUse use,
                   const FolderReadOptions& options)
      : recovery_(recovery),
        reader_(reader),
        content_columns_(content_columns),
        sink_(sink),
        use_(use),
        options_(options),
        entries_(content_columns) {
    StoreSession& session = recovery.session();
    message_table_ = session.message_table();
    // The "Msg" positions are taken again here: this also points the directory's header slot
    // at the "Msg" table, which is where the reader looks for long transport headers.
    if (message_table_ != nullptr) {
      message_columns_.Find(session, message_table_, ColumnLookup::kMessageTable);
    }
  }

  void Process(const ese::Record* content_record, ese::RecordState state);

 private:
  // The facts of the item's "Msg" row: gathered, or read where the row is.
  std::optional<MessageFacts> FactsOf(std::uint32_t record_number);

  // The content table's columns that an item is made of, found once per table.
  struct ContentEntries {
    explicit ContentEntries(const TableColumns& columns)
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
    std::optional<int> message_class, message_id, sender_name, sender_address,
        sent_representing, sender_candidate_b, sender_candidate_c, normalized_subject,
        subject_prefix, attachment_flag, list_position, plain_body;
    std::array<std::optional<int>, 3> dates;  // the first readable one counts
  };

  Recovery& recovery_;
  ValueReader& reader_;
  const TableColumns& content_columns_;
  const FolderItemSink& sink_;
  FolderItemUse use_;
  const FolderReadOptions& options_;
  const ContentEntries entries_;
  const ese::Table* message_table_ = nullptr;
  TableColumns message_columns_;
};

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
  const std::u16string message_id = OrEmpty(row.Id(entries_.message_id));
  const std::optional<std::u16string> sender_name = row.Text(entries_.sender_name);
  const std::optional<std::u16string> sender_address = row.Text(entries_.sender_address);
  const std::u16string sent_representing = OrEmpty(row.Text(entries_.sent_representing));
  const std::u16string sender_candidate_b = OrEmpty(row.Text(entries_.sender_candidate_b));
  const std::u16string sender_candidate_c = OrEmpty(row.Text(entries_.sender_candidate_c));
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
      candidate += u"<" + *sender_address + u">";
    }
  }
  for (const std::u16string* text :
       {&sent_representing, &sender_candidate_b, &sender_candidate_c}) {
    if (candidate.empty() && LooksLikeAddress(*text)) candidate = SmtpSplit(*text + u",");
  }

  // An item without an id has no "Msg" row: an empty id would begin every message id.
  const MessageRef* ref = message_id.empty()
                              ? nullptr
                              : recovery_.indexes().FirstMessageRefBeginningWith(model, message_id);
  if (ref != nullptr) {
    item.message_record_number = ref->record_number;
    item.has_message_row = true;
    item.attachment_list = ref->attachment_list;
    // Without a match no "Msg" row is read: another message's row would lend this item its
    // recipients and sender.
    if (std::optional<MessageFacts> facts = FactsOf(ref->record_number)) {
      item.recipients = std::move(facts->recipients);
      item.copy_recipients = std::move(facts->copy_recipients);
      item.blind_copy_recipients = std::move(facts->blind_copy_recipients);
      item.header_sender = std::move(facts->header_sender);
      if (candidate.empty()) {
        candidate = item.header_sender;
        candidate.erase(std::remove(candidate.begin(), candidate.end(), u'"'), candidate.end());
      }
      if (candidate.empty()) candidate = std::move(facts->address_sender);
    }
  }

  std::u16string sender = candidate.empty() ? sent_representing : candidate;
  sender = EscapeAngleBrackets(sender);
  if (!sender.empty()) {
    if (const MailboxEntry* owner = recovery_.indexes().LastOwnerIn(model, sender)) {
      item.header_sender = owner->owner_text;
    }
  }
  if (!item.header_sender.empty()) sender = item.header_sender;
  sender = Trim(sender);
  sender.erase(std::remove(sender.begin(), sender.end(), u'"'), sender.end());
  item.header_sender = sender;

  if (sender.empty() && normalized_subject.empty()) return;
  item.list_position = ListPositionFromText(list_position);
  ItemListRow& columns = item.columns;
  columns[0] = message_id;
  columns[1] = std::move(kind);
  columns[4] = sender;
  columns[5] = subject_prefix + normalized_subject;
  if (options_.prefilter && !options_.prefilter(item)) {
    item.turned_away = true;
    sink_(std::move(item));
    return;
  }
  columns[2] = FromAscii(std::to_string(item.message_record_number));
  columns[3] = item.attachment_list;
  columns[6] = OrEmpty(row.Date(entries_.dates));
  columns[7] = OrEmpty(row.Text(entries_.attachment_flag));
  columns[8] = item.recipients;
  columns[9] = item.copy_recipients;
  columns[10] = item.blind_copy_recipients;
  columns[kItemStateColumn] = ItemStateText(state);
  sink_(std::move(item));
}

std::optional<MessageFacts> FolderItemReader::FactsOf(std::uint32_t record_number) {
  if (options_.gathered != nullptr) {
    if (std::optional<MessageFacts> facts = options_.gathered->Find(record_number)) return facts;
  }
  if (message_table_ == nullptr) return std::nullopt;
  const std::optional<ese::Record> record = message_table_->ReadRecord(record_number);
  if (!record) return std::nullopt;
  return ReadMessageFacts(reader_, *record, message_columns_);
}

}  // namespace

std::u16string_view ItemStateText(ese::RecordState state) {
  switch (state) {
    case ese::RecordState::kLive: return u"live";
    case ese::RecordState::kRecovered: return u"recovered";
    case ese::RecordState::kDeleted: return u"deleted";
  }
  return u"live";
}

namespace {

// A header row's identity and what decides whether it is listed: its id, its folder and kind,
// and whether it has a sender or a subject of any form.
struct HeaderRowKeys {
  std::u16string message_id;
  std::u16string folder_key;
  std::u16string item_kind;
};

// Empty when the row is no listed item: a placeholder, a kind never listed, or a row without
// sender and subject. `texts`, when given, receives the sender and subject values; without it
// the texts are read only until one is found.
struct HeaderRowTexts {
  std::u16string sender;
  std::u16string normalized_subject;
  std::u16string subject_prefix;
  std::u16string conversation_topic;
};

std::optional<HeaderRowKeys> ReadListedHeaderRow(RowValues& row, bool public_store,
                                                 HeaderRowTexts* texts) {
  HeaderRowKeys keys;
  keys.message_id = OrEmpty(row.Id(u"N67b0"));
  if (keys.message_id == kPlaceholderMessageId) return std::nullopt;
  keys.folder_key = OrEmpty(public_store ? row.StoreId(u"Q6748") : row.Id(u"Q6748"));
  keys.item_kind = ClassifyMessageClass(OrEmpty(row.Text(u"S1a")), StoreLayout::k2010);
  if (IsExcludedItemKind(keys.item_kind, StoreLayout::k2010)) return std::nullopt;
  HeaderRowTexts read;
  HeaderRowTexts& into = texts != nullptr ? *texts : read;
  bool any_text = false;
  for (auto [column, text] : {std::pair{u"S42", &into.sender}, {u"Se1d", &into.normalized_subject},
                              {u"S3d", &into.subject_prefix}, {u"S70", &into.conversation_topic}}) {
    *text = OrEmpty(row.Text(column));
    any_text = any_text || !text->empty();
    if (any_text && texts == nullptr) break;
  }
  if (!any_text) return std::nullopt;
  return keys;
}

}  // namespace

bool ScanHeaderTable(Recovery& recovery, const ese::Table* table, std::u16string_view table_name) {
  if (table == nullptr || table_name.empty() || !recovery.has_session()) return false;
  StoreSession& session = recovery.session();
  TableColumns columns;
  if (!columns.Find(session, table, ColumnLookup::kMessageHeaders)) return false;
  const bool public_store = recovery.is_public_store();
  MailboxModel& model = recovery.model();
  ValueReader& reader = recovery.reader();
  const std::u16string name(table_name);
  const RecordHandler handler = [&](const ese::Record* record, std::uint32_t number) {
    if (record == nullptr) return;
    RowValues row(reader, record, columns);
    HeaderRowTexts texts;
    std::optional<HeaderRowKeys> keys = ReadListedHeaderRow(row, public_store, &texts);
    if (!keys) return;
    ItemHeader header;
    header.state = ItemStateText(table->record_state(number));
    header.message_id = std::move(keys->message_id);
    header.folder_key = std::move(keys->folder_key);
    header.item_kind = std::move(keys->item_kind);
    header.sender = std::move(texts.sender);
    header.subject_prefix = std::move(texts.subject_prefix);
    header.conversation_topic = std::move(texts.conversation_topic);
    header.attachment_flag = OrEmpty(row.Text(u"Be1b"));
    header.subject = header.subject_prefix + texts.normalized_subject;
    if (header.subject.empty()) header.subject = header.conversation_topic;
    header.date = OrEmpty(row.Date({u"Te06", u"T3007", u"T39"}));
    header.table_name = name;
    model.item_headers.PutAtFront(std::move(header));
  };
  session.ScanRecords(table, handler, recovery.scan_context());
  return true;
}

bool CountHeaderRows(Recovery& recovery, const ese::Table* table, std::u16string_view table_set,
                     std::unordered_map<std::u16string, std::size_t>& counts) {
  if (table == nullptr || !recovery.has_session()) return false;
  StoreSession& session = recovery.session();
  TableColumns columns;
  if (!columns.Find(session, table, ColumnLookup::kMessageHeaders)) return false;
  const bool public_store = recovery.is_public_store();
  ValueReader& reader = recovery.reader();
  const RecordHandler handler = [&](const ese::Record* record, std::uint32_t) {
    if (record == nullptr) return;
    RowValues row(reader, record, columns);
    if (std::optional<HeaderRowKeys> keys = ReadListedHeaderRow(row, public_store, nullptr)) {
      ++counts[FolderHeaderKey(keys->folder_key, table_set)];
    }
  };
  session.ScanRecords(table, handler, recovery.scan_context());
  return true;
}

bool ScanBodyTable(Recovery& recovery, const ese::Table* table, std::u16string_view table_name) {
  if (table == nullptr || table_name.empty() || !recovery.has_session()) return false;
  StoreSession& session = recovery.session();
  TableColumns columns;
  columns.Find(session, table, ColumnLookup::kContent);
  const std::uint32_t data_column = static_cast<std::uint32_t>(columns.Entry(u"N3701").value_or(0));
  MailboxModel& model = recovery.model();
  ValueReader& reader = recovery.reader();
  const std::u16string name(table_name);
  const RecordHandler handler = [&](const ese::Record* record, std::uint32_t number) {
    if (record == nullptr) return;
    RowValues row(reader, record, columns);
    std::u16string id = OrEmpty(row.Id(u"N65f9"));
    if (row.Text(u"L3705") == u"0") {
      std::u16string attachment_list = OrEmpty(row.AttachmentList(u"N67b3"));
      if (!id.empty())
        model.body_refs.PutAtFront({std::move(id), std::move(attachment_list), number, name});
      return;
    }
    std::u16string file_name = FileNameOrFallback(row.Text(u"S3001"), row.Text(u"S3707"));
    if (!file_name.empty() && !id.empty()) {
      model.attachment_refs.PutAtFront(
          {std::move(id), number, std::move(file_name), name, data_column});
    }
  };
  session.ScanRecords(table, handler, recovery.scan_context());
  return true;
}

bool HandleMessageRow(Recovery& recovery, const ese::Record* record, std::uint32_t record_number) {
  if (record == nullptr || !recovery.has_session()) return false;
  const StoreSession& session = recovery.session();
  ValueReader& reader = recovery.reader();
  MessageRef ref;
  ref.record_number = record_number;
  if (const std::optional<int> entry = DirectoryEntry(session, ColumnGroup::kMessage, u"N67b0")) {
    ref.message_id = OrEmpty(reader.ReadIdText(record, *entry, ByteOrder::kBigEndian));
  }
  if (const std::optional<int> entry = DirectoryEntry(session, ColumnGroup::kContent, u"N67b3")) {
    ref.attachment_list = OrEmpty(ReadAttachmentListText(record, *entry));
  }
  recovery.model().message_refs.PutAtFront(std::move(ref));
  return true;
}

bool HandleAttachmentRow(Recovery& recovery, const ese::Record* record,
                         std::uint32_t record_number) {
  if (record == nullptr || !recovery.has_session()) return false;
  const StoreSession& session = recovery.session();
  ValueReader& reader = recovery.reader();
  auto text = [&](std::u16string_view name) -> std::optional<std::u16string> {
    const std::optional<int> entry = DirectoryEntry(session, ColumnGroup::kAttachment, name);
    return entry ? reader.ReadValueText(record, *entry) : std::nullopt;
  };
  AttachmentRow row;
  row.record_number = record_number;
  row.file_name = FileNameOrFallback(text(u"S3001"), text(u"S3704"));
  for (char16_t& unit : row.file_name) {
    if (std::u16string_view(u"\\/:?*<>|\"").find(unit) != std::u16string_view::npos) unit = u'_';
  }
  if (const std::optional<int> entry =
          DirectoryEntry(session, ColumnGroup::kAttachment, u"Q3f88")) {
    row.attachment_id = OrEmpty(reader.ReadIdText(record, *entry, ByteOrder::kBigEndian));
  }
  recovery.model().attachment_rows.PutAtFront(std::move(row));
  return true;
}

namespace {

// A search's rows of one content table on two threads, each half of the table by itself, each
// half's items handed on in the table's order once both are made: what one thread would hand on.
void LoadFolderRowsOnTwoThreads(Recovery& recovery, const ese::Table& content_table,
                                const TableColumns& columns, const FolderItemSink& sink,
                                const FolderReadOptions& options) {
  // Everything both threads only read is brought up to date here, and both item readers are
  // made here: making one looks up the "Msg" columns, which writes the session's directory.
  recovery.indexes().CatchUpAfterAnalysis(recovery.model());
  const std::uint32_t rows = content_table.record_count();
  // Each half's items, kept until both halves are made (made in place: `keep` points at it).
  struct Half {
    std::vector<FolderItem> items;
    FolderItemSink keep = [this](FolderItem&& item) { items.push_back(std::move(item)); };
    bool ended = false;  // cancelled, or a row that could not be made
  };
  Half first;
  Half second;
  BodyState body_state;
  ValueReader second_reader(recovery.session(), recovery.working_folder(), body_state);
  FolderItemReader first_reader(recovery, recovery.reader(), columns, first.keep,
                                FolderItemUse::kRowsOnly, options);
  FolderItemReader second_reader_items(recovery, second_reader, columns, second.keep,
                                       FolderItemUse::kRowsOnly, options);
  // The records' states and the pause gate are each behind a lock both threads would wait on
  // at every record: the states are taken first, the gate every so many records.
  std::vector<ese::RecordState> states(rows);
  for (std::uint32_t number = 0; number < rows; ++number) {
    states[number] = content_table.record_state(number);
  }
  // A row that cannot be made ends its half, as it ends the table on one thread; nothing
  // leaves the second thread.
  const auto read = [&](FolderItemReader& reader, std::uint32_t from, std::uint32_t to,
                        Half& half) {
    try {
      content_table.ForEachRecordBetween(from, to, [&](std::uint32_t number,
                                                       const ese::Record* record) {
        if ((number - from) % 64 == 0 && !recovery.pause_gate().Checkpoint()) {
          half.ended = true;
          return false;
        }
        if (record != nullptr) reader.Process(record, states[number]);
        return true;
      });
    } catch (const std::exception&) {
      half.ended = true;
    }
  };
  const std::uint32_t middle = rows / 2;
  bool second_read = false;
  {
    std::jthread helper;
    try {
      helper = std::jthread([&] { read(second_reader_items, middle, rows, second); });
      second_read = true;
    } catch (const std::system_error&) {
      // No thread to be had: this one reads the second half after the first.
    }
    read(first_reader, 0, middle, first);
  }
  if (!second_read && !first.ended) read(second_reader_items, middle, rows, second);
  for (FolderItem& item : first.items) sink(std::move(item));
  // A first half that ended early ends the table there, as one thread would have.
  if (first.ended) return;
  for (FolderItem& item : second.items) sink(std::move(item));
}

}  // namespace

bool LoadFolderItems(Recovery& recovery, const ese::Table* content_table,
                     const FolderItemSink& sink, FolderItemUse use,
                     const FolderReadOptions& options) {
  if (content_table == nullptr || !recovery.has_session()) return false;
  StoreSession& session = recovery.session();
  TableColumns columns;
  columns.Find(session, content_table, ColumnLookup::kMessageBodies);
  const std::uint32_t row_count = content_table->record_count();

  WindowPort& window = recovery.window();
  window.SetProgressRange(
      0, static_cast<int>(std::min<std::uint32_t>(row_count, kMaxItemProgressRange)));
  if (options.two_threads && use == FolderItemUse::kRowsOnly) {
    LoadFolderRowsOnTwoThreads(recovery, *content_table, columns, sink, options);
    window.SetProgressPosition(0);
    return true;
  }
  FolderItemReader reader(recovery, recovery.reader(), columns, sink, use, options);
  content_table->ForEachRecord([&](std::uint32_t number, const ese::Record* record) {
    if (!recovery.pause_gate().Checkpoint()) return false;
    window.SetProgressPosition(static_cast<int>(number));
    if (record == nullptr) return true;
    try {
      reader.Process(record, content_table->record_state(number));
    } catch (const std::exception&) {
      return false;
    }
    return true;
  });
  window.SetProgressPosition(0);
  return true;
}

bool LoadMessageRowsAsItems(Recovery& recovery, const std::vector<std::uint32_t>& record_numbers,
                            const FolderItemSink& sink, FolderItemUse use,
                            const FolderReadOptions& options) {
  if (!recovery.has_session()) return false;
  StoreSession& session = recovery.session();
  const ese::Table* message_table = session.message_table();
  if (message_table == nullptr) return false;
  TableColumns columns;
  columns.Find(session, message_table, ColumnLookup::kMessageBodies);
  FolderItemReader reader(recovery, recovery.reader(), columns, sink, use, options);
  for (std::uint32_t number : record_numbers) {
    if (!recovery.pause_gate().Checkpoint()) return false;
    const std::optional<ese::Record> record = message_table->ReadRecord(number);
    if (!record) continue;
    try {
      reader.Process(&*record, message_table->record_state(number));
    } catch (const std::exception&) {
      return false;
    }
  }
  return true;
}

FolderItemSink ListInWindow(Recovery& recovery) {
  return [&recovery](const FolderItem& item) {
    WindowPort& window = recovery.window();
    const int row = window.InsertListRow(item.list_position, item.columns[0]);
    if (row < 0) return;
    for (int column = 1; column < kItemListColumnCount; ++column) {
      window.SetListCell(row, column, item.columns[static_cast<std::size_t>(column)]);
    }
  };
}

std::u16string WriteItemAttachments(Recovery& recovery, std::u16string_view attachment_list) {
  std::u16string names;
  if (!recovery.has_session()) return names;
  StoreSession& session = recovery.session();
  ValueReader& reader = recovery.reader();
  MailboxModel& model = recovery.model();
  // The file takes the name the reader makes safe for the working folder, one of its own
  // (base/file_names.h); the list of names says what was written.
  UniqueFileNames file_names(kWorkingFileNames);
  auto write = [&](const ese::Table* table, std::uint32_t record_number, std::uint32_t column,
                   const std::u16string& file_name) {
    const std::u16string unique_name = file_names.For(file_name, u"attachment");
    names += unique_name + u";";
    reader.set_attachment_file_name(unique_name);
    if (table == nullptr || column == 0) return;
    const std::optional<ese::Record> record = table->ReadRecord(record_number);
    if (record) reader.WriteAttachmentFile(&*record, static_cast<int>(column));
  };

  if (recovery.layout() == StoreLayout::k2010) {
    // Each attachment row is read from its own "Body-" table; that is the open body table
    // unless the identifier also occurs in another mailbox's list.
    Recovery::BodyTable& body = recovery.body_table();
    std::map<std::u16string, const ese::Table*, std::less<>> other_tables;
    auto table_named = [&](const std::u16string& name) -> const ese::Table* {
      if (body.open && body.name == name) return body.table;
      auto found = other_tables.find(name);
      if (found == other_tables.end()) {
        const ese::Table* table = nullptr;
        for (const TableEntry& entry : session.catalog().entries()) {
          if (entry.name != name) continue;
          table = entry.table;
          break;
        }
        found = other_tables.emplace(name, table).first;
      }
      return found->second;
    };
    for (const AttachmentRef* ref : recovery.indexes().AttachmentRefsIn(model, attachment_list)) {
      if (!recovery.pause_gate().Checkpoint()) break;
      write(table_named(ref->table_name), ref->record_number, ref->data_column, ref->file_name);
    }
  } else {
    const std::uint32_t column = session.columns().Position(ColumnGroup::kAttachment, u"N3701");
    for (const AttachmentRow* row : recovery.indexes().AttachmentRowsIn(model, attachment_list)) {
      if (!recovery.pause_gate().Checkpoint()) break;
      write(session.attachment_table(), row->record_number, column, row->file_name);
    }
  }
  ReplaceAll(names, u";;", u";");
  return names;
}

}  // namespace tarvex
