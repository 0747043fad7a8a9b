#include "ese/catalog.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "base/code_page_1252.h"
#include "ese/byte_order.h"
#include "ese/page_census.h"
#include "ese/record.h"

namespace tarvex::ese {
namespace {

ColumnSchema CatalogColumn(const char16_t* name, std::uint32_t identifier, ColumnType type) {
  ColumnSchema column;
  column.name = name;
  column.identifier = identifier;
  column.type = type;
  column.fixed_size = NaturalSize(type);
  if (type == ColumnType::kText || type == ColumnType::kLongText) column.code_page = kCodePageWestern;
  return column;
}

const TableSchema& CatalogSchema() {
  static const TableSchema schema = [] {
    TableSchema table;
    table.name = u"MSysObjects";
    table.object_id = kCatalogObjectId;
    table.root_page = kCatalogRootPage;
    table.columns = ColumnList(nullptr, CatalogColumns());
    return table;
  }();
  return schema;
}

// One row of the catalogue, as far as the reader needs it.
struct CatalogRow {
  std::uint32_t object_id = 0;
  std::uint16_t type = 0;
  std::uint32_t id = 0;
  std::uint32_t coltyp_or_page = 0;
  std::uint32_t space_usage = 0;
  std::uint32_t flags = 0;
  std::uint32_t pages_or_locale = 0;
  std::uint32_t record_offset = 0;
  std::u16string name;
  std::u16string template_name;
  std::optional<std::vector<std::uint8_t>> default_value;
  std::vector<std::uint8_t> key_columns;
};

using RowKey = std::tuple<std::uint32_t, std::uint16_t, std::uint32_t>;

std::optional<std::uint32_t> Unsigned(const Record& record, std::size_t position) {
  const std::optional<StoredValue> value = record.Value(position);
  if (!value || !value->present) return std::nullopt;
  const auto& bytes = value->bytes;
  if (bytes.size() == 4) return LoadLe32(bytes.data());
  if (bytes.size() == 2) return LoadLe16(bytes.data());
  if (bytes.size() == 1) return bytes[0];
  return std::nullopt;
}

std::u16string Text(const Record& record, std::size_t position) {
  const std::optional<StoredValue> value = record.Value(position);
  if (!value || !value->present) return {};
  std::string_view text(reinterpret_cast<const char*>(value->bytes.data()), value->bytes.size());
  return Windows1252ToUtf16(text.substr(0, text.find('\0')));
}

// Positions of the catalogue's columns in CatalogColumns().
std::size_t Position(std::uint32_t identifier) {
  const auto& columns = CatalogColumns();
  for (std::size_t position = 0; position < columns.size(); ++position) {
    if (columns[position].identifier == identifier) return position;
  }
  return columns.size();
}

std::optional<CatalogRow> ReadRow(const Record& record) {
  const std::optional<std::uint32_t> object_id = Unsigned(record, Position(catalog_column::kObjidTable));
  const std::optional<std::uint32_t> type = Unsigned(record, Position(catalog_column::kType));
  const std::optional<std::uint32_t> id = Unsigned(record, Position(catalog_column::kId));
  if (!object_id || !type || !id) return std::nullopt;
  CatalogRow row;
  row.object_id = *object_id;
  row.type = static_cast<std::uint16_t>(*type);
  row.id = *id;
  row.coltyp_or_page = Unsigned(record, Position(catalog_column::kColtypOrPgnoFDP)).value_or(0);
  row.space_usage = Unsigned(record, Position(catalog_column::kSpaceUsage)).value_or(0);
  row.flags = Unsigned(record, Position(catalog_column::kFlags)).value_or(0);
  row.pages_or_locale = Unsigned(record, Position(catalog_column::kPagesOrLocale)).value_or(0);
  row.record_offset = Unsigned(record, Position(catalog_column::kRecordOffset)).value_or(0);
  row.name = Text(record, Position(catalog_column::kName));
  row.template_name = Text(record, Position(catalog_column::kTemplateTable));
  if (const auto value = record.Value(Position(catalog_column::kDefaultValue));
      value && value->present) {
    row.default_value.emplace(value->bytes.begin(), value->bytes.end());
  }
  if (const auto value = record.Value(Position(catalog_column::kKeyFldIDs));
      value && value->present) {
    row.key_columns.assign(value->bytes.begin(), value->bytes.end());
  }
  return row;
}

// Reads one copy of the catalogue into `rows` (rows already there win). False when pages or
// rows of this copy were lost.
bool ReadCopy(PageFile& file, const PageLayout& layout, std::uint32_t root_page,
              std::uint32_t object_id, std::map<RowKey, CatalogRow>& rows) {
  const Tree tree(file, layout, root_page, object_id);
  bool complete = true;
  const bool walked = tree.ForEachLeafEntry([&](const Page& page, std::size_t index,
                                                const PageEntry& entry) {
    const std::optional<Record> record =
        Record::Parse(CatalogSchema(), layout, entry.data, page.record_format());
    std::optional<CatalogRow> row = record ? ReadRow(*record) : std::nullopt;
    if (!row) {
      file.ReportUnreadableRecord(page.number(), index);
      complete = false;
      return true;
    }
    rows.try_emplace(RowKey{row->object_id, row->type, row->id}, std::move(*row));
    return true;
  });
  return walked && complete;
}

ColumnSchema ColumnFromRow(const CatalogRow& row) {
  ColumnSchema column;
  column.name = row.name;
  column.identifier = row.id;
  column.type = static_cast<ColumnType>(row.coltyp_or_page);
  column.flags = row.flags;
  column.code_page = row.pages_or_locale;
  column.record_offset = row.record_offset;
  column.default_value = row.default_value;
  if (column.storage() == ColumnStorage::kFixed) {
    const std::uint32_t natural = NaturalSize(column.type);
    column.fixed_size = natural != 0 ? natural : row.space_usage;
  }
  return column;
}

// Key columns: 4 bytes each, the column identifier in the upper two (little-endian).
IndexSchema IndexFromRow(const CatalogRow& row) {
  IndexSchema index;
  index.name = row.name;
  index.object_id = row.id;
  index.root_page = row.coltyp_or_page;
  for (std::size_t at = 0; at + 4 <= row.key_columns.size(); at += 4) {
    index.key_columns.push_back(LoadLe16(row.key_columns.data() + at + 2));
  }
  return index;
}

// Fixed columns whose record offset the catalogue does not give follow each other in
// identifier order behind the record header (and behind a template's fixed columns).
void PlaceFixedColumns(std::vector<ColumnSchema>& columns, std::uint32_t offset) {
  std::vector<ColumnSchema*> fixed;
  for (ColumnSchema& column : columns) {
    if (column.storage() == ColumnStorage::kFixed) fixed.push_back(&column);
  }
  std::sort(fixed.begin(), fixed.end(),
            [](const ColumnSchema* left, const ColumnSchema* right) {
              return left->identifier < right->identifier;
            });
  for (ColumnSchema* column : fixed) {
    if (column->record_offset == 0) column->record_offset = offset;
    offset = column->record_offset + column->fixed_size;
  }
}

std::uint32_t EndOfFixedColumns(const std::vector<ColumnSchema>& columns) {
  std::uint32_t end = record::kHeaderSize;
  for (const ColumnSchema& column : columns) {
    if (column.storage() == ColumnStorage::kFixed) {
      end = std::max(end, column.record_offset + column.fixed_size);
    }
  }
  return end;
}

}  // namespace

ColumnList::ColumnList(std::shared_ptr<const std::vector<ColumnSchema>> inherited,
                       std::vector<ColumnSchema> own)
    : inherited_(std::move(inherited)),
      own_(std::make_shared<const std::vector<ColumnSchema>>(std::move(own))) {}

ColumnStorage ColumnSchema::storage() const {
  if (identifier <= record::kLastFixed) return ColumnStorage::kFixed;
  if (identifier <= record::kLastVariable) return ColumnStorage::kVariable;
  return ColumnStorage::kTagged;
}

const std::vector<ColumnSchema>& CatalogColumns() {
  static const std::vector<ColumnSchema> columns = [] {
    using enum ColumnType;
    namespace c = catalog_column;
    std::vector<ColumnSchema> list{
        CatalogColumn(u"ObjidTable", c::kObjidTable, kLong),
        CatalogColumn(u"Type", c::kType, kShort),
        CatalogColumn(u"Id", c::kId, kLong),
        CatalogColumn(u"ColtypOrPgnoFDP", c::kColtypOrPgnoFDP, kLong),
        CatalogColumn(u"SpaceUsage", c::kSpaceUsage, kLong),
        CatalogColumn(u"Flags", c::kFlags, kLong),
        CatalogColumn(u"PagesOrLocale", c::kPagesOrLocale, kLong),
        CatalogColumn(u"RootFlag", c::kRootFlag, kBit),
        CatalogColumn(u"RecordOffset", c::kRecordOffset, kShort),
        CatalogColumn(u"LCMapFlags", c::kLCMapFlags, kLong),
        CatalogColumn(u"KeyMost", c::kKeyMost, kUnsignedShort),
        CatalogColumn(u"LVChunkMax", c::kLVChunkMax, kLong),
        CatalogColumn(u"Name", c::kName, kText),
        CatalogColumn(u"Stats", c::kStats, kBinary),
        CatalogColumn(u"TemplateTable", c::kTemplateTable, kText),
        CatalogColumn(u"DefaultValue", c::kDefaultValue, kBinary),
        CatalogColumn(u"KeyFldIDs", c::kKeyFldIDs, kBinary),
        CatalogColumn(u"VarSegMac", c::kVarSegMac, kBinary),
        CatalogColumn(u"ConditionalColumns", c::kConditionalColumns, kBinary),
        CatalogColumn(u"TupleLimits", c::kTupleLimits, kBinary),
        CatalogColumn(u"Version", c::kVersion, kBinary),
        CatalogColumn(u"SortID", c::kSortID, kBinary),
        CatalogColumn(u"CallbackData", c::kCallbackData, kLongBinary),
        CatalogColumn(u"CallbackDependencies", c::kCallbackDependencies, kLongBinary),
        CatalogColumn(u"SeparateLV", c::kSeparateLV, kLongBinary),
        CatalogColumn(u"SpaceHints", c::kSpaceHints, kLongBinary),
        CatalogColumn(u"SpaceDeferredLVHints", c::kSpaceDeferredLVHints, kLongBinary),
        CatalogColumn(u"LocaleName", c::kLocaleName, kLongBinary),
    };
    // The fixed columns follow each other in identifier order behind the record header.
    PlaceFixedColumns(list, record::kHeaderSize);
    return list;
  }();
  return columns;
}

// The deep scan's addition: rows on every catalogue leaf whose checksum holds, of either copy,
// where the walks did not already find them (a lost branch page hides its leaves from them).
void ReadCensusRows(PageFile& file, const PageLayout& layout, const PageCensus& census,
                    std::map<RowKey, CatalogRow>& rows) {
  for (std::uint32_t object_id : {kCatalogObjectId, kCatalogShadowObjectId}) {
    for (const CensusPage& leaf : census.LeavesOf(object_id)) {
      if (!leaf.checksum_matches) continue;
      const std::optional<Page> page = Page::Parse(layout, leaf.number, file.Read(leaf.number));
      if (!page) continue;
      for (std::size_t index = 0; index < page->entry_count(); ++index) {
        const std::optional<PageEntry> entry = page->Entry(index);
        if (!entry || entry->deleted()) continue;
        const std::optional<Record> record =
            Record::Parse(CatalogSchema(), layout, entry->data, page->record_format());
        std::optional<CatalogRow> row = record ? ReadRow(*record) : std::nullopt;
        if (row) rows.try_emplace(RowKey{row->object_id, row->type, row->id}, std::move(*row));
      }
    }
  }
}

Catalog ReadCatalog(PageFile& file, const PageLayout& layout, const PageCensus* census) {
  Catalog catalog;
  std::map<RowKey, CatalogRow> rows;
  const bool primary_complete =
      ReadCopy(file, layout, kCatalogRootPage, kCatalogObjectId, rows);
  if (!primary_complete || rows.empty()) {
    const std::size_t before = rows.size();
    const bool shadow_complete =
        ReadCopy(file, layout, kCatalogShadowRootPage, kCatalogShadowObjectId, rows);
    catalog.used_shadow = rows.size() > before;
    catalog.complete = shadow_complete;
  }
  if (census != nullptr) ReadCensusRows(file, layout, *census, rows);

  std::map<std::uint32_t, TableSchema> by_object;
  std::map<std::uint32_t, std::vector<ColumnSchema>> own_columns;
  for (const auto& [key, row] : rows) {
    if (row.type == catalog_type::kTable) {
      TableSchema& table = by_object[row.object_id];
      table.name = row.name;
      table.object_id = row.id;
      table.root_page = row.coltyp_or_page;
      table.flags = row.flags;
      table.template_name = row.template_name;
      continue;
    }
    const auto owner = by_object.find(row.object_id);
    if (owner == by_object.end()) {
      catalog.complete = false;  // a row whose table row was lost
      continue;
    }
    TableSchema& table = owner->second;
    switch (row.type) {
      case catalog_type::kColumn:
        // Identifier 0 names no column, and records number their columns in 16 bits.
        if (row.id == 0 || row.id > 0xffff) {
          catalog.complete = false;
          break;
        }
        own_columns[row.object_id].push_back(ColumnFromRow(row));
        break;
      case catalog_type::kLongValue:
        table.long_value_root = row.coltyp_or_page;
        table.long_value_object_id = row.id;
        break;
      case catalog_type::kCallback:
        table.callbacks.push_back(row.name.empty() ? row.template_name : row.name);
        break;
      case catalog_type::kIndex:
        // The primary index is the table's own tree.
        if (row.id != table.object_id) table.indexes.push_back(IndexFromRow(row));
        break;
      default:
        break;
    }
  }

  // Templates first, so that derived tables can share their columns.
  std::map<std::u16string, std::shared_ptr<const std::vector<ColumnSchema>>> inherited;
  std::map<std::u16string, std::uint32_t> template_fixed_end;
  for (const auto& [object_id, table] : by_object) {
    if (!table.template_name.empty()) inherited[table.template_name] = nullptr;
  }
  for (auto& [object_id, table] : by_object) {
    if (!table.template_name.empty()) continue;
    std::vector<ColumnSchema>& own = own_columns[object_id];
    PlaceFixedColumns(own, record::kHeaderSize);
    const auto wanted = inherited.find(table.name);
    if (wanted != inherited.end() && wanted->second == nullptr) {
      std::vector<ColumnSchema> lent = own;
      for (ColumnSchema& column : lent) column.from_template = true;
      template_fixed_end[table.name] = EndOfFixedColumns(own);
      inherited[table.name] = std::make_shared<const std::vector<ColumnSchema>>(std::move(lent));
    }
    table.columns = ColumnList(nullptr, std::move(own));
  }
  for (auto& [object_id, table] : by_object) {
    if (table.template_name.empty()) continue;
    std::vector<ColumnSchema>& own = own_columns[object_id];
    const auto found = inherited.find(table.template_name);
    if (found == inherited.end() || found->second == nullptr) {
      catalog.complete = false;  // its template is lost: its own columns still read
      PlaceFixedColumns(own, record::kHeaderSize);
      table.columns = ColumnList(nullptr, std::move(own));
      continue;
    }
    PlaceFixedColumns(own, template_fixed_end[table.template_name]);
    table.columns = ColumnList(found->second, std::move(own));
  }
  for (auto& [object_id, table] : by_object) {
    if (!table.name.empty()) catalog.tables.push_back(std::move(table));
  }
  return catalog;
}

}  // namespace tarvex::ese
