#include "tools/edbforge/ese/database_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>

#include "ese/byte_order.h"
#include "ese/format.h"
#include "ese/page.h"
#include "esedb_read_back.h"
#include "support/test_files.h"
#include "tools/edbforge/encoding/lzxpress_encoder.h"
#include "tools/edbforge/encoding/seven_bit_encoder.h"
#include "tools/edbforge/ese/ese_error.h"

namespace tarvex::edbforge {
namespace {

using tarvex::testing::FileBytes;
using tarvex::testing::HexBytes;
using tarvex::testing::PatternBytes;
using tarvex::testing::ScratchFolder;
using testing::ReadBack;
using testing::ReadDatabase;
using testing::ReadTable;

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> bytes;
  for (int value : values) bytes.push_back(static_cast<uint8_t>(value));
  return bytes;
}

std::vector<uint8_t> Utf16Bytes(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return bytes;
}

ColumnDefinition Column(std::u16string name, ColumnType type, ColumnStorage storage) {
  ColumnDefinition column;
  column.name = std::move(name);
  column.type = type;
  column.storage = storage;
  return column;
}

ReadDatabase ReadOrFail(const std::filesystem::path& path) {
  std::string error;
  auto database = ReadBack(path, error);
  EXPECT_TRUE(database.has_value()) << error;
  return database ? std::move(*database) : ReadDatabase{};
}

const ReadTable* FindTable(const ReadDatabase& database, std::u16string_view name) {
  for (const auto& table : database.tables) {
    if (table.name == name) return &table;
  }
  return nullptr;
}

TableDefinition FixedTable() {
  TableDefinition table;
  table.name = u"Folders";
  table.columns = {Column(u"Id", ColumnType::kLong, ColumnStorage::kFixed),
                   Column(u"Flag", ColumnType::kBit, ColumnStorage::kFixed),
                   Column(u"Q6748", ColumnType::kLongLong, ColumnStorage::kFixed)};
  return table;
}

void WriteFixedTable(const std::filesystem::path& path, DatabaseOptions options, int records) {
  EseDatabaseWriter writer(path, options);
  TableWriter& folders = writer.AddTable(FixedTable());
  for (int i = 1; i <= records; ++i) {
    folders.Append(Record()
                       .Set(u"Id", int32_t{i})
                       .Set(u"Flag", i % 2 == 0)
                       .Set(u"Q6748", int64_t{i} * -1000000007LL));
  }
  writer.Finish();
}

TEST(EseDatabaseWriter, SmallestFileReadsBackCatalogAndValues) {
  ScratchFolder folder;
  const auto path = folder / "small.edb";
  WriteFixedTable(path, {}, 3);

  const ReadDatabase database = ReadOrFail(path);
  EXPECT_EQ(database.format_version, 0x620U);
  EXPECT_EQ(database.format_revision, 20U);
  EXPECT_EQ(database.page_size, 4096U);
  // The engine's own tables come first: the catalogue, its shadow, the list of object ids
  // (every table, the catalogue's included) and the locales table with its seven rows.
  ASSERT_EQ(database.tables.size(), 5U);
  EXPECT_EQ(database.tables[0].name, u"MSysObjects");
  EXPECT_EQ(database.tables[1].name, u"MSysObjectsShadow");
  const ReadTable& object_ids = database.tables[2];
  EXPECT_EQ(object_ids.name, u"MSysObjids");
  std::vector<std::vector<uint8_t>> listed;
  for (const auto& row : object_ids.records) listed.push_back(row[0].bytes);
  EXPECT_EQ(listed, (std::vector<std::vector<uint8_t>>{
                        {2, 0, 0, 0}, {3, 0, 0, 0}, {6, 0, 0, 0}, {7, 0, 0, 0}, {8, 0, 0, 0}}));
  EXPECT_EQ(database.tables[3].name, u"MSysLocales");
  EXPECT_EQ(database.tables[3].records.size(), 7U);
  const ReadTable& folders = database.tables[4];
  EXPECT_EQ(folders.name, u"Folders");
  ASSERT_EQ(folders.columns.size(), 3U);
  EXPECT_EQ(folders.columns[0].name, u"Id");
  EXPECT_EQ(folders.columns[0].identifier, 1U);
  EXPECT_EQ(folders.columns[0].type, 4U);
  EXPECT_EQ(folders.columns[1].type, 1U);
  EXPECT_EQ(folders.columns[2].name, u"Q6748");
  EXPECT_EQ(folders.columns[2].type, 15U);
  ASSERT_EQ(folders.records.size(), 3U);
  EXPECT_EQ(folders.records[1][0].bytes, Bytes({2, 0, 0, 0}));
  EXPECT_EQ(folders.records[1][1].bytes, Bytes({0xff}));
  EXPECT_EQ(folders.records[0][1].bytes, Bytes({0x00}));
  const int64_t third = -3000000021LL;
  std::vector<uint8_t> expected(8);
  for (int i = 0; i < 8; ++i)
    expected[i] = static_cast<uint8_t>(static_cast<uint64_t>(third) >> (8 * i));
  EXPECT_EQ(folders.records[2][2].bytes, expected);
  // The catalog lists itself: its table row and one row per column of both catalog tables.
  EXPECT_EQ(database.tables[0].records.size(), database.tables[1].records.size());
  EXPECT_EQ(database.tables[0].columns.size(), 28U);
}

// libesedb 20181229 has no value type for SLV columns: it lists the column but cannot build the
// table's records (and leaks on the way, so the records are not read here). The writer still
// writes such tables, as test data for unreadable records.
TEST(EseDatabaseWriter, SuperLongValueColumnsAreListed) {
  ScratchFolder folder;
  const auto path = folder / "slv.edb";
  {
    EseDatabaseWriter writer(path, {});
    TableDefinition table;
    table.name = u"Old";
    table.columns = {Column(u"Id", ColumnType::kLong, ColumnStorage::kFixed),
                     Column(u"Stream", ColumnType::kSuperLongValue, ColumnStorage::kTagged)};
    writer.AddTable(table).Append(Record().Set(u"Id", int32_t{1}).Set(u"Stream", Bytes({1, 2})));
    writer.Finish();
  }
  std::string error;
  const auto columns_only = ReadBack(path, error, false);
  ASSERT_TRUE(columns_only.has_value()) << error;
  const ReadTable* table = FindTable(*columns_only, u"Old");
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->columns.size(), 2U);
  EXPECT_EQ(table->columns[1].type, 13U);
}

int32_t Le32(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 4) return -1;
  return static_cast<int32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                              (static_cast<uint32_t>(bytes[3]) << 24));
}

size_t ColumnIndex(const ReadTable& table, std::u16string_view name) {
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (table.columns[i].name == name) return i;
  }
  ADD_FAILURE() << "no column";
  return 0;
}

std::string Text(const std::vector<uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

// The catalog row of a table (type 1) as read from MSysObjects.
std::vector<uint8_t> CatalogValue(const ReadDatabase& database, std::u16string_view table_name,
                                  std::u16string_view column) {
  const ReadTable& catalog = database.tables[0];
  const size_t name = ColumnIndex(catalog, u"Name");
  const size_t type = ColumnIndex(catalog, u"Type");
  std::string wanted;
  for (char16_t unit : table_name) wanted.push_back(static_cast<char>(unit));
  for (const auto& row : catalog.records) {
    if (row[type].bytes == Bytes({1, 0}) && Text(row[name].bytes) == wanted) {
      return row[ColumnIndex(catalog, column)].bytes;
    }
  }
  ADD_FAILURE() << "no catalog row";
  return {};
}

// The root page of a table's long-value tree, from its long-value row (type 4) in the catalog;
// 0 when there is none. `object_id` receives the tree's object id.
uint32_t LongValueRoot(const ReadDatabase& database, std::u16string_view table_name,
                       int32_t* object_id = nullptr) {
  const ReadTable& catalog = database.tables[0];
  const int32_t table_id = Le32(CatalogValue(database, table_name, u"Id"));
  for (const auto& row : catalog.records) {
    if (row[ColumnIndex(catalog, u"Type")].bytes == Bytes({4, 0}) &&
        Le32(row[ColumnIndex(catalog, u"ObjidTable")].bytes) == table_id) {
      if (object_id != nullptr) *object_id = Le32(row[ColumnIndex(catalog, u"Id")].bytes);
      return static_cast<uint32_t>(Le32(row[ColumnIndex(catalog, u"ColtypOrPgnoFDP")].bytes));
    }
  }
  return 0;
}

struct LeafEntry {
  std::vector<uint8_t> key;  // whole: the part shared with the page's common key included
  std::vector<uint8_t> data;
  bool operator==(const LeafEntry&) const = default;
};

// The shape of a tree as the pages say: its depth along the first children, and its leaves
// followed through their next-page links (checking the links back), with their entries and
// the objects their headers name.
struct TreeShape {
  int depth = 0;
  size_t leaves = 0;
  std::vector<LeafEntry> entries;
  std::set<uint32_t> leaf_owners;
  bool links_consistent = true;
};

TreeShape ReadTreeShape(const std::filesystem::path& path, uint32_t page_size, uint32_t root) {
  const auto file = FileBytes(path);
  auto page_at = [&](uint32_t number) {
    const auto begin = file.begin() + static_cast<ptrdiff_t>((number + size_t{1}) * page_size);
    auto page =
        ese::Page::Parse({page_size, 20}, number,
                         std::make_shared<const std::vector<uint8_t>>(begin, begin + page_size));
    EXPECT_TRUE(page) << "page " << number;
    return page;
  };
  TreeShape shape;
  uint32_t number = root;
  // Down the first children to the first leaf.
  for (shape.depth = 1; shape.depth < 10; ++shape.depth) {
    const auto page = page_at(number);
    if (!page || page->IsLeaf()) break;
    const auto first = page->Entry(0);
    number = first ? ese::Page::ChildPage(*first).value_or(0) : 0;
  }
  for (uint32_t previous = 0; number != 0 && shape.leaves < 1000000; ++shape.leaves) {
    const auto page = page_at(number);
    if (!page) break;
    shape.links_consistent = shape.links_consistent && page->previous_page() == previous;
    shape.leaf_owners.insert(page->father_object_id());
    for (size_t index = 0; index < page->entry_count(); ++index) {
      const auto entry = page->Entry(index);
      EXPECT_TRUE(entry) << "page " << number << " entry " << index;
      if (entry) shape.entries.push_back({entry->key, {entry->data.begin(), entry->data.end()}});
    }
    previous = number;
    number = page->next_page();
  }
  return shape;
}

TEST(EseDatabaseWriter, LargeTablesGrowTreesOfSeveralLevels) {
  ScratchFolder folder;
  const auto path = folder / "large.edb";
  constexpr int kRecords = 60000;
  {
    EseDatabaseWriter writer(path, {});
    TableDefinition table;
    table.name = u"Msg";
    table.columns = {Column(u"Id", ColumnType::kLong, ColumnStorage::kFixed)};
    TableWriter& msg = writer.AddTable(table);
    for (int i = 0; i < kRecords; ++i) msg.Append(Record().Set(u"Id", int32_t{i}));
    EXPECT_EQ(msg.record_count(), static_cast<uint64_t>(kRecords));
    writer.Finish();
  }
  const ReadDatabase database = ReadOrFail(path);
  const ReadTable* msg = FindTable(database, u"Msg");
  ASSERT_NE(msg, nullptr);
  ASSERT_EQ(msg->records.size(), static_cast<size_t>(kRecords));
  for (int i = 0; i < kRecords; i += 997) EXPECT_EQ(Le32(msg->records[i][0].bytes), i);
  EXPECT_EQ(Le32(msg->records.back()[0].bytes), kRecords - 1);
  const auto root = static_cast<uint32_t>(Le32(CatalogValue(database, u"Msg", u"ColtypOrPgnoFDP")));
  const TreeShape shape = ReadTreeShape(path, 4096, root);
  EXPECT_EQ(shape.depth, 3);
  EXPECT_EQ(shape.entries.size(), static_cast<size_t>(kRecords));
  EXPECT_GT(shape.leaves, 100U);
  EXPECT_TRUE(shape.links_consistent);
}

TEST(EseDatabaseWriter, ThousandsOfTablesFillAMultiPageCatalog) {
  ScratchFolder folder;
  const auto path = folder / "tables.edb";
  constexpr int kTables = 1500;
  {
    EseDatabaseWriter writer(path, {8192, 14});
    std::vector<TableWriter*> tables;
    for (int t = 0; t < kTables; ++t) {
      TableDefinition table;
      table.name = u"1-" + std::u16string(1, char16_t(u'A' + t % 26)) +
                   std::u16string(1, char16_t(u'A' + t / 26 % 26)) +
                   std::u16string(1, char16_t(u'A' + t / 676));
      table.columns = {Column(u"Id", ColumnType::kLong, ColumnStorage::kFixed),
                       Column(u"S3001", ColumnType::kText, ColumnStorage::kTagged)};
      tables.push_back(&writer.AddTable(table));
    }
    // Interleaved filling.
    for (int round = 0; round < 2; ++round) {
      for (int t = 0; t < kTables; ++t) {
        tables[t]->Append(Record().Set(u"Id", int32_t{t * 10 + round}));
      }
    }
    writer.Finish();
  }
  const ReadDatabase database = ReadOrFail(path);
  ASSERT_EQ(database.tables.size(), static_cast<size_t>(kTables + 4));
  for (int t = 0; t < kTables; t += 37) {
    const ReadTable& table = database.tables[static_cast<size_t>(t) + 4];
    ASSERT_EQ(table.records.size(), 2U);
    EXPECT_EQ(Le32(table.records[1][0].bytes), t * 10 + 1);
    EXPECT_EQ(table.columns[1].name, u"S3001");
  }
  const TreeShape catalog = ReadTreeShape(path, 8192, 4);
  EXPECT_EQ(catalog.depth, 2);
  EXPECT_EQ(catalog.entries.size(), database.tables[0].records.size());
  EXPECT_TRUE(catalog.links_consistent);
}

TEST(EseDatabaseWriter, LongValuesSpanSegmentsAndMoveOutOfFullRecords) {
  ScratchFolder folder;
  const auto path = folder / "long.edb";
  const auto huge = PatternBytes(100000, 1);
  const auto limit = PatternBytes(1024, 2);
  const auto above = PatternBytes(1025, 3);
  {
    EseDatabaseWriter writer(path,
                             {.libesedb_long_value_layout = true, .inline_long_value_limit = 1024});
    TableDefinition table;
    table.name = u"Attach";
    for (const char16_t* name : {u"L3701", u"L3702", u"L3703", u"L3704", u"L3705"}) {
      table.columns.push_back(Column(name, ColumnType::kLongBinary, ColumnStorage::kTagged));
    }
    table.columns.push_back(Column(u"W3001", ColumnType::kLongText, ColumnStorage::kTagged));
    TableWriter& attach = writer.AddTable(table);
    attach.Append(Record().Set(u"L3701", huge).Set(u"L3702", limit).Set(u"L3703", above));
    attach.Append(
        Record()
            .Set(u"L3701", RawBytes{Bytes({1, 2, 3}), false, LongValuePlacement::kSeparate})
            .Set(u"W3001", std::u16string(u"short text")));
    // Five values of 1000 bytes cannot all stay in a 4 KiB record.
    Record full;
    for (const char16_t* name : {u"L3701", u"L3702", u"L3703", u"L3704", u"L3705"}) {
      full.Set(name, PatternBytes(1000, name[4]));
    }
    attach.Append(full);
    // Many long values make a long-value tree of several pages and levels.
    for (uint32_t i = 0; i < 1500; ++i)
      attach.Append(Record().Set(u"L3704", PatternBytes(4100, i)));
    writer.Finish();
  }
  const ReadDatabase database = ReadOrFail(path);
  const ReadTable* attach = FindTable(database, u"Attach");
  ASSERT_NE(attach, nullptr);
  ASSERT_EQ(attach->records.size(), 1503U);
  const auto& first = attach->records[0];
  EXPECT_EQ(first[0].long_value, huge);
  EXPECT_EQ(first[0].flags & 0x04, 0x04);
  EXPECT_EQ(first[1].bytes, limit);  // at the limit it stays in the record
  EXPECT_FALSE(first[1].long_value.has_value());
  EXPECT_EQ(first[2].long_value, above);
  EXPECT_EQ(attach->records[1][0].long_value, Bytes({1, 2, 3}));
  EXPECT_EQ(attach->records[1][5].bytes, Utf16Bytes(u"short text"));
  size_t separated = 0;
  for (size_t column = 0; column < 5; ++column) {
    const auto& value = attach->records[2][column];
    const auto expected = PatternBytes(1000, u"L3701"[4] + static_cast<int>(column));
    if (value.long_value) {
      ++separated;
      EXPECT_EQ(*value.long_value, expected);
    } else {
      EXPECT_EQ(value.bytes, expected);
    }
  }
  EXPECT_GE(separated, 1U);
  EXPECT_LE(separated, 4U);
  for (uint32_t i = 0; i < 1500; i += 101) {
    EXPECT_EQ(attach->records[3 + i][3].long_value, PatternBytes(4100, i)) << i;
  }
  const uint32_t long_values_root = LongValueRoot(database, u"Attach");
  ASSERT_NE(long_values_root, 0U);
  const TreeShape shape = ReadTreeShape(path, 4096, long_values_root);
  EXPECT_GE(shape.depth, 2);
  EXPECT_TRUE(shape.links_consistent);
  // Each value of 4100 bytes: a header and two segments, the header sharing the first leaf.
  EXPECT_GT(shape.entries.size(), 1500U * 3);
  EXPECT_GT(shape.leaves, 1500U * 2);
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t begin, size_t end) {
  return {bytes.begin() + static_cast<ptrdiff_t>(begin),
          bytes.begin() + static_cast<ptrdiff_t>(end)};
}

// The default layout is the engine's (as in its text.edb and binary.edb): LongText and
// LongBinary values above 1024 bytes leave the record, which keeps the flags 0x05 and the id
// little-endian; the table's long-value tree (the next object id) holds each value under its id
// big-endian (reference count, size), numbered from 1, and its segments of at most 4014 bytes
// under the id and their offset, both big-endian. A compressed value is one compressed segment
// whose root gives the unpacked size, and it leaves the record by that size too.
TEST(EseDatabaseWriter, DefaultLayoutSeparatesLongValuesAsTheEngineDoes) {
  const auto big = PatternBytes(10000, 5);
  const auto above = PatternBytes(1025, 6);
  const std::u16string text(600, u'x');
  const std::vector<uint8_t> plain(5000, 'a');
  const auto packed = EncodeLzxpress(plain);
  const auto packed_small = EncodeLzxpress(std::vector<uint8_t>(1000, 'b'));
  ASSERT_TRUE(packed && packed_small);
  struct Case {
    const char16_t* column;
    Value value;
    std::vector<uint8_t> in_record;  // the value's bytes in the record
    uint8_t flags;
    std::vector<LeafEntry> tree;  // what it adds to the long-value tree
  };
  const Case cases[] = {
      {u"L1000", PatternBytes(1024, 2), PatternBytes(1024, 2), 0x01, {}},
      {u"L1000",
       above,
       Bytes({1, 0, 0, 0}),
       0x05,
       {{HexBytes("00000001"), Bytes({1, 0, 0, 0, 0x01, 0x04, 0, 0})},
        {HexBytes("0000000100000000"), above}}},
      {u"L1000",
       big,
       Bytes({2, 0, 0, 0}),
       0x05,
       {{HexBytes("00000002"), Bytes({1, 0, 0, 0, 0x10, 0x27, 0, 0})},
        {HexBytes("0000000200000000"), Slice(big, 0, 4014)},
        {HexBytes("0000000200000fae"), Slice(big, 4014, 8028)},
        {HexBytes("0000000200001f5c"), Slice(big, 8028, 10000)}}},
      {u"W1001", std::u16string(512, u'y'), Utf16Bytes(std::u16string(512, u'y')), 0x01, {}},
      {u"W1001",
       text,
       Bytes({3, 0, 0, 0}),
       0x05,
       {{HexBytes("00000003"), Bytes({1, 0, 0, 0, 0xb0, 0x04, 0, 0})},
        {HexBytes("0000000300000000"), Utf16Bytes(text)}}},
      {u"W1001",
       RawBytes{*packed, true, LongValuePlacement::kAutomatic, plain.size()},
       Bytes({4, 0, 0, 0}),
       0x05,
       {{HexBytes("00000004"), Bytes({1, 0, 0, 0, 0x88, 0x13, 0, 0})},
        {HexBytes("0000000400000000"), *packed}}},
      {u"W1001",
       RawBytes{*packed_small, true, LongValuePlacement::kAutomatic, 1000},
       *packed_small,
       0x03,
       {}},
  };
  ScratchFolder folder;
  const auto path = folder / "engine.edb";
  {
    EseDatabaseWriter writer(path, {});
    TableDefinition table;
    table.name = u"Body";
    table.columns = {Column(u"L1000", ColumnType::kLongBinary, ColumnStorage::kTagged),
                     Column(u"W1001", ColumnType::kLongText, ColumnStorage::kTagged)};
    table.columns[1].compressed = true;
    TableWriter& body = writer.AddTable(table);
    for (const Case& each : cases) body.Append(Record().Set(each.column, each.value));
    writer.Finish();
  }
  const ReadDatabase database = ReadOrFail(path);
  const ReadTable* body = FindTable(database, u"Body");
  ASSERT_NE(body, nullptr);
  ASSERT_EQ(body->records.size(), std::size(cases));
  std::vector<LeafEntry> expected_tree;
  for (size_t index = 0; index < std::size(cases); ++index) {
    const Case& each = cases[index];
    SCOPED_TRACE(index);
    const auto& value = body->records[index][ColumnIndex(*body, each.column)];
    EXPECT_EQ(value.bytes, each.in_record);
    EXPECT_EQ(value.flags, each.flags);
    expected_tree.insert(expected_tree.end(), each.tree.begin(), each.tree.end());
  }
  int32_t long_values_id = 0;
  const uint32_t long_values_root = LongValueRoot(database, u"Body", &long_values_id);
  ASSERT_NE(long_values_root, 0U);
  EXPECT_EQ(long_values_id, Le32(CatalogValue(database, u"Body", u"Id")) + 1);
  const TreeShape shape = ReadTreeShape(path, 4096, long_values_root);
  EXPECT_TRUE(shape.links_consistent);
  EXPECT_EQ(shape.leaf_owners, std::set<uint32_t>{static_cast<uint32_t>(long_values_id)});
  EXPECT_EQ(shape.entries, expected_tree);
}

TEST(EseDatabaseWriter, CallbackRowFollowsItsTableInTheCatalog) {
  ScratchFolder folder;
  const auto path = folder / "callback.edb";
  {
    EseDatabaseWriter writer(path, {});
    for (const char16_t* name : {u"Folders", u"Attachments", u"Msg"}) {
      TableDefinition table;
      table.name = name;
      table.columns = {Column(u"Id", ColumnType::kLong, ColumnStorage::kFixed)};
      if (std::u16string_view(name) == u"Attachments") {
        table.callback = u"JCB.DLL!EcJcbAttachCallback";
      }
      writer.AddTable(table);
    }
    writer.Finish();
  }
  const ReadDatabase database = ReadOrFail(path);
  const ReadTable& catalog = database.tables[0];
  const size_t type = ColumnIndex(catalog, u"Type");
  const size_t name = ColumnIndex(catalog, u"Name");
  const size_t template_table = ColumnIndex(catalog, u"TemplateTable");
  const size_t object = ColumnIndex(catalog, u"ObjidTable");
  std::string last_table;
  int32_t last_object = 0;
  int callbacks = 0;
  for (const auto& row : catalog.records) {
    if (row[type].bytes == Bytes({1, 0})) {
      last_table = Text(row[name].bytes);
      last_object = Le32(row[object].bytes);
    } else if (row[type].bytes == Bytes({5, 0})) {
      ++callbacks;
      EXPECT_EQ(Text(row[name].bytes), "JCB.DLL!EcJcbAttachCallback");
      EXPECT_EQ(Text(row[template_table].bytes), "JCB.DLL!EcJcbAttachCallback");
      EXPECT_EQ(last_table, "Attachments");
      EXPECT_EQ(Le32(row[object].bytes), last_object);
    }
  }
  EXPECT_EQ(callbacks, 1);
  // The shadow catalog holds the same rows.
  EXPECT_EQ(database.tables[1].records.size(), catalog.records.size());
}

TEST(EseDatabaseWriter, BadInputFailsWithTheTableAndColumnNamed) {
  ScratchFolder folder;
  const auto path = folder / "bad.edb";
  auto expect_error = [](auto&& action, const std::string& fragment) {
    try {
      action();
      ADD_FAILURE() << "no error for " << fragment;
    } catch (const EseWriteError& error) {
      EXPECT_NE(std::string(error.what()).find(fragment), std::string::npos) << error.what();
    }
  };
  EseDatabaseWriter writer(path, {});
  TableDefinition msg;
  msg.name = u"Msg";
  msg.is_template = true;
  msg.columns = {Column(u"Id", ColumnType::kLong, ColumnStorage::kFixed),
                 Column(u"S0037", ColumnType::kText, ColumnStorage::kTagged)};
  TableWriter& table = writer.AddTable(msg);
  expect_error([&] { table.Append(Record().Set(u"Nope", int32_t{1})); },
               "\"Nope\": no such column");
  expect_error([&] { table.Append(Record().Set(u"Id", int16_t{1})); }, "int16 value does not suit");
  expect_error([&] { table.Append(Record().Add(u"S0037", u"a").Add(u"S0037", u"b")); },
               "not multi-valued");
  expect_error([&] { table.Append(Record().Set(u"S0037", std::vector<uint8_t>(5000))); },
               "binary value does not suit");
  expect_error([&] { table.Append(Record().Set(u"S0037", RawBytes{std::vector<uint8_t>(5000)})); },
               "does not fit a page");
  expect_error([&] { writer.AddTable(msg); }, "declared twice");
  TableDefinition derived;
  derived.name = u"1-1";
  derived.template_table = u"Msg";
  derived.columns = {Column(u"S1", ColumnType::kText, ColumnStorage::kVariable)};
  expect_error([&] { writer.AddTable(derived); }, "tagged columns only");
  derived.columns = {Column(u"A", ColumnType::kLong, ColumnStorage::kTagged),
                     Column(u"B", ColumnType::kLong, ColumnStorage::kTagged),
                     Column(u"C", ColumnType::kLong, ColumnStorage::kTagged)};
  expect_error([&] { writer.AddTable(derived); }, "at most as many columns");
  derived.template_table = u"Missing";
  expect_error([&] { writer.AddTable(derived); }, "was not added before");
  TableDefinition foreign;
  foreign.name = u"\u8868";
  expect_error([&] { writer.AddTable(foreign); }, "outside code page 1252");
  TableDefinition gaps;
  gaps.name = u"Gaps";
  gaps.columns = {Column(u"A", ColumnType::kLong, ColumnStorage::kFixed)};
  gaps.columns[0].identifier = 2;
  expect_error([&] { writer.AddTable(gaps); }, "without gaps");
  expect_error([&] { EseDatabaseWriter bad(folder / "x.edb", {32768, 16}); }, "page size 32768");
  expect_error(
      [&] {
        EseDatabaseWriter bad(folder / "y.edb", {.page_size = 32768, .older_record_format = true});
      },
      "older record format has no 32768-byte pages");
  EseDatabaseWriter older(folder / "older.edb",
                          {.page_size = 8192, .format_revision = 9, .older_record_format = true});
  TableWriter& older_msg = older.AddTable(msg);
  expect_error([&] { older_msg.Append(Record().Set(u"S0037", RawBytes{Bytes({1, 2}), true})); },
               "no compressed values");
  expect_error(
      [&] { older_msg.Append(Record().Set(u"S0037", RawBytes{std::vector<uint8_t>(4096)})); },
      "exceeds the older record format's 4095");
}

// Every page the forge writes says, as the engine's do, whether its records are in the current
// layout and whether its checksum is the ECC one: catalogue, table, long-value and released
// pages alike.
TEST(EseDatabaseWriter, EveryPageCarriesTheFlagsOfItsFormat) {
  struct Case {
    DatabaseOptions options;
    uint32_t flags_set;
    uint32_t flags_clear;
  };
  using ese::page_flag::kNewChecksumFormat;
  using ese::page_flag::kNewRecordFormat;
  const Case cases[] = {
      {{.format_revision = 9}, kNewRecordFormat, kNewChecksumFormat},
      {{.format_revision = 9, .older_record_format = true}, 0,
       kNewRecordFormat | kNewChecksumFormat},
      {{.format_revision = 12, .older_record_format = true}, kNewChecksumFormat, kNewRecordFormat},
      {{.page_size = 8192, .format_revision = 14}, kNewRecordFormat | kNewChecksumFormat, 0},
      {{.page_size = 32768, .format_revision = 20}, kNewRecordFormat | kNewChecksumFormat, 0},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(std::to_string(test.options.page_size) + "/" +
                 std::to_string(test.options.format_revision) +
                 (test.options.older_record_format ? " older" : ""));
    ScratchFolder folder;
    const auto path = folder / "flags.edb";
    {
      EseDatabaseWriter writer(path, test.options);
      TableDefinition table = FixedTable();
      table.columns.push_back(Column(u"Body", ColumnType::kLongBinary, ColumnStorage::kTagged));
      TableWriter& folders = writer.AddTable(table);
      for (int i = 0; i < 300; ++i) {
        Record record;
        record.Set(u"Id", int32_t{i}).Set(u"Body", PatternBytes(i % 50 == 0 ? 5000 : 40, i));
        if (i % 100 == 7) {
          folders.AppendReleased(record);
        } else {
          folders.Append(record);
        }
      }
      writer.Finish();
    }
    const std::vector<uint8_t> file = FileBytes(path);
    const size_t page_size = test.options.page_size;
    size_t pages = 0;
    for (size_t offset = 2 * page_size; offset + page_size <= file.size(); offset += page_size) {
      const uint32_t flags = ese::LoadLe32(file.data() + offset + ese::page_header::kFlags);
      if (flags == 0) continue;  // a page never written
      ++pages;
      EXPECT_EQ(flags & test.flags_set, test.flags_set) << "page " << offset / page_size - 1;
      EXPECT_EQ(flags & test.flags_clear, 0U) << "page " << offset / page_size - 1;
    }
    EXPECT_GT(pages, 4U);  // catalogue, database root, table, long values, released
  }
}

TEST(EseDatabaseWriter, NoFileAppearsUnlessFinishSucceeds) {
  ScratchFolder folder;
  const auto path = folder / "unfinished.edb";
  {
    EseDatabaseWriter writer(path, {});
    writer.AddTable(FixedTable()).Append(Record().Set(u"Id", int32_t{1}));
    EXPECT_TRUE(std::filesystem::exists(folder / "unfinished.edb.partial"));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(std::filesystem::exists(folder / "unfinished.edb.partial"));
  WriteFixedTable(path, {}, 1);
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_FALSE(std::filesystem::exists(folder / "unfinished.edb.partial"));
}

TEST(EseDatabaseWriter, SameInputGivesTheSameBytes) {
  ScratchFolder folder;
  WriteFixedTable(folder / "one.edb", {8192, 12}, 2000);
  WriteFixedTable(folder / "two.edb", {8192, 12}, 2000);
  const auto one = FileBytes(folder / "one.edb");
  EXPECT_GT(one.size(), 8192U * 10);
  EXPECT_EQ(one, FileBytes(folder / "two.edb"));
}

}  // namespace
}  // namespace tarvex::edbforge
