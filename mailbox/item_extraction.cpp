#include "mailbox/item_extraction.h"

#include <algorithm>
#include <array>
#include <exception>
#include <initializer_list>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "base/file_names.h"
#include "base/utf16_text.h"
#include "mailbox/attachment_list_text.h"
#include "mailbox/classification.h"
#include "mailbox/folder_item_reader.h"
#include "mailbox/model_indexes.h"
#include "mailbox/row_values.h"
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

}  // namespace

std::u16string_view ItemStateText(ese::RecordState state) {
  switch (state) {
    case ese::RecordState::kLive:
      return u"live";
    case ese::RecordState::kRecovered:
      return u"recovered";
    case ese::RecordState::kDeleted:
      return u"deleted";
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
  for (auto [column, text] : {std::pair{u"S42", &into.sender},
                              {u"Se1d", &into.normalized_subject},
                              {u"S3d", &into.subject_prefix},
                              {u"S70", &into.conversation_topic}}) {
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
  const TableColumns message_columns = FindMessageTableColumns(session);
  FolderItemReader reader(recovery, recovery.reader(), columns, message_columns, sink, use,
                          options);
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
  const TableColumns message_columns = FindMessageTableColumns(session);
  FolderItemReader reader(recovery, recovery.reader(), columns, message_columns, sink, use,
                          options);
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
