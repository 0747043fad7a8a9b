#include "tools/edbforge/ese/catalog.h"

#include "base/code_page_1252.h"
#include "base/utf_conversion.h"
#include "ese/byte_order.h"
#include "ese/format.h"
#include "tools/edbforge/ese/ese_error.h"
#include "tools/edbforge/ese/record_encoder.h"
#include "tools/edbforge/ese/tree_writer.h"

namespace tarvex::edbforge {
namespace {

namespace catalog_type = ese::catalog_type;
namespace catalog_column = ese::catalog_column;

// What the engine writes for trees and indexes it was given no settings for: pages filled to
// 80 %, an index over non-text columns whose keys may repeat (or a primary one), its locale.
constexpr int32_t kDensity = 80;
constexpr int32_t kIndexFlags = 0x1000e;
constexpr int32_t kPrimaryIndexFlags = 0x1002f;
constexpr int32_t kIndexLCMapFlags = 0x30401;
constexpr int32_t kLocaleEnglishUs = 1033;

class NoLongValues : public LongValueSink {
 public:
  uint32_t StoreLongValue(const StoredValue&) override {
    throw EseWriteError("catalog rows keep no long values");
  }
};

// Keys of the catalog's primary index: each column normalized (0x7f, then the value big-endian
// with its sign bit flipped) so that the bytes sort like the numbers.
std::vector<uint8_t> CatalogKey(uint32_t object_id, uint16_t type, uint32_t id) {
  std::vector<uint8_t> key;
  key.push_back(ese::kKeyValuePresent);
  ese::AppendBe32(key, object_id ^ 0x80000000U);
  key.push_back(ese::kKeyValuePresent);
  const auto flipped = static_cast<uint16_t>(type ^ 0x8000U);
  key.push_back(static_cast<uint8_t>(flipped >> 8));
  key.push_back(static_cast<uint8_t>(flipped));
  key.push_back(ese::kKeyValuePresent);
  ese::AppendBe32(key, id ^ 0x80000000U);
  return key;
}

AnsiText CatalogName(std::u16string_view name) {
  std::string bytes = Utf16ToWindows1252(name);
  if (Windows1252ToUtf16(bytes) != name) {
    throw EseWriteError("name \"" + Utf16ToUtf8(name) + "\" has characters outside code page 1252");
  }
  return AnsiText{std::move(bytes)};
}

ColumnDefinition Column(const char16_t* name, uint32_t identifier, ColumnType type,
                        ColumnStorage storage) {
  ColumnDefinition column;
  column.name = name;
  column.identifier = identifier;
  column.type = type;
  column.storage = storage;
  column.code_page = kCodePageWestern;
  return column;
}

uint32_t SpaceUsage(const ColumnLayout& column) {
  if (column.storage == ColumnStorage::kFixed) return column.fixed_size;
  if (const uint32_t natural = NaturalSize(column.type)) return natural;
  return IsLongType(column.type) ? 0 : 255;
}

uint32_t ColumnFlags(const ColumnLayout& column) {
  uint32_t flags = 0;
  if (column.not_null) flags |= ese::column_flag::kNotNull;
  if (column.multi_valued) flags |= ese::column_flag::kMultiValued;
  if (column.compressed) flags |= ese::column_flag::kCompressed;
  return flags;
}

class RowBuilder {
 public:
  RowBuilder(const PageFormat& format, const TableLayout& catalog)
      : format_(format), catalog_(catalog), budget_(TreeWriter::MaxDataSize(format, 13)) {}

  void Add(uint32_t object_id, uint16_t type, uint32_t id, const Record& record) {
    NoLongValues no_long_values;
    rows_.push_back({CatalogKey(object_id, type, id),
                     EncodeRecord(format_, catalog_, record, no_long_values, budget_, budget_,
                                  "catalog row of object " + std::to_string(object_id))});
  }

  void AddTable(const CatalogTree& tree, std::u16string_view name, uint32_t flags,
                std::u16string_view template_name) {
    Record row;
    Common(row, tree.object_id, catalog_type::kTable, tree.object_id);
    row.Set(u"ColtypOrPgnoFDP", static_cast<int32_t>(tree.root_page));
    row.Set(u"SpaceUsage", kDensity);
    row.Set(u"Flags", static_cast<int32_t>(flags));
    row.Set(u"PagesOrLocale", static_cast<int32_t>(tree.pages));
    row.Set(u"RootFlag", true);
    row.Set(u"Name", CatalogName(name));
    if (!template_name.empty()) row.Set(u"TemplateTable", CatalogName(template_name));
    Add(tree.object_id, catalog_type::kTable, tree.object_id, row);
  }

  void AddColumns(uint32_t object_id, const TableLayout& layout) {
    for (const ColumnLayout& column : layout.columns()) {
      if (column.from_template) continue;
      Record row;
      Common(row, object_id, catalog_type::kColumn, column.identifier);
      row.Set(u"ColtypOrPgnoFDP", static_cast<int32_t>(column.type));
      row.Set(u"SpaceUsage", static_cast<int32_t>(SpaceUsage(column)));
      row.Set(u"Flags", static_cast<int32_t>(ColumnFlags(column)));
      row.Set(u"PagesOrLocale", static_cast<int32_t>(column.code_page));
      if (column.storage == ColumnStorage::kFixed) {
        row.Set(u"RecordOffset", static_cast<int16_t>(column.record_offset));
      }
      row.Set(u"Name", CatalogName(column.name));
      Add(object_id, catalog_type::kColumn, column.identifier, row);
    }
  }

  void AddIndex(uint32_t object_id, const CatalogIndex& index, const CatalogTree& tree,
                bool primary) {
    Record row;
    Common(row, object_id, catalog_type::kIndex, tree.object_id);
    row.Set(u"ColtypOrPgnoFDP", static_cast<int32_t>(tree.root_page));
    row.Set(u"SpaceUsage", kDensity);
    row.Set(u"Flags", static_cast<int32_t>(primary ? kPrimaryIndexFlags : kIndexFlags));
    // Later engines name the locale instead of giving its number.
    const bool locale_name = format_.revision >= 20;
    row.Set(u"PagesOrLocale", locale_name ? int32_t{0} : kLocaleEnglishUs);
    row.Set(u"RootFlag", true);
    row.Set(u"LCMapFlags", kIndexLCMapFlags);
    row.Set(u"Name", CatalogName(index.name));
    std::vector<uint8_t> key_columns;
    for (const uint32_t column : index.columns) {
      ese::AppendLe16(key_columns, 0);  // ascending
      ese::AppendLe16(key_columns, static_cast<uint16_t>(column));
    }
    row.Set(u"KeyFldIDs", std::move(key_columns));
    if (locale_name) {
      std::vector<uint8_t> name;
      for (const char16_t unit : std::u16string_view(u"en-US")) ese::AppendLe16(name, unit);
      row.Set(u"LocaleName", std::move(name));
    }
    Add(object_id, catalog_type::kIndex, tree.object_id, row);
  }

  void AddLongValues(uint32_t object_id, const CatalogTree& tree) {
    Record row;
    Common(row, object_id, catalog_type::kLongValue, tree.object_id);
    row.Set(u"ColtypOrPgnoFDP", static_cast<int32_t>(tree.root_page));
    row.Set(u"SpaceUsage", kDensity);
    row.Set(u"Flags", int32_t{0});
    row.Set(u"PagesOrLocale", static_cast<int32_t>(tree.pages));
    row.Set(u"Name", AnsiText{"LV"});
    Add(object_id, catalog_type::kLongValue, tree.object_id, row);
  }

  // The callback's name goes in both Name and TemplateTable (the column that carries callback
  // names), so either reading finds it.
  void AddCallback(uint32_t object_id, std::u16string_view callback) {
    Record row;
    Common(row, object_id, catalog_type::kCallback, object_id);
    row.Set(u"ColtypOrPgnoFDP", int32_t{0});
    row.Set(u"SpaceUsage", int32_t{0});
    row.Set(u"Flags", int32_t{0});
    row.Set(u"PagesOrLocale", int32_t{0});
    row.Set(u"Name", CatalogName(callback));
    row.Set(u"TemplateTable", CatalogName(callback));
    Add(object_id, catalog_type::kCallback, object_id, row);
  }

  std::vector<CatalogRow> Take() { return std::move(rows_); }

 private:
  static void Common(Record& row, uint32_t object_id, uint16_t type, uint32_t id) {
    row.Set(u"ObjidTable", static_cast<int32_t>(object_id));
    row.Set(u"Type", static_cast<int16_t>(type));
    row.Set(u"Id", static_cast<int32_t>(id));
  }

  const PageFormat& format_;
  const TableLayout& catalog_;
  size_t budget_;
  std::vector<CatalogRow> rows_;
};

}  // namespace

TableLayout CatalogLayout(uint32_t revision) {
  using enum ColumnType;
  constexpr auto kFixed = ColumnStorage::kFixed;
  constexpr auto kVariable = ColumnStorage::kVariable;
  constexpr auto kTagged = ColumnStorage::kTagged;
  TableDefinition definition;
  definition.name = u"MSysObjects";
  auto& columns = definition.columns;
  using namespace catalog_column;
  columns = {Column(u"ObjidTable", kObjidTable, kLong, kFixed),
             Column(u"Type", kType, kShort, kFixed),
             Column(u"Id", kId, kLong, kFixed),
             Column(u"ColtypOrPgnoFDP", kColtypOrPgnoFDP, kLong, kFixed),
             Column(u"SpaceUsage", kSpaceUsage, kLong, kFixed),
             Column(u"Flags", kFlags, kLong, kFixed),
             Column(u"PagesOrLocale", kPagesOrLocale, kLong, kFixed),
             Column(u"RootFlag", kRootFlag, kBit, kFixed),
             Column(u"RecordOffset", kRecordOffset, kShort, kFixed),
             Column(u"LCMapFlags", kLCMapFlags, kLong, kFixed)};
  // Later revisions grew the catalog; each revision lists what its engine wrote.
  if (revision >= 12) columns.push_back(Column(u"KeyMost", kKeyMost, kUnsignedShort, kFixed));
  if (revision >= 20) columns.push_back(Column(u"LVChunkMax", kLVChunkMax, kLong, kFixed));
  columns.push_back(Column(u"Name", kName, kText, kVariable));
  columns.push_back(Column(u"Stats", kStats, kBinary, kVariable));
  columns.push_back(Column(u"TemplateTable", kTemplateTable, kText, kVariable));
  columns.push_back(Column(u"DefaultValue", kDefaultValue, kBinary, kVariable));
  columns.push_back(Column(u"KeyFldIDs", kKeyFldIDs, kBinary, kVariable));
  columns.push_back(Column(u"VarSegMac", kVarSegMac, kBinary, kVariable));
  columns.push_back(Column(u"ConditionalColumns", kConditionalColumns, kBinary, kVariable));
  columns.push_back(Column(u"TupleLimits", kTupleLimits, kBinary, kVariable));
  if (revision >= 12) columns.push_back(Column(u"Version", kVersion, kBinary, kVariable));
  if (revision >= 20) columns.push_back(Column(u"SortID", kSortID, kBinary, kVariable));
  columns.push_back(Column(u"CallbackData", kCallbackData, kLongBinary, kTagged));
  columns.push_back(Column(u"CallbackDependencies", kCallbackDependencies, kLongBinary, kTagged));
  if (revision >= 17) {
    columns.push_back(Column(u"SeparateLV", kSeparateLV, kLongBinary, kTagged));
    columns.push_back(Column(u"SpaceHints", kSpaceHints, kLongBinary, kTagged));
    columns.push_back(Column(u"SpaceDeferredLVHints", kSpaceDeferredLVHints, kLongBinary, kTagged));
  }
  if (revision >= 20) columns.push_back(Column(u"LocaleName", kLocaleName, kLongBinary, kTagged));
  return TableLayout::Build(definition, nullptr);
}

std::vector<CatalogRow> BuildCatalogRows(const PageFormat& format, const TableLayout& catalog,
                                         const CatalogTree& objects, const CatalogTree& shadow,
                                         const std::vector<CatalogTable>& tables) {
  RowBuilder builder(format, catalog);
  const uint32_t system_flags = ese::table_flag::kSystem | ese::table_flag::kFixedDdl;
  builder.AddTable(objects, u"MSysObjects", system_flags, u"");
  builder.AddColumns(objects.object_id, catalog);
  builder.AddTable(shadow, u"MSysObjectsShadow", system_flags, u"");
  builder.AddColumns(shadow.object_id, catalog);
  for (const CatalogTable& table : tables) {
    builder.AddTable(table.tree, table.layout->name(), table.flags, table.template_name);
    builder.AddColumns(table.tree.object_id, *table.layout);
    if (table.primary_index) {
      builder.AddIndex(table.tree.object_id, *table.primary_index, table.tree, true);
    }
    // Rows sort by their id within a type: the indexes' ids rise, and none is the table's.
    for (const CatalogIndex& index : table.indexes) {
      builder.AddIndex(table.tree.object_id, index, index.tree, false);
    }
    if (table.long_values) builder.AddLongValues(table.tree.object_id, *table.long_values);
    if (table.callback) builder.AddCallback(table.tree.object_id, *table.callback);
  }
  return builder.Take();
}

}  // namespace tarvex::edbforge
