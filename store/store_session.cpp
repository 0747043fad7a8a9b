#include "store/store_session.h"

#include "base/code_page_1252.h"
#include "store/folder_key.h"

namespace tarvex {
namespace {

// Catalogue row types of MSysObjects.
constexpr std::uint16_t kCatalogTableRow = 1;
constexpr std::uint16_t kCatalogCallbackRow = 5;

int NumberOfColumns(libesedb_table_t* table) {
  int count = 0;
  if (libesedb_table_get_number_of_columns(table, &count, 0, nullptr) != 1) return -1;
  return count;
}

int NumberOfRecords(libesedb_table_t* table) {
  int count = 0;
  if (libesedb_table_get_number_of_records(table, &count, nullptr) != 1) return 0;
  return count;
}

// Position of the column named `name`, or -1.
int FindColumn(libesedb_table_t* table, std::u16string_view name) {
  const int count = NumberOfColumns(table);
  for (int position = 0; position < count; ++position) {
    const EsedbColumn column = GetColumn(table, position);
    if (column && ColumnName(column.get()) == name) return position;
  }
  return -1;
}

// Catalogue names are 8-bit text in the engine's files.
std::optional<std::u16string> CatalogName(libesedb_record_t* record, int value_entry) {
  const std::optional<RawValue> value = GetRawValue(record, value_entry);
  if (!value || value->flags > kValueFlagVariableSize) return std::nullopt;
  std::string_view bytes(reinterpret_cast<const char*>(value->bytes.data()), value->bytes.size());
  bytes = bytes.substr(0, bytes.find('\0'));
  return Windows1252ToUtf16(bytes);
}

ColumnLookup LookupForNamedTable(std::u16string_view table_name,
                                 std::u16string_view attachment_table_name) {
  if (table_name.starts_with(u"Mailbox")) return ColumnLookup::kMailboxTable;
  if (table_name.starts_with(u"Folders")) return ColumnLookup::kFolderTable;
  if (!attachment_table_name.empty() && table_name.starts_with(attachment_table_name)) {
    return ColumnLookup::kAttachmentTable;
  }
  return ColumnLookup::kMessageTable;
}

const RecordHandler* HandlerForNamedTable(std::u16string_view table_name,
                                          std::u16string_view attachment_table_name,
                                          const NamedTableHandlers& handlers) {
  if (!attachment_table_name.empty() && table_name == attachment_table_name) {
    return &handlers.attachment;
  }
  if (table_name == u"Msg") return &handlers.message;
  if (table_name == u"Folders") return &handlers.folder;
  if (table_name == u"Mailbox") return &handlers.mailbox;
  return nullptr;
}

}  // namespace

StoreSession::StoreSession(EsedbFile file) : file_(std::move(file)) {}

StoreSession::~StoreSession() {
  // Table handles go before the file they were read from.
  current_table_.reset();
  message_table_ = nullptr;
  attachment_table_ = nullptr;
  catalog_.Clear();
}

StoreSession::OpenResult StoreSession::Open(const std::filesystem::path& path) {
  libesedb_file_t* raw_file = nullptr;
  if (libesedb_file_initialize(&raw_file, nullptr) != 1) {
    return StoreOpenFailure::kCannotInitialize;
  }
  if (libesedb_file_open(raw_file, path.c_str(), libesedb_get_access_flags_read(), nullptr) != 1) {
    libesedb_file_free(&raw_file, nullptr);
    return StoreOpenFailure::kCannotOpen;
  }
  std::unique_ptr<StoreSession> session(new StoreSession(EsedbFile(raw_file)));
  libesedb_file_t* file = session->file();
  if (libesedb_file_get_creation_format_version(file, &session->creation_format_version_,
                                                &session->creation_format_revision_,
                                                nullptr) != 1) {
    return StoreOpenFailure::kNoCreationFormatVersion;
  }
  if (libesedb_file_get_format_version(file, &session->format_version_, &session->format_revision_,
                                       nullptr) != 1) {
    session->format_version_ = session->creation_format_version_;
    session->format_revision_ = session->creation_format_revision_;
  }
  // Only the older layout keeps its attachments in a table of their own; reading the whole
  // catalogue for it would cost a 2010 store as much time again as opening it did.
  if (session->format_revision_ <= 16 || session->HasTableNamed(u"Msg")) {
    session->FindAttachmentTableName();
  }
  return session;
}

bool StoreSession::HasTableNamed(std::u16string_view name) const {
  int table_count = 0;
  if (libesedb_file_get_number_of_tables(file_.get(), &table_count, nullptr) != 1) return false;
  for (int index = 0; index < table_count; ++index) {
    const EsedbTable table = GetTable(file_.get(), index);
    if (table && TableName(table.get()) == name) return true;
  }
  return false;
}

std::uint32_t StoreSession::page_size() const {
  std::uint32_t size = 0;
  libesedb_file_get_page_size(file_.get(), &size, nullptr);
  return size;
}

void StoreSession::FindAttachmentTableName() {
  // The library lists its own catalogue, MSysObjects, as a table. A callback row belongs to
  // the last table row before it; the attachment table is the one that carries the callback.
  int table_count = 0;
  if (libesedb_file_get_number_of_tables(file_.get(), &table_count, nullptr) != 1) return;
  for (int index = 0; index < table_count; ++index) {
    const EsedbTable table = GetTable(file_.get(), index);
    if (!table || TableName(table.get()) != u"MSysObjects") continue;
    const int type_column = FindColumn(table.get(), u"Type");
    const int name_column = FindColumn(table.get(), u"Name");
    if (type_column < 0 || name_column < 0) return;
    std::u16string last_table_name;
    const int record_count = NumberOfRecords(table.get());
    for (int number = 0; number < record_count; ++number) {
      const EsedbRecord record = GetRecord(table.get(), number);
      if (!record) continue;
      std::uint16_t type = 0;
      if (libesedb_record_get_value_16bit(record.get(), type_column, &type, nullptr) != 1) {
        continue;
      }
      if (type != kCatalogTableRow && type != kCatalogCallbackRow) continue;
      const std::optional<std::u16string> name = CatalogName(record.get(), name_column);
      if (!name) continue;
      if (type == kCatalogTableRow) {
        last_table_name = *name;
      } else if (*name == kAttachmentCallbackName) {
        attachment_table_name_ = last_table_name;
      }
    }
    return;
  }
}

bool StoreSession::IsKeptOpen(std::u16string_view name) const {
  return name == u"Msg" || name == u"Mailbox" || name == u"Folders" ||
         (!attachment_table_name_.empty() && name == attachment_table_name_);
}

CatalogResult StoreSession::BuildTableCatalog() {
  int table_count = 0;
  if (libesedb_file_get_number_of_tables(file_.get(), &table_count, nullptr) != 1) {
    return CatalogResult::kFailed;
  }
  if (table_count == 0) return CatalogResult::kNoTables;
  for (int index = 0; index < table_count; ++index) {
    EsedbTable table = GetTable(file_.get(), index);
    if (!table) return CatalogResult::kFailed;
    std::optional<std::u16string> name = TableName(table.get());
    if (!name) return CatalogResult::kFailed;

    TableEntry entry;
    entry.index = index;
    entry.name = std::move(*name);
    entry.folder_key = FolderKeyFromTableName(entry.name);
    if (entry.name == u"Msg") message_table_ = table.get();
    if (!attachment_table_name_.empty() && entry.name == attachment_table_name_) {
      attachment_table_ = table.get();
    }
    if (IsKeptOpen(entry.name)) entry.table = std::move(table);
    catalog_.Append(std::move(entry));
  }
  return CatalogResult::kComplete;
}

void StoreSession::RecogniseLayout() {
  for (const TableEntry& entry : catalog_.entries()) {
    if (entry.name == u"Mailbox") store_kind_ = StoreKind::kPrivate;
    if (entry.name == u"Msg" && format_revision_ > 16) format_revision_ = 15;
  }
}

bool StoreSession::ScanNamedTable(std::u16string_view name, const NamedTableHandlers& handlers,
                                  ScanContext context) {
  if (name.empty()) return true;
  bool all_completed = true;
  const ColumnLookup lookup = LookupForNamedTable(name, attachment_table_name_);
  const RecordHandler* handler = HandlerForNamedTable(name, attachment_table_name_, handlers);
  for (TableEntry& entry : catalog_.entries()) {
    if (entry.name != name || !entry.table) continue;
    static const RecordHandler kIgnoreRecords;
    if (!ScanTable(entry.table.get(), lookup, handler ? *handler : kIgnoreRecords, context)) {
      all_completed = false;
    }
  }
  return all_completed;
}

bool StoreSession::ScanTable(libesedb_table_t* table, ColumnLookup lookup,
                             const RecordHandler& handler, ScanContext context) {
  if (!FindColumns(table, lookup)) return false;
  ScanRecords(table, handler, context);
  return true;
}

bool StoreSession::FindColumns(libesedb_table_t* table, ColumnLookup lookup) {
  const int column_count = NumberOfColumns(table);
  for (int position = 0; position < column_count; ++position) {
    const EsedbColumn column = GetColumn(table, position);
    const std::optional<std::u16string> column_name =
        column ? ColumnName(column.get()) : std::nullopt;
    if (!column_name) return false;
    columns_.Offer(lookup, static_cast<std::uint32_t>(position), *column_name);
  }
  return true;
}

void StoreSession::ScanRecords(libesedb_table_t* table, const RecordHandler& handler,
                               ScanContext context) {
  const int record_count = NumberOfRecords(table);
  int progress = 0;
  for (int number = 0; number < record_count; ++number) {
    if (!context.pause_gate.Checkpoint()) break;
    current_record_number_ = static_cast<std::uint32_t>(number);
    context.window.SetProgressPosition(progress);
    if (progress == 100) progress = 0;
    ++progress;
    const EsedbRecord record = GetRecord(table, number);
    if (handler) handler(record.get(), current_record_number_);
  }
  context.window.SetProgressPosition(0);
}

libesedb_table_t* StoreSession::OpenTableByName(std::u16string_view name) {
  for (const TableEntry& entry : catalog_.entries()) {
    if (entry.name != name) continue;
    current_table_.reset();
    current_table_ = GetTable(file_.get(), entry.index);
    return current_table_.get();
  }
  return nullptr;
}

}  // namespace tarvex
