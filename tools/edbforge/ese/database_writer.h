#pragma once

// Writes an ESE database (format 0x620) laid out as the engine lays it out, which libesedb
// reads back exactly but for the long values (see DatabaseOptions).
//
//   EseDatabaseWriter writer(path, {.page_size = 8192, .format_revision = 20});
//   TableWriter& folders = writer.AddTable(folders_definition);
//   folders.Append(Record().Set(u"S3001", std::u16string(u"Inbox")));
//   writer.Finish();
//
// Records are appended in key order (the order the reader lists them) and written out as pages
// fill, so tables of millions of records need little memory (index entries excepted: they are
// kept until their table is finished, and then written in their own order). Every tree owns
// its space as the engine keeps it (tree_space.h). Tables may be filled in any
// interleaving. Nothing appears at `path` until Finish() succeeds; a writer destroyed before
// that removes its temporary file. Errors throw EseWriteError.
//
// What libesedb 20181229 then reports:
// - tables in the order they were added, after MSysObjects, MSysObjectsShadow, MSysObjids and
//   MSysLocales; columns in identifier order, a derived table's template columns first; each
//   table's secondary indexes;
// - every fixed column up to the highest one set (or set to null) in a record, unset ones as
//   the engine fills them ('*' bytes);
// - an empty variable or tagged value as no value;
// - a multi-valued column given one value as a plain value;
// - separated long values through libesedb_record_get_long_value only in the layout laid out
//   for that reader (DatabaseOptions::libesedb_long_value_layout; see tree_writer.h); in the
//   engine's layout it finds none;
// - tables with an SLV (type 13) column listed, but their records unreadable.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/edbforge/ese/page_file.h"
#include "tools/edbforge/ese/record_encoder.h"
#include "tools/edbforge/ese/schema.h"
#include "tools/edbforge/ese/table_layout.h"
#include "tools/edbforge/ese/tree_writer.h"
#include "tools/edbforge/ese/value.h"

namespace tarvex::edbforge {

class TableWriter : private LongValueSink {
 public:
  TableWriter(const TableWriter&) = delete;
  TableWriter& operator=(const TableWriter&) = delete;

  // Appends a live record; returns its number, which is its key.
  uint32_t Append(const Record& record);
  // Appends a record flagged deleted, as the engine leaves one on its page until cleanup.
  uint32_t AppendDeleted(const Record& record);
  // Puts a record on a leaf page of this table that its tree does not reach, as a page released
  // to free space still holds its records: under the key of the earlier record `copy_of` (an
  // older copy of it), or under a key of its own. Returns its number.
  uint32_t AppendReleased(const Record& record, std::optional<uint32_t> copy_of = std::nullopt);

  // Appends a live record under a key of the caller's (a system table's, keyed by its
  // columns); keys rise strictly, and such records have no number.
  void AppendKeyed(std::span<const uint8_t> key, const Record& record);

  const TableLayout& layout() const { return layout_; }
  uint32_t object_id() const { return object_id_; }
  uint64_t record_count() const { return records_.entry_count(); }
  // After the database is finished: the leaf page that holds record `number` (a released
  // record's own page; for a key with an older copy, the live record's page).
  std::optional<uint32_t> PageOfRecord(uint32_t number) const;

 private:
  friend class EseDatabaseWriter;
  struct Index {
    std::u16string name;
    uint32_t object_id = 0;
    std::vector<size_t> columns;  // positions in the layout
    // Entries as they come (index key, record key, deleted), sorted when written: records
    // arrive in their own key order, not the index's.
    std::vector<uint8_t> arena;
    struct Entry {
      size_t offset = 0;
      uint16_t key_size = 0;
      bool deleted = false;
    };
    std::vector<Entry> entries;
    std::optional<TreeWriter> tree;
  };

  TableWriter(PageFile& file, TableLayout layout, const TableDefinition& definition,
              uint32_t object_id, size_t inline_limit, bool libesedb_layout, bool two_value_form,
              uint32_t primary_pages);

  uint32_t StoreLongValue(const StoredValue& value) override;
  std::vector<uint8_t> Encode(const Record& record);
  // Notes the record's entries in every index.
  void AddIndexEntries(const Record& record, std::span<const uint8_t> record_key, bool deleted);
  // Writes the index trees, each in its own space; after the table's tree is finished.
  void WriteIndexes();
  // Writes the released records on leaf pages of their own, linked to nothing.
  void WriteReleasedPages();

  PageFile& file_;
  TableLayout layout_;
  std::u16string template_name_;
  std::optional<std::u16string> callback_;
  uint32_t object_id_;
  size_t inline_limit_;
  bool libesedb_layout_;
  bool two_value_form_;
  std::string place_;
  TreeWriter records_;
  std::unique_ptr<TreeWriter> long_values_;
  uint32_t long_value_count_ = 0;
  uint32_t next_record_number_ = 1;
  std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> released_;  // key, data
  std::vector<uint32_t> released_numbers_;  // records that live only on released pages
  std::vector<std::pair<uint32_t, uint32_t>> released_pages_;  // record number, page
  std::vector<Index> indexes_;
  uint32_t flags_ = 0;  // catalogue flags of a system table
};

class EseDatabaseWriter {
 public:
  EseDatabaseWriter(std::filesystem::path path, DatabaseOptions options);
  ~EseDatabaseWriter();
  EseDatabaseWriter(const EseDatabaseWriter&) = delete;
  EseDatabaseWriter& operator=(const EseDatabaseWriter&) = delete;

  // Declares a table; the returned writer lives as long as this object. A template table must
  // be added before the tables derived from it.
  TableWriter& AddTable(const TableDefinition& definition);
  TableWriter* FindTable(std::u16string_view name);

  // Sets pages aside near the start of the file for the catalogue of the tables added so far,
  // as the engine's catalogue lives in the first extents: a file cut short keeps it.
  void ReserveCatalogPages();

  // Writes the catalog and the headers and moves the file into place.
  void Finish();

 private:
  std::filesystem::path path_;
  PageFormat format_;
  size_t inline_limit_;
  bool libesedb_layout_;
  bool two_value_form_;
  std::unique_ptr<PageFile> file_;
  std::optional<TreeSpace> catalog_space_;
  std::optional<TreeSpace> shadow_space_;
  // MSysObjids and MSysLocales, the engine's own tables after the catalogue's.
  std::unique_ptr<TableWriter> object_ids_;
  std::unique_ptr<TableWriter> locales_;
  std::vector<std::unique_ptr<TableWriter>> tables_;
  std::unordered_map<std::u16string, size_t> table_index_;
  uint32_t next_object_id_ = kFirstUserObjectId;
  static constexpr uint32_t kFirstUserObjectId = 8;
  bool finished_ = false;
};

}  // namespace tarvex::edbforge
