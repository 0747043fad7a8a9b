#pragma once

// An ESE database opened read-only: its header, its catalogue and its tables. A table's
// records are numbered in key order from 0 as one walk of its tree finds them; that walk runs
// once, on first use, and keeps where each record lives, so that a record can be read again
// by its number. After a census of the file (the deep scan), the records only it found follow
// the live ones, each with its state.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "ese/catalog.h"
#include "ese/file_header.h"
#include "ese/long_value.h"
#include "ese/page_census.h"
#include "ese/record.h"
#include "ese/record_salvage.h"
#include "ese/space_tree.h"

namespace tarvex::ese {

class Database;

class Table {
 public:
  Table(Database& database, const TableSchema& schema);

  const TableSchema& schema() const { return schema_; }
  const std::u16string& name() const { return schema_.name; }
  const ColumnList& columns() const { return schema_.columns; }
  // The position of the first column named `name`, or none.
  std::optional<std::size_t> FindColumn(std::u16string_view name) const;

  std::uint32_t record_count() const;
  // None when the record cannot be read (counted in the database's report).
  std::optional<Record> ReadRecord(std::uint32_t number) const;
  // Where the record lives: its leaf page and entry; none past the last record.
  std::optional<RecordPosition> Position(std::uint32_t number) const;
  // Hands each record (none when it cannot be read) with its number to `visit`, in order;
  // `visit` returns false to stop.
  void ForEachRecord(
      const std::function<bool(std::uint32_t number, const Record* record)>& visit) const;
  // The same for the records numbered from `first` up to `last` (excluded), each page read once
  // for all its records.
  void ForEachRecordBetween(
      std::uint32_t first, std::uint32_t last,
      const std::function<bool(std::uint32_t number, const Record* record)>& visit) const;
  // The same with each record's state, as record_state gives it, without taking the table's
  // lock for each record (threads making rows of one table would wait on each other).
  void ForEachRecordWithStateBetween(
      std::uint32_t first, std::uint32_t last,
      const std::function<bool(std::uint32_t number, const Record* record, RecordState state)>&
          visit) const;

  // Null when the table has no long-value tree.
  const LongValues* long_values() const { return long_values_.get(); }
  // False when the walk of the table's tree met damage.
  bool walk_complete() const;
  RecordState record_state(std::uint32_t number) const;
  // Whether the table's records have been found (by a scan or a read), without finding them.
  bool has_been_read() const;
  // The records found, by state (all live without a census).
  TableRecovery recovery() const;
  // True when the table has been walked and the walk met damage; walks nothing itself.
  bool damage_met() const;

  const PageLayout& page_layout() const;

 private:
  void Locate() const;
  // The walk of the table's tree, with the census' salvage beside it when there is one;
  // `visit` sees each record as it is found (stopping keeps nothing).
  void Scan(const std::function<bool(std::uint32_t number, const Record* record)>& visit) const;

  Database& database_;
  const TableSchema& schema_;
  std::unique_ptr<LongValues> long_values_;
  // The first walk and the record positions are shared by the threads that read the table;
  // a handler may read the table again during its first scan, hence recursive.
  mutable std::recursive_mutex mutex_;
  mutable bool located_ = false;
  mutable bool scanning_ = false;
  mutable bool walk_complete_ = true;
  mutable std::vector<RecordPosition> positions_;
  mutable TableRecovery recovery_;
};

enum class OpenError {
  kCannotOpen,     // missing or unreadable
  kNotDatabase,    // no ESE header in either copy
};

class Database {
 public:
  struct OpenResult {
    std::unique_ptr<Database> database;
    std::optional<OpenError> error;
  };
  static OpenResult Open(const std::filesystem::path& path,
                         std::size_t cache_bytes = PageFile::kDefaultCacheBytes);

  // True when `path` holds an ESE header (either copy).
  static bool HasSignature(const std::filesystem::path& path);

  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const FileHeader& header() const { return header_; }
  const PageLayout& layout() const { return layout_; }
  const Catalog& catalog() const { return catalog_; }
  // One per catalogue table, in catalogue order.
  const std::vector<std::unique_ptr<Table>>& tables() const { return tables_; }
  // The first table named `name`, or null.
  Table* FindTable(std::u16string_view name) const;

  PageFile& file() const { return *file_; }
  const ReadReport& report() const { return file_->report(); }

  // The deep scan: reads every page once, before any table is read, so that the catalogue and
  // the tables' walks are joined by the rows on leaves their trees no longer reach (the
  // catalogue is read again, and the tables made anew). False when `progress` stopped it
  // (the database is then read as without it).
  bool TakeCensus(
      const std::function<bool(std::uint64_t done, std::uint64_t total)>& progress = {});
  // Null before TakeCensus.
  const PageCensus* census() const { return census_.get(); }
  // After TakeCensus: the pages the space trees call available, when the space of the tree
  // of `object_id` could be read; else null.
  const AvailablePages* AvailableSpaceOf(std::uint32_t object_id) const;

 private:
  Database() = default;

  FileHeader header_;
  PageLayout layout_;
  std::unique_ptr<PageFile> file_;
  Catalog catalog_;
  std::vector<std::unique_ptr<Table>> tables_;
  std::unique_ptr<PageCensus> census_;
  AvailablePages available_;
  std::unordered_set<std::uint32_t> readable_spaces_;
};

}  // namespace tarvex::ese
