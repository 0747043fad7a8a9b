#include "tools/edbforge/ese/database_writer.h"

#include <algorithm>

#include "base/utf_conversion.h"
#include "ese/byte_order.h"
#include "ese/format.h"
#include "tools/edbforge/ese/catalog.h"
#include "tools/edbforge/ese/ese_error.h"
#include "tools/edbforge/ese/file_header.h"
#include "tools/edbforge/ese/index_key.h"

namespace tarvex::edbforge {
namespace {

using ese::AppendBe32;
using ese::AppendLe32;

constexpr size_t kRecordKeySize = 5;

// Record keys look like the engine's key of an ascending Long column: 0x7f, then the number
// big-endian with its sign bit flipped.
std::vector<uint8_t> RecordKey(uint32_t number) {
  std::vector<uint8_t> key;
  key.push_back(ese::kKeyValuePresent);
  AppendBe32(key, number ^ 0x80000000U);
  return key;
}

// Long-value segments fill a page the way the engine's do (4014 bytes on 4 KiB pages).
size_t SegmentSize(const PageFormat& format) {
  return format.DataArea() - 42;
}

// The engine keeps LongText and LongBinary values up to this size in the record.
constexpr size_t kEngineInlineLimit = 1024;

size_t InlineLimit(const DatabaseOptions& options, const PageFormat& format) {
  if (options.inline_long_value_limit != 0) return options.inline_long_value_limit;
  return options.libesedb_long_value_layout ? format.DataArea() / 2 : kEngineInlineLimit;
}

// The fixed start of the file, as the engine lays it out: the database's own tree (its space
// trees behind it), the catalogue's first extent, then its shadow's.
constexpr PageExtent kCatalogExtent{ese::kCatalogRootPage, 20};
constexpr PageExtent kShadowExtent{ese::kCatalogShadowRootPage, 5};
constexpr uint32_t kFirstFreePage = kShadowExtent.first + kShadowExtent.count;
// Primary extents: a table's root and three pages behind it; a long-value tree, an index and
// a system table start with their root alone.
constexpr uint32_t kTablePrimaryPages = 4;
constexpr uint32_t kSmallPrimaryPages = 1;
// The database grows a megabyte at a time.
constexpr uint64_t kGrowthBytes = 1 << 20;

// Catalogue flags the engine gives its own tables besides kSystem and kFixedDdl.
constexpr uint32_t kObjectIdsFlags = 0xc8000000;
constexpr uint32_t kLocalesFlags = 0x88000000;

TableDefinition ObjectIdsDefinition() {
  TableDefinition definition;
  definition.name = u"MSysObjids";
  definition.columns = {{.name = u"objid", .type = ColumnType::kLong, .identifier = 256},
                        {.name = u"objidTable", .type = ColumnType::kLong, .identifier = 257},
                        {.name = u"type", .type = ColumnType::kShort, .identifier = 258}};
  return definition;
}

TableDefinition LocalesDefinition() {
  TableDefinition definition;
  definition.name = u"MSysLocales";
  definition.columns = {{.name = u"Type",
                         .type = ColumnType::kUnsignedByte,
                         .storage = ColumnStorage::kFixed,
                         .identifier = 1,
                         .not_null = true},
                        {.name = u"iValue",
                         .type = ColumnType::kLong,
                         .storage = ColumnStorage::kFixed,
                         .identifier = 2},
                        {.name = u"Key",
                         .type = ColumnType::kBinary,
                         .storage = ColumnStorage::kVariable,
                         .identifier = 128}};
  return definition;
}

std::vector<uint8_t> Utf16Bytes(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (const char16_t unit : text) ese::AppendLe16(bytes, unit);
  ese::AppendLe16(bytes, 0);
  return bytes;
}

// What the engine keeps in MSysLocales when no index sorts text: its schema versions, and
// that the table is consistent.
void WriteLocales(TableWriter& locales) {
  struct Row {
    uint8_t type;
    int32_t value;
    std::u16string key;
  };
  std::vector<Row> rows = {
      {1, 1, u".Schema\\External\\Major"},  {1, 0, u".Schema\\External\\Minor"},
      {1, 0, u".Schema\\External\\Update"}, {1, 1, u".Schema\\Internal\\Major"},
      {1, 0, u".Schema\\Internal\\Minor"},  {1, 0, u".Schema\\Internal\\Update"},
      {2, 1, u"MSysLocalesConsistent"}};
  const ColumnLayout& key_column = locales.layout().columns()[*locales.layout().Find(u"Key")];
  for (const Row& row : rows) {
    const Value key_value = Utf16Bytes(row.key);
    std::vector<uint8_t> key;
    AppendKeySegment(key, key_column, &key_value);
    locales.AppendKeyed(
        key,
        Record().Set(u"Type", row.type).Set(u"iValue", row.value).Set(u"Key", Utf16Bytes(row.key)));
  }
}

}  // namespace

TableWriter::TableWriter(PageFile& file, TableLayout layout, const TableDefinition& definition,
                         uint32_t object_id, size_t inline_limit, bool libesedb_layout,
                         bool two_value_form, uint32_t primary_pages)
    : file_(file),
      layout_(std::move(layout)),
      template_name_(definition.template_table),
      callback_(definition.callback),
      object_id_(object_id),
      inline_limit_(inline_limit),
      libesedb_layout_(libesedb_layout),
      two_value_form_(two_value_form),
      place_("table \"" + Utf16ToUtf8(definition.name) + "\""),
      records_(file, object_id, TreeKind::kRecords, TreeSpace(file, primary_pages), place_) {
  // Index trees take the object ids after the table's long-value tree.
  uint32_t index_object_id = object_id + 2;
  for (const IndexDefinition& index : definition.indexes) {
    Index entry;
    entry.name = index.name;
    entry.object_id = index_object_id++;
    for (const std::u16string& column : index.columns) {
      const std::optional<size_t> position = layout_.Find(column);
      if (!position) {
        throw EseWriteError(place_ + ", index \"" + Utf16ToUtf8(index.name) + "\": no column \"" +
                            Utf16ToUtf8(column) + "\"");
      }
      AppendKeySegment(entry.arena, layout_.columns()[*position], nullptr);  // checks the type
      entry.columns.push_back(*position);
    }
    entry.arena.clear();
    indexes_.push_back(std::move(entry));
  }
}

void TableWriter::AddIndexEntries(const Record& record, std::span<const uint8_t> record_key,
                                  bool deleted) {
  for (Index& index : indexes_) {
    const size_t offset = index.arena.size();
    for (const size_t position : index.columns) {
      const ColumnLayout& column = layout_.columns()[position];
      const Value* value = nullptr;
      for (const Record::Cell& cell : record.cells()) {
        if (cell.column == column.name && !cell.values.empty()) value = &cell.values.front();
      }
      AppendKeySegment(index.arena, column, value);
    }
    const auto key_size = static_cast<uint16_t>(std::min(index.arena.size() - offset, kKeyMost));
    index.arena.resize(offset + key_size);
    index.arena.insert(index.arena.end(), record_key.begin(), record_key.end());
    index.entries.push_back({offset, key_size, deleted});
  }
}

void TableWriter::WriteIndexes() {
  for (Index& index : indexes_) {
    const uint8_t* arena = index.arena.data();
    // Entries of one key keep their records' order: the engine orders repeated keys by the
    // record key in their data.
    std::stable_sort(index.entries.begin(), index.entries.end(),
                     [arena](const Index::Entry& left, const Index::Entry& right) {
                       const std::span<const uint8_t> left_key(arena + left.offset, left.key_size);
                       const std::span<const uint8_t> right_key(arena + right.offset,
                                                                right.key_size);
                       return std::lexicographical_compare(left_key.begin(), left_key.end(),
                                                           right_key.begin(), right_key.end());
                     });
    index.tree.emplace(file_, index.object_id, TreeKind::kIndex,
                       TreeSpace(file_, kSmallPrimaryPages),
                       place_ + ", index \"" + Utf16ToUtf8(index.name) + "\"");
    index.tree->set_non_unique_keys();
    index.tree->set_parent_page(records_.root_page());
    for (const Index::Entry& entry : index.entries) {
      const std::span<const uint8_t> key(arena + entry.offset, entry.key_size);
      const std::span<const uint8_t> bookmark(arena + entry.offset + entry.key_size,
                                              kRecordKeySize);
      index.tree->Append(key, bookmark, entry.deleted ? ese::tag_flag::kDeleted : uint8_t{0});
    }
    index.tree->Finish();
    index.arena = {};
    index.entries = {};
  }
}

void TableWriter::AppendKeyed(std::span<const uint8_t> key, const Record& record) {
  records_.Append(key, Encode(record));
}

std::vector<uint8_t> TableWriter::Encode(const Record& record) {
  const std::string place = place_ + ", record " + std::to_string(next_record_number_);
  return EncodeRecord(file_.format(), layout_, record, *this,
                      TreeWriter::MaxDataSize(file_.format(), kRecordKeySize), inline_limit_,
                      place, two_value_form_);
}

uint32_t TableWriter::Append(const Record& record) {
  const std::vector<uint8_t> key = RecordKey(next_record_number_);
  records_.Append(key, Encode(record));
  if (!indexes_.empty()) AddIndexEntries(record, key, false);
  return next_record_number_++;
}

uint32_t TableWriter::AppendDeleted(const Record& record) {
  const std::vector<uint8_t> key = RecordKey(next_record_number_);
  records_.Append(key, Encode(record), ese::tag_flag::kDeleted);
  // The engine flags the record's index entries deleted with it.
  if (!indexes_.empty()) AddIndexEntries(record, key, true);
  return next_record_number_++;
}

uint32_t TableWriter::AppendReleased(const Record& record, std::optional<uint32_t> copy_of) {
  const uint32_t number = copy_of.value_or(next_record_number_);
  released_.emplace_back(RecordKey(number), Encode(record));
  // A key of its own is skipped by the live records that follow.
  if (!copy_of) {
    released_numbers_.push_back(number);
    ++next_record_number_;
  }
  return number;
}

std::optional<uint32_t> TableWriter::PageOfRecord(uint32_t number) const {
  if (std::binary_search(released_numbers_.begin(), released_numbers_.end(), number)) {
    auto found = std::lower_bound(released_pages_.begin(), released_pages_.end(),
                                  std::make_pair(number, uint32_t{0}));
    if (found != released_pages_.end() && found->first == number) return found->second;
    return std::nullopt;
  }
  return records_.LeafPageOf(RecordKey(number));
}

void TableWriter::WriteReleasedPages() {
  std::sort(released_.begin(), released_.end());
  const PageFormat& format = file_.format();
  size_t next = 0;
  while (next < released_.size()) {
    std::vector<std::vector<uint8_t>> values(1);  // tag 0: no common key prefix
    size_t bytes = PageBytesNeeded(0, 1);
    for (; next < released_.size(); ++next) {
      const auto& [key, data] = released_[next];
      std::vector<uint8_t> value;
      ese::AppendLe16(value, static_cast<uint16_t>(key.size()));
      value.insert(value.end(), key.begin(), key.end());
      value.insert(value.end(), data.begin(), data.end());
      const size_t needed = PageBytesNeeded(value.size(), 1);
      if (values.size() > 1 && bytes + needed > format.DataArea()) break;
      bytes += needed;
      values.push_back(std::move(value));
    }
    PageHeaderFields header;
    header.page_number = records_.AllocateReleasedPage();
    header.fdp_object_id = object_id_;
    header.database_time = kReleasedPageTime;
    header.flags = format.BaseFlags() | ese::page_flag::kLeaf;
    file_.WritePage(header.page_number, BuildPage(format, header, values));
    for (size_t value = 1; value < values.size(); ++value) {
      const auto& key = released_[next - values.size() + value].first;
      released_pages_.emplace_back(ese::LoadBe32(key.data() + 1) ^ 0x80000000U, header.page_number);
    }
  }
  released_.clear();
  std::sort(released_pages_.begin(), released_pages_.end());
}

uint32_t TableWriter::StoreLongValue(const StoredValue& value) {
  const std::span<const uint8_t> bytes(value.bytes);
  const size_t segment = SegmentSize(file_.format());
  // The engine compresses a long value segment by segment; the writer takes one segment.
  if (value.compressed && (value.uncompressed_size == 0 || bytes.size() > segment)) {
    throw EseWriteError(place_ + ": a compressed long value must fit one segment of " +
                        std::to_string(segment) + " bytes and give its uncompressed size");
  }
  if (!long_values_) {
    long_values_ = std::make_unique<TreeWriter>(
        file_, object_id_ + 1,
        libesedb_layout_ ? TreeKind::kLongValues : TreeKind::kEngineLongValues,
        TreeSpace(file_, kSmallPrimaryPages), place_ + " long values");
  }
  const uint32_t id = libesedb_layout_ ? LongValueId(long_value_count_++) : ++long_value_count_;
  // The reader finds the root under the identifier big-endian, and the segments under the
  // identifier followed by their offset in the whole value.
  std::vector<uint8_t> key;
  AppendBe32(key, id);
  std::vector<uint8_t> root;
  AppendLe32(root, 1);  // reference count
  AppendLe32(root, static_cast<uint32_t>(value.ValueSize()));
  // The engine keeps a long value's root on the page of its first segment.
  long_values_->Append(key, root, 0, !libesedb_layout_);
  for (size_t offset = 0; offset < bytes.size(); offset += segment) {
    std::vector<uint8_t> segment_key = key;
    AppendBe32(segment_key, static_cast<uint32_t>(offset));
    long_values_->Append(segment_key,
                         bytes.subspan(offset, std::min(segment, bytes.size() - offset)));
  }
  return id;
}

EseDatabaseWriter::EseDatabaseWriter(std::filesystem::path path, DatabaseOptions options)
    : path_(std::move(path)),
      format_{options.page_size, options.format_revision, options.older_record_format},
      inline_limit_(InlineLimit(options, format_)),
      libesedb_layout_(options.libesedb_long_value_layout),
      two_value_form_(options.engine_two_value_form && !options.libesedb_long_value_layout) {
  CheckPageFormat(format_);
  file_ = std::make_unique<PageFile>(path_, format_, kFirstFreePage);
  catalog_space_.emplace(*file_, kCatalogExtent, true);
  shadow_space_.emplace(*file_, kShadowExtent, true);
  const auto system_table = [&](const TableDefinition& definition, uint32_t object_id,
                                uint32_t flags) {
    auto table = std::unique_ptr<TableWriter>(
        new TableWriter(*file_, TableLayout::Build(definition, nullptr), definition, object_id,
                        inline_limit_, libesedb_layout_, two_value_form_, kSmallPrimaryPages));
    table->flags_ = flags;
    return table;
  };
  // Object ids 4 and 5 are the catalogue's own indexes in the engine's files.
  object_ids_ = system_table(ObjectIdsDefinition(), 6, kObjectIdsFlags);
  locales_ = system_table(LocalesDefinition(), 7, kLocalesFlags);
}

EseDatabaseWriter::~EseDatabaseWriter() = default;

TableWriter* EseDatabaseWriter::FindTable(std::u16string_view name) {
  const auto found = table_index_.find(std::u16string(name));
  return found == table_index_.end() ? nullptr : tables_[found->second].get();
}

TableWriter& EseDatabaseWriter::AddTable(const TableDefinition& definition) {
  if (finished_) throw EseWriteError(path_.string() + ": the database is already finished");
  if (FindTable(definition.name) != nullptr || definition.name == u"MSysObjects" ||
      definition.name == u"MSysObjectsShadow" || definition.name == u"MSysObjids" ||
      definition.name == u"MSysLocales") {
    throw EseWriteError("table \"" + Utf16ToUtf8(definition.name) + "\" is declared twice");
  }
  const TableLayout* template_layout = nullptr;
  if (!definition.template_table.empty()) {
    const TableWriter* base = FindTable(definition.template_table);
    if (base == nullptr) {
      throw EseWriteError("table \"" + Utf16ToUtf8(definition.name) + "\": template table \"" +
                          Utf16ToUtf8(definition.template_table) + "\" was not added before");
    }
    template_layout = &base->layout();
  }
  TableLayout layout = TableLayout::Build(definition, template_layout);
  // Each table takes an object id, its long-value tree the next, its indexes those after.
  const uint32_t object_id = next_object_id_;
  next_object_id_ += 2 + static_cast<uint32_t>(definition.indexes.size());
  tables_.push_back(std::unique_ptr<TableWriter>(
      new TableWriter(*file_, std::move(layout), definition, object_id, inline_limit_,
                      libesedb_layout_, two_value_form_, kTablePrimaryPages)));
  table_index_.emplace(definition.name, tables_.size() - 1);
  return *tables_.back();
}

void EseDatabaseWriter::ReserveCatalogPages() {
  // A catalogue row takes about 100 bytes with its tag: one per table, column, index,
  // long-value tree and callback, with room to spare. What the first extents do not hold
  // goes to one more extent for each copy, right here.
  size_t rows = 16;
  for (const auto& table : tables_) {
    rows += 3 + table->layout_.columns().size() + table->indexes_.size();
  }
  const auto pages = static_cast<uint32_t>(rows * 100 / format_.DataArea() + 2);
  const auto reserve = [&](TreeSpace& space, const PageExtent& first) {
    const uint32_t free_in_first = first.count - 3;
    if (pages <= free_in_first) return;
    const uint32_t more = pages - free_in_first + pages / 4;
    space.AddExtent({file_->AllocateExtent(more), more});
  };
  reserve(*catalog_space_, kCatalogExtent);
  reserve(*shadow_space_, kShadowExtent);
}

void EseDatabaseWriter::Finish() {
  if (finished_) throw EseWriteError(path_.string() + ": Finish() called twice");
  finished_ = true;
  std::vector<CatalogTable> catalog_tables;
  const auto finish_table = [&](TableWriter& table) {
    CatalogTable entry;
    entry.layout = &table.layout_;
    entry.tree.object_id = table.object_id_;
    table.WriteReleasedPages();
    entry.tree.root_page = table.records_.Finish();
    entry.tree.pages = table.records_.space().owned().front().count;
    if (table.long_values_) {
      table.long_values_->set_parent_page(entry.tree.root_page);
      CatalogTree long_values;
      long_values.object_id = table.object_id_ + 1;
      long_values.root_page = table.long_values_->Finish();
      long_values.pages = table.long_values_->space().owned().front().count;
      entry.long_values = long_values;
    }
    table.WriteIndexes();
    for (const TableWriter::Index& index : table.indexes_) {
      CatalogIndex written;
      written.name = index.name;
      written.tree = {index.object_id, index.tree->root_page(),
                      index.tree->space().owned().front().count};
      for (const size_t position : index.columns) {
        written.columns.push_back(table.layout_.columns()[position].identifier);
      }
      entry.indexes.push_back(std::move(written));
    }
    entry.flags = table.flags_;
    if (table.layout_.is_template()) {
      entry.flags |= ese::table_flag::kTemplate | ese::table_flag::kFixedDdl;
    }
    if (!table.template_name_.empty()) entry.flags |= ese::table_flag::kDerived;
    entry.template_name = table.template_name_;
    entry.callback = table.callback_;
    catalog_tables.push_back(std::move(entry));
  };

  // MSysObjids lists every table and index by object id, the catalogue's own first.
  std::vector<std::tuple<uint32_t, uint32_t, int16_t>> objects = {
      {ese::kCatalogObjectId, ese::kCatalogObjectId, ese::catalog_type::kTable},
      {ese::kCatalogShadowObjectId, ese::kCatalogShadowObjectId, ese::catalog_type::kTable},
      {object_ids_->object_id_, object_ids_->object_id_, ese::catalog_type::kTable},
      {locales_->object_id_, locales_->object_id_, ese::catalog_type::kTable}};
  for (const auto& table : tables_) {
    objects.emplace_back(table->object_id_, table->object_id_, ese::catalog_type::kTable);
    for (const TableWriter::Index& index : table->indexes_) {
      objects.emplace_back(index.object_id, table->object_id_, ese::catalog_type::kIndex);
    }
  }
  for (const auto& [object, table, type] : objects) {
    object_ids_->AppendKeyed(RecordKey(object), Record()
                                                    .Set(u"objid", static_cast<int32_t>(object))
                                                    .Set(u"objidTable", static_cast<int32_t>(table))
                                                    .Set(u"type", type));
  }
  WriteLocales(*locales_);
  finish_table(*object_ids_);
  catalog_tables.back().primary_index = CatalogIndex{u"primary", {}, {256}};
  finish_table(*locales_);
  catalog_tables.back().primary_index = CatalogIndex{u"KeyPrimary", {}, {128}};
  for (const auto& table : tables_) finish_table(*table);

  const TableLayout catalog = CatalogLayout(format_.revision);
  const CatalogTree objects_tree_row{ese::kCatalogObjectId, ese::kCatalogRootPage,
                                     kCatalogExtent.count};
  const CatalogTree shadow_tree_row{ese::kCatalogShadowObjectId, ese::kCatalogShadowRootPage,
                                    kShadowExtent.count};
  const auto rows =
      BuildCatalogRows(format_, catalog, objects_tree_row, shadow_tree_row, catalog_tables);
  TreeWriter objects_tree(*file_, ese::kCatalogObjectId, TreeKind::kRecords,
                          std::move(*catalog_space_), "catalog");
  TreeWriter shadow_tree(*file_, ese::kCatalogShadowObjectId, TreeKind::kRecords,
                         std::move(*shadow_space_), "catalog shadow");
  for (const CatalogRow& row : rows) {
    objects_tree.Append(row.key, row.data);
    shadow_tree.Append(row.key, row.data);
  }
  objects_tree.Finish();
  shadow_tree.Finish();

  // The database's own tree (object 1) owns the whole file; what no tree took is free.
  const uint64_t pages_per_growth = std::max<uint64_t>(1, kGrowthBytes / format_.page_size);
  const uint64_t file_pages =
      (file_->AllocatedEnd() + 2 + pages_per_growth - 1) / pages_per_growth * pages_per_growth;
  const auto database_pages = static_cast<uint32_t>(file_pages - 2);
  TreeSpace database_space(*file_, {ese::kDatabaseRootPage, database_pages}, true);
  database_space.UseThrough(file_->AllocatedEnd());
  TreeWriter database_tree(*file_, 1, TreeKind::kRecords, std::move(database_space),
                           "database root");
  database_tree.set_parent_page(0);
  database_tree.Finish();
  file_->ExtendTo(database_pages);

  file_->WriteHeaders(BuildFileHeader(format_, next_object_id_ - 1));
  file_->Commit();
}

}  // namespace tarvex::edbforge
