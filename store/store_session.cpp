#include "store/store_session.h"

#include <new>

#include "store/folder_key.h"

namespace tarvex {
namespace {

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

bool IsScannedByName(std::u16string_view name, std::u16string_view attachment_table_name) {
  return name == u"Msg" || name == u"Mailbox" || name == u"Folders" ||
         (!attachment_table_name.empty() && name == attachment_table_name);
}

bool TakeCensus(ese::Database& database, ScanContext context) {
  context.window.SetProgressRange(0, 100);
  int shown = -1;
  const bool taken =
      database.TakeCensus([&](std::uint64_t done, std::uint64_t total) {
        if (!context.pause_gate.Checkpoint()) return false;
        const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
        if (percent != shown) {
          shown = percent;
          context.window.SetProgressPosition(percent);
        }
        return true;
      });
  context.window.SetProgressPosition(0);
  return taken;
}

}  // namespace

StoreSession::StoreSession(std::unique_ptr<ese::Database> database)
    : database_(std::move(database)) {
  const ese::FileHeader& header = database_->header();
  creation_format_version_ = header.creation_format_version;
  creation_format_revision_ = header.creation_format_revision;
  format_version_ = header.format_version;
  format_revision_ = header.format_revision;
}

StoreSession::OpenResult StoreSession::Open(const std::filesystem::path& path,
                                            std::optional<ScanContext> deep_scan) {
  try {
    ese::Database::OpenResult opened = ese::Database::Open(path);
    if (!opened.database) return StoreOpenFailure::kCannotOpen;
    if (deep_scan) TakeCensus(*opened.database, *deep_scan);
    // A header without a single readable catalogue row is no database to recover from.
    const ese::Catalog& catalog = opened.database->catalog();
    if (catalog.tables.empty() && !catalog.complete) return StoreOpenFailure::kCannotOpen;
    std::unique_ptr<StoreSession> session(new StoreSession(std::move(opened.database)));
    session->FindAttachmentTableName();
    return session;
  } catch (const std::bad_alloc&) {
    return StoreOpenFailure::kCannotInitialize;
  }
}

std::uint32_t StoreSession::page_size() const {
  return database_->layout().page_size;
}

void StoreSession::FindAttachmentTableName() {
  // The attachment table is the one that carries the attachment callback; a later such
  // table replaces an earlier one.
  for (const ese::TableSchema& table : database_->catalog().tables) {
    for (const std::u16string& callback : table.callbacks) {
      if (std::u16string_view(callback).substr(0, callback.find(u'\0')) ==
          kAttachmentCallbackName) {
        attachment_table_name_ = table.name;
      }
    }
  }
}

CatalogResult StoreSession::BuildTableCatalog() {
  const std::vector<std::unique_ptr<ese::Table>>& tables = database_->tables();
  if (tables.empty()) return CatalogResult::kNoTables;
  for (std::size_t index = 0; index < tables.size(); ++index) {
    const ese::Table* table = tables[index].get();
    if (table->name().empty()) return CatalogResult::kFailed;
    TableEntry entry;
    entry.index = static_cast<int>(index);
    entry.name = table->name();
    entry.table = table;
    entry.folder_key = FolderKeyFromTableName(entry.name);
    if (entry.name == u"Msg") message_table_ = table;
    if (!attachment_table_name_.empty() && entry.name == attachment_table_name_) {
      attachment_table_ = table;
    }
    catalog_.Append(std::move(entry));
  }
  // Rows of a catalogue page that could not be read took their tables with them.
  return database_->catalog().complete ? CatalogResult::kComplete : CatalogResult::kFailed;
}

void StoreSession::RecogniseLayout() {
  for (const TableEntry& entry : catalog_.entries()) {
    if (entry.name == u"Mailbox") store_kind_ = StoreKind::kPrivate;
    if (entry.name == u"Msg" && format_revision_ > 16) format_revision_ = 15;
  }
}

void StoreSession::ScanNamedTable(std::u16string_view name, const NamedTableHandlers& handlers,
                                  ScanContext context) {
  if (name.empty() || !IsScannedByName(name, attachment_table_name_)) return;
  const ColumnLookup lookup = LookupForNamedTable(name, attachment_table_name_);
  const RecordHandler* handler = HandlerForNamedTable(name, attachment_table_name_, handlers);
  for (const TableEntry& entry : catalog_.entries()) {
    if (entry.name == name) ScanTable(entry.table, lookup, *handler, context);
  }
}

bool StoreSession::ScanTable(const ese::Table* table, ColumnLookup lookup,
                             const RecordHandler& handler, ScanContext context) {
  if (!FindColumns(table, lookup)) return false;
  ScanRecords(table, handler, context);
  return true;
}

bool StoreSession::FindColumns(const ese::Table* table, ColumnLookup lookup) {
  if (table == nullptr) return false;
  const auto& columns = table->columns();
  for (std::size_t position = 0; position < columns.size(); ++position) {
    columns_.Offer(lookup, static_cast<std::uint32_t>(position), columns[position].name);
  }
  return true;
}

void StoreSession::ScanRecords(const ese::Table* table, const RecordHandler& handler,
                               ScanContext context) {
  int progress = 0;
  if (table != nullptr) {
    table->ForEachRecord([&](std::uint32_t number, const ese::Record* record) {
      if (!context.pause_gate.Checkpoint()) return false;
      current_record_number_ = number;
      context.window.SetProgressPosition(progress);
      if (progress == 100) progress = 0;
      ++progress;
      if (handler) handler(record, current_record_number_);
      return true;
    });
  }
  context.window.SetProgressPosition(0);
}

const ese::Table* StoreSession::OpenTableByName(std::u16string_view name) {
  for (const TableEntry& entry : catalog_.entries()) {
    if (entry.name != name) continue;
    current_table_ = entry.table;
    return current_table_;
  }
  return nullptr;
}

}  // namespace tarvex
