#pragma once

// The open database: the file, its table catalogue, the tables kept open, the format version
// and the column directory. One session per opened database; several may live side by side.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "base/pause_gate.h"
#include "base/window_port.h"
#include "store/column_directory.h"
#include "store/esedb_handles.h"
#include "store/table_catalog.h"

namespace tarvex {

enum class StoreKind { kPrivate, kPublic };

enum class StoreOpenFailure {
  kCannotInitialize,         // the library could not make a file object
  kCannotOpen,               // missing, unreadable or not an ESE database
  kNoCreationFormatVersion,  // the header cannot even say which engine wrote it
};

enum class CatalogResult { kComplete, kNoTables, kFailed };

// A record handed to a handler; null when the record could not be read.
using RecordHandler = std::function<void(libesedb_record_t* record, std::uint32_t record_number)>;

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

  // Opens the database read-only, finds the attachment table through the catalogue's callback
  // rows and reads the format version and revision.
  static OpenResult Open(const std::filesystem::path& path);

  StoreSession(const StoreSession&) = delete;
  StoreSession& operator=(const StoreSession&) = delete;
  ~StoreSession();

  // Lists every table with its folder key; keeps "Msg", "Mailbox", "Folders" and the attachment
  // table open. kFailed keeps the entries made so far.
  CatalogResult BuildTableCatalog();

  // Sets the store kind from the catalogue ("Mailbox" makes it private) and treats a store
  // with a "Msg" table as the older layout whatever its revision says.
  void RecogniseLayout();
  bool Is2010Layout() const { return format_revision_ > 16; }

  // Scans every catalogued table named exactly `name`: the column pass fills the directory,
  // the record pass hands each record to the handler that the table's name selects. Returns
  // false when some scan could not read its column names (the other scans still run).
  bool ScanNamedTable(std::u16string_view name, const NamedTableHandlers& handlers,
                      ScanContext context);

  // The same column pass and record pass over any open table, with the given lookup and
  // handler. Returns false when a column name cannot be read (no record is read then).
  bool ScanTable(libesedb_table_t* table, ColumnLookup lookup, const RecordHandler& handler,
                 ScanContext context);

  // The column pass: offers every column name to the lookup. False when a name is unreadable.
  bool FindColumns(libesedb_table_t* table, ColumnLookup lookup);

  // The record pass: hands every record to the handler (null when it cannot be read), moving
  // the progress bar 0, 1, ..., 100, 1, ... and back to 0 at the end.
  void ScanRecords(libesedb_table_t* table, const RecordHandler& handler, ScanContext context);

  // Reopens the first catalogued table named `name` as the current table, releasing the
  // previous current table; returns it, or null when no table has that name.
  libesedb_table_t* OpenTableByName(std::u16string_view name);
  libesedb_table_t* current_table() const { return current_table_.get(); }

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
  libesedb_table_t* message_table() const { return message_table_; }
  libesedb_table_t* attachment_table() const { return attachment_table_; }

  // The record the current scan is handing to its handler.
  std::uint32_t current_record_number() const { return current_record_number_; }

  libesedb_file_t* file() const { return file_.get(); }

 private:
  explicit StoreSession(EsedbFile file);
  void FindAttachmentTableName();
  bool HasTableNamed(std::u16string_view name) const;
  bool IsKeptOpen(std::u16string_view name) const;

  // Declared first so that it is closed after every table handle below is released.
  EsedbFile file_;
  TableCatalog catalog_;
  EsedbTable current_table_;
  ColumnDirectory columns_;
  libesedb_table_t* message_table_ = nullptr;     // owned by its catalogue entry
  libesedb_table_t* attachment_table_ = nullptr;  // owned by its catalogue entry
  std::u16string attachment_table_name_;
  std::uint32_t format_version_ = 0;
  std::uint32_t format_revision_ = 0;
  std::uint32_t creation_format_version_ = 0;
  std::uint32_t creation_format_revision_ = 0;
  StoreKind store_kind_ = StoreKind::kPublic;
  std::uint32_t current_record_number_ = 0;
};

}  // namespace tarvex
