#pragma once

// The open database: our reader of the file, its table catalogue, the tables read again and
// again, the format version and the column directory. One session per opened database;
// several may live side by side.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "base/pause_gate.h"
#include "base/window_port.h"
#include "ese/database.h"
#include "store/column_directory.h"
#include "store/table_catalog.h"

namespace tarvex {

enum class StoreKind { kPrivate, kPublic };

enum class StoreOpenFailure {
  kCannotInitialize,  // no memory for the reader of the file
  kCannotOpen,        // missing, unreadable, not an ESE database or no catalogue to read
};

enum class CatalogResult { kComplete, kNoTables, kFailed };

// A record handed to a handler; null when the record could not be read.
using RecordHandler = std::function<void(const ese::Record* record, std::uint32_t record_number)>;

// The handlers of the tables the analysis scans by name.
struct NamedTableHandlers {
  RecordHandler mailbox;
  RecordHandler folder;
  RecordHandler message;
  RecordHandler attachment;
};

// Where a scan reports progress and waits while the user has paused the work.
struct ScanContext {
  WindowPort& window;
  PauseGate& pause_gate;
};

inline constexpr std::u16string_view kAttachmentCallbackName = u"JCB.DLL!EcJcbAttachCallback";

class StoreSession {
 public:
  using OpenResult = std::variant<std::unique_ptr<StoreSession>, StoreOpenFailure>;

  // Opens the database read-only, reads its catalogue, finds the attachment table through the
  // catalogue's callback rows and reads the format version and revision. With `deep_scan`, the
  // census of every page (ese::Database::TakeCensus) comes before the catalogue, its progress
  // shown in that context's window.
  static OpenResult Open(const std::filesystem::path& path,
                         std::optional<ScanContext> deep_scan = std::nullopt);

  StoreSession(const StoreSession&) = delete;
  StoreSession& operator=(const StoreSession&) = delete;

  // Lists every table with its folder key and notes the "Msg" and attachment tables. kFailed
  // when the catalogue lost rows or names a table without a name; the entries made so far stay.
  CatalogResult BuildTableCatalog();

  // Sets the store kind from the catalogue ("Mailbox" makes it private) and treats a store
  // with a "Msg" table as the older layout whatever its revision says.
  void RecogniseLayout();
  bool Is2010Layout() const { return format_revision_ > 16; }

  // Scans every catalogued table named exactly `name`: the column pass fills the directory,
  // the record pass hands each record to the handler that the table's name selects. Only
  // "Mailbox", "Folders", "Msg" and the attachment table are scanned by name.
  void ScanNamedTable(std::u16string_view name, const NamedTableHandlers& handlers,
                      ScanContext context);

  // The same column pass and record pass over any table, with the given lookup and handler.
  // False without a table.
  bool ScanTable(const ese::Table* table, ColumnLookup lookup, const RecordHandler& handler,
                 ScanContext context);

  // The column pass: offers every column name to the lookup. False without a table.
  bool FindColumns(const ese::Table* table, ColumnLookup lookup);

  // The record pass: hands every record to the handler (null when it cannot be read), moving
  // the progress bar 0, 1, ..., 100, 1, ... and back to 0 at the end.
  void ScanRecords(const ese::Table* table, const RecordHandler& handler, ScanContext context);

  // Makes the first catalogued table named `name` the current table; returns it, or null
  // (keeping the current table) when no table has that name.
  const ese::Table* OpenTableByName(std::u16string_view name);
  const ese::Table* current_table() const { return current_table_; }

  const TableCatalog& catalog() const { return catalog_; }
  ColumnDirectory& columns() { return columns_; }
  const ColumnDirectory& columns() const { return columns_; }

  std::uint32_t format_version() const { return format_version_; }
  std::uint32_t format_revision() const { return format_revision_; }
  std::uint32_t creation_format_version() const { return creation_format_version_; }
  std::uint32_t creation_format_revision() const { return creation_format_revision_; }
  std::uint32_t page_size() const;
  StoreKind store_kind() const { return store_kind_; }

  const std::u16string& attachment_table_name() const { return attachment_table_name_; }
  const ese::Table* message_table() const { return message_table_; }
  const ese::Table* attachment_table() const { return attachment_table_; }

  // The record the current scan is handing to its handler.
  std::uint32_t current_record_number() const { return current_record_number_; }

  // The open database; it owns every table for the session's lifetime.
  const ese::Database& database() const { return *database_; }

 private:
  explicit StoreSession(std::unique_ptr<ese::Database> database);
  void FindAttachmentTableName();

  // Declared first so that the tables it owns outlive every pointer to them below.
  std::unique_ptr<ese::Database> database_;
  TableCatalog catalog_;
  const ese::Table* current_table_ = nullptr;
  ColumnDirectory columns_;
  const ese::Table* message_table_ = nullptr;
  const ese::Table* attachment_table_ = nullptr;
  std::u16string attachment_table_name_;
  std::uint32_t format_version_ = 0;
  std::uint32_t format_revision_ = 0;
  std::uint32_t creation_format_version_ = 0;
  std::uint32_t creation_format_revision_ = 0;
  StoreKind store_kind_ = StoreKind::kPublic;
  std::uint32_t current_record_number_ = 0;
};

}  // namespace tarvex
