#include "tools/edbforge/ese/database_writer.h"

#include <algorithm>

#include "base/utf_conversion.h"
#include "ese/byte_order.h"
#include "ese/format.h"
#include "tools/edbforge/ese/catalog.h"
#include "tools/edbforge/ese/ese_error.h"
#include "tools/edbforge/ese/file_header.h"

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

}  // namespace

TableWriter::TableWriter(PageFile& file, TableLayout layout, const TableDefinition& definition,
                         uint32_t object_id, size_t inline_limit, bool libesedb_layout,
                         bool two_value_form)
    : file_(file),
      layout_(std::move(layout)),
      template_name_(definition.template_table),
      callback_(definition.callback),
      object_id_(object_id),
      inline_limit_(inline_limit),
      libesedb_layout_(libesedb_layout),
      two_value_form_(two_value_form),
      place_("table \"" + Utf16ToUtf8(definition.name) + "\""),
      records_(file, object_id, TreeKind::kRecords, std::nullopt, place_) {}

std::vector<uint8_t> TableWriter::Encode(const Record& record) {
  const std::string place = place_ + ", record " + std::to_string(next_record_number_);
  return EncodeRecord(file_.format(), layout_, record, *this,
                      TreeWriter::MaxDataSize(file_.format(), kRecordKeySize), inline_limit_,
                      place, two_value_form_);
}

uint32_t TableWriter::Append(const Record& record) {
  records_.Append(RecordKey(next_record_number_), Encode(record));
  return next_record_number_++;
}

uint32_t TableWriter::AppendDeleted(const Record& record) {
  records_.Append(RecordKey(next_record_number_), Encode(record), ese::tag_flag::kDeleted);
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
    header.page_number = file_.AllocatePage();
    header.fdp_object_id = object_id_;
    header.database_time = kReleasedPageTime;
    header.flags = format.BaseFlags() | ese::page_flag::kLeaf;
    file_.WritePage(header.page_number, BuildPage(format, header, values));
    for (size_t value = 1; value < values.size(); ++value) {
      const auto& key = released_[next - values.size() + value].first;
      released_pages_.emplace_back(ese::LoadBe32(key.data() + 1) ^ 0x80000000U,
                                   header.page_number);
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
        libesedb_layout_ ? TreeKind::kLongValues : TreeKind::kEngineLongValues, std::nullopt,
        place_ + " long values");
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
  file_ = std::make_unique<PageFile>(path_, format_);
}

EseDatabaseWriter::~EseDatabaseWriter() = default;

TableWriter* EseDatabaseWriter::FindTable(std::u16string_view name) {
  const auto found = table_index_.find(std::u16string(name));
  return found == table_index_.end() ? nullptr : tables_[found->second].get();
}

TableWriter& EseDatabaseWriter::AddTable(const TableDefinition& definition) {
  if (finished_) throw EseWriteError(path_.string() + ": the database is already finished");
  if (FindTable(definition.name) != nullptr || definition.name == u"MSysObjects" ||
      definition.name == u"MSysObjectsShadow") {
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
  // Each table takes two object ids: its own and its long-value tree's.
  const uint32_t object_id = next_object_id_;
  next_object_id_ += 2;
  tables_.push_back(std::unique_ptr<TableWriter>(new TableWriter(
      *file_, std::move(layout), definition, object_id, inline_limit_, libesedb_layout_,
      two_value_form_)));
  table_index_.emplace(definition.name, tables_.size() - 1);
  return *tables_.back();
}

void EseDatabaseWriter::ReserveCatalogPages() {
  // A catalogue row takes about 100 bytes with its tag: one per table, column, long-value
  // tree and callback; both copies, with room to spare.
  size_t rows = 8;
  for (const auto& table : tables_) rows += 3 + table->layout_.columns().size();
  const size_t pages_per_copy = rows * 100 / format_.DataArea() + 2;
  file_->Reserve(static_cast<uint32_t>(pages_per_copy * 2 + pages_per_copy / 2));
}

void EseDatabaseWriter::Finish() {
  if (finished_) throw EseWriteError(path_.string() + ": Finish() called twice");
  finished_ = true;
  std::vector<CatalogTable> catalog_tables;
  for (const auto& table : tables_) {
    CatalogTable entry;
    entry.layout = &table->layout_;
    entry.tree.object_id = table->object_id_;
    entry.tree.root_page = table->records_.Finish();
    table->WriteReleasedPages();
    entry.tree.pages = table->records_.page_count();
    if (table->long_values_) {
      table->long_values_->set_parent_page(entry.tree.root_page);
      CatalogTree long_values;
      long_values.object_id = table->object_id_ + 1;
      long_values.root_page = table->long_values_->Finish();
      long_values.pages = table->long_values_->page_count();
      entry.long_values = long_values;
    }
    if (table->layout_.is_template()) {
      entry.flags |= ese::table_flag::kTemplate | ese::table_flag::kFixedDdl;
    }
    if (!table->template_name_.empty()) entry.flags |= ese::table_flag::kDerived;
    entry.template_name = table->template_name_;
    entry.callback = table->callback_;
    catalog_tables.push_back(std::move(entry));
  }

  const TableLayout catalog = CatalogLayout(format_.revision);
  // Both catalog copies hold the same rows; their page counts are only known once written,
  // so the counts recorded are those of a first layout pass.
  const CatalogTree objects{ese::kCatalogObjectId, ese::kCatalogRootPage, 1};
  const CatalogTree shadow{ese::kCatalogShadowObjectId, ese::kCatalogShadowRootPage, 1};
  const auto rows = BuildCatalogRows(format_, catalog, objects, shadow, catalog_tables);
  TreeWriter objects_tree(*file_, objects.object_id, TreeKind::kRecords, objects.root_page,
                          "catalog");
  TreeWriter shadow_tree(*file_, shadow.object_id, TreeKind::kRecords, shadow.root_page,
                         "catalog shadow");
  objects_tree.use_reserved_pages();
  shadow_tree.use_reserved_pages();
  for (const CatalogRow& row : rows) {
    objects_tree.Append(row.key, row.data);
    shadow_tree.Append(row.key, row.data);
  }
  objects_tree.Finish();
  shadow_tree.Finish();

  // The database's own tree (object 1) lives at its fixed root, empty.
  TreeWriter database_tree(*file_, 1, TreeKind::kRecords, ese::kDatabaseRootPage, "database root");
  database_tree.Finish();

  file_->WriteHeaders(BuildFileHeader(format_, next_object_id_ - 1));
  file_->Commit();
}

}  // namespace tarvex::edbforge
