// The writer's space trees and index trees, read with our reader: the index keys of the
// engine's own sample, and what the space trees of a written file call available, whole and
// with pages lost.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "base/utf_conversion.h"
#include "ese/byte_order.h"
#include "ese/database.h"
#include "ese/space_tree.h"
#include "ese/tree.h"
#include "support/sample_files.h"
#include "support/test_files.h"
#include "tools/edbforge/ese/database_writer.h"
#include "tools/edbforge/ese/ese_error.h"
#include "tools/edbforge/ese/index_key.h"

namespace tarvex::edbforge {
namespace {

using tarvex::testing::ScratchFolder;

// The sample's decoded value as the writer takes it for a column of `type`.
Value SampleValue(ColumnType type, const nlohmann::json& value) {
  switch (type) {
    case ColumnType::kBit:
      return value.get<bool>();
    case ColumnType::kUnsignedByte:
      return value.get<uint8_t>();
    case ColumnType::kShort:
      return value.get<int16_t>();
    case ColumnType::kUnsignedShort:
      return value.get<uint16_t>();
    case ColumnType::kLong:
      return value.get<int32_t>();
    case ColumnType::kUnsignedLong:
      return value.get<uint32_t>();
    case ColumnType::kCurrency:
    case ColumnType::kLongLong:
      return value.get<int64_t>();
    case ColumnType::kDateTime:
      return FileTime{value.get<uint64_t>()};
    case ColumnType::kText:
    case ColumnType::kLongText:
      return AnsiText{value.get<std::string>()};
    default:
      return testing::HexBytes(value.at("hex").get<std::string>());
  }
}

// Every secondary index of the engine's sample "index" (one per column, one record): the key
// of its single entry equals the key the writer makes of the record's value.
TEST(IndexKeys, EqualTheEnginesForEveryKeyableType) {
  const auto sample = testing::UnpackedSample::Unpack("index");
  ASSERT_TRUE(sample.has_value());
  std::ifstream json_file(testing::ExpectedJsonPath("index"));
  const nlohmann::json expected = nlohmann::json::parse(json_file);
  const nlohmann::json& record = expected.at("records").at(0);
  auto opened = ese::Database::Open(sample->DatabasePath());
  ASSERT_TRUE(opened.database);
  const ese::Table* table = opened.database->FindTable(u"index");
  ASSERT_NE(table, nullptr);
  size_t compared = 0;
  for (const ese::IndexSchema& index : table->schema().indexes) {
    SCOPED_TRACE(Utf16ToUtf8(index.name));
    ASSERT_EQ(index.key_columns.size(), 1u);
    const auto position = std::find_if(
        table->columns().begin(), table->columns().end(),
        [&](const ese::ColumnSchema& column) { return column.identifier == index.key_columns[0]; });
    ASSERT_NE(position, table->columns().end());
    const ese::ColumnSchema& column = *position;
    ColumnLayout layout;
    layout.name = column.name;
    layout.type = column.type;
    layout.code_page = column.code_page;
    layout.fixed_size = column.fixed_size;
    const bool keyable = column.type != ColumnType::kGuid &&
                         column.type != ColumnType::kIeeeSingle &&
                         column.type != ColumnType::kIeeeDouble && column.code_page != 1200;
    std::vector<uint8_t> key;
    if (!keyable) {
      // Refused for its type, whatever the value.
      const Value value = std::vector<uint8_t>{};
      EXPECT_THROW(AppendKeySegment(key, layout, &value), EseWriteError);
      continue;
    }
    const Value value = SampleValue(column.type, record.at(Utf16ToUtf8(column.name)));
    AppendKeySegment(key, layout, &value);
    key.resize(std::min(key.size(), kKeyMost));
    std::vector<uint8_t> engine_key;
    const ese::Tree tree(opened.database->file(), opened.database->layout(), index.root_page,
                         index.object_id);
    tree.ForEachLeafEntry([&](const ese::Page& page, size_t, const ese::PageEntry& entry) {
      EXPECT_TRUE(page.IsIndex());
      engine_key = entry.key;
      return false;
    });
    EXPECT_EQ(key, engine_key);
    ++compared;
  }
  EXPECT_GE(compared, 12u);
}

constexpr uint32_t kRecords = 3000;

bool Released(uint32_t record) {
  return record % 97 == 5;
}
bool Deleted(uint32_t record) {
  return record % 89 == 7;
}

TableDefinition MessagesDefinition() {
  TableDefinition table;
  table.name = u"Msg";
  table.columns = {{.name = u"Id", .type = ColumnType::kLong, .storage = ColumnStorage::kFixed},
                   {.name = u"When", .type = ColumnType::kDateTime},
                   {.name = u"N67b0", .type = ColumnType::kBinary},
                   {.name = u"S1000", .type = ColumnType::kLongText}};
  table.indexes = {{u"MessageId", {u"N67b0"}}, {u"IdAndTime", {u"Id", u"When"}}};
  return table;
}

struct WrittenStore {
  std::set<uint32_t> released_pages;
  uint32_t page_size = 0;
};

// A large table (records released and deleted among them, long values, two indexes) and a
// small one beside it.
WrittenStore WriteStore(const std::filesystem::path& path, DatabaseOptions options) {
  EseDatabaseWriter writer(path, options);
  TableWriter& messages = writer.AddTable(MessagesDefinition());
  TableDefinition small_table;
  small_table.name = u"Small";
  small_table.columns.push_back({.name = u"S3001"});
  TableWriter& small = writer.AddTable(small_table);
  small.Append(Record().Set(u"S3001", std::vector<uint8_t>{1, 2, 3}));
  std::vector<uint32_t> released;
  for (uint32_t number = 1; number <= kRecords; ++number) {
    Record record;
    record.Set(u"Id", static_cast<int32_t>(number % 50))
        .Set(u"When", FileTime{130000000000000000ULL - number * 1000})
        .Set(u"N67b0", std::vector<uint8_t>{1, 0, 0, 0, 0, 0, static_cast<uint8_t>(number >> 8),
                                            static_cast<uint8_t>(number)})
        .Set(u"S1000", std::u16string(number % 10 == 0 ? 700 : 20, u'x'));
    if (Released(number)) {
      released.push_back(messages.AppendReleased(record));
    } else if (Deleted(number)) {
      messages.AppendDeleted(record);
    } else {
      messages.Append(record);
    }
  }
  writer.Finish();
  WrittenStore store;
  store.page_size = options.page_size;
  for (const uint32_t number : released)
    store.released_pages.insert(*messages.PageOfRecord(number));
  return store;
}

std::vector<uint8_t> ReadPage(const std::filesystem::path& path, uint32_t page_size,
                              uint32_t page) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>((static_cast<uint64_t>(page) + 1) * page_size));
  std::vector<uint8_t> bytes(page_size);
  in.read(reinterpret_cast<char*>(bytes.data()), page_size);
  return bytes;
}

void ZeroPage(const std::filesystem::path& path, uint32_t page_size, uint32_t page) {
  std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(static_cast<std::streamoff>((static_cast<uint64_t>(page) + 1) * page_size));
  const std::vector<char> zeros(page_size, 0);
  out.write(zeros.data(), page_size);
}

bool IsZero(const std::vector<uint8_t>& page) {
  return std::all_of(page.begin(), page.end(), [](uint8_t byte) { return byte == 0; });
}

std::set<uint32_t> Pages(const std::vector<ese::PageRun>& runs) {
  std::set<uint32_t> pages;
  for (const ese::PageRun& run : runs) {
    for (uint32_t page = run.first; page <= run.last; ++page) pages.insert(page);
  }
  return pages;
}

struct Layout {
  uint32_t page_size;
  uint32_t revision;
};

// What each tree's space calls available is exactly its pages never written and the pages
// written as released; the database's own space holds only the unwritten tail of the file;
// no page is available to two trees.
TEST(SpaceTrees, CallAvailableExactlyTheUnusedAndReleasedPages) {
  for (const Layout layout : {Layout{4096, 12}, Layout{8192, 14}, Layout{32768, 20}}) {
    SCOPED_TRACE(std::to_string(layout.page_size) + " bytes, revision " +
                 std::to_string(layout.revision));
    ScratchFolder folder;
    const auto path = folder / "space.edb";
    const WrittenStore written = WriteStore(path, {layout.page_size, layout.revision});
    auto opened = ese::Database::Open(path);
    ASSERT_TRUE(opened.database);
    ese::Database& database = *opened.database;
    std::vector<std::pair<uint32_t, uint32_t>> trees = {{1, 1}};  // root page, object id
    for (const ese::TableSchema& table : database.catalog().tables) {
      trees.emplace_back(table.root_page, table.object_id);
      if (table.long_value_root)
        trees.emplace_back(*table.long_value_root, *table.long_value_object_id);
      for (const ese::IndexSchema& index : table.indexes)
        trees.emplace_back(index.root_page, index.object_id);
    }
    std::set<uint32_t> seen;
    std::set<uint32_t> released_seen;
    for (const auto& [root, object] : trees) {
      SCOPED_TRACE("object " + std::to_string(object));
      const auto available =
          ese::ReadAvailableSpace(database.file(), database.layout(), root, object);
      ASSERT_TRUE(available.has_value());
      for (const uint32_t page : Pages(*available)) {
        EXPECT_TRUE(seen.insert(page).second) << "page " << page << " is available twice";
        const std::vector<uint8_t> bytes = ReadPage(path, written.page_size, page);
        if (written.released_pages.contains(page)) {
          released_seen.insert(page);
          EXPECT_EQ(ese::LoadLe32(bytes.data() + ese::page_header::kFatherObjectId), object);
        } else {
          EXPECT_TRUE(IsZero(bytes)) << "page " << page << " is written, yet available";
        }
      }
    }
    EXPECT_EQ(released_seen, written.released_pages);
    EXPECT_FALSE(written.released_pages.empty());
  }
}

// Each index lists every record its table's tree holds, live or deleted, once, under the key
// of its values, with the record's key; released records, which the tree no longer holds,
// have no entry.
TEST(IndexTrees, ListEveryRecordOfTheTreeOnceWithItsKey) {
  ScratchFolder folder;
  const auto path = folder / "indexes.edb";
  WriteStore(path, {8192, 20});
  auto opened = ese::Database::Open(path);
  ASSERT_TRUE(opened.database);
  ese::Database& database = *opened.database;
  const ese::Table* table = database.FindTable(u"Msg");
  ASSERT_NE(table, nullptr);
  std::map<std::vector<uint8_t>, bool> records;  // record key: deleted
  const ese::Tree records_tree(database.file(), database.layout(), table->schema().root_page,
                               table->schema().object_id);
  records_tree.ForEachLeafEntry(
      [&](const ese::Page&, size_t, const ese::PageEntry& entry) {
        records[entry.key] = entry.deleted();
        return true;
      },
      ese::LeafEntries::kLiveAndDeleted);
  ASSERT_EQ(table->schema().indexes.size(), 2u);
  for (const ese::IndexSchema& index : table->schema().indexes) {
    SCOPED_TRACE(Utf16ToUtf8(index.name));
    std::map<std::vector<uint8_t>, bool> listed;
    std::pair<std::vector<uint8_t>, std::vector<uint8_t>> previous;
    const ese::Tree tree(database.file(), database.layout(), index.root_page, index.object_id);
    EXPECT_TRUE(tree.ForEachLeafEntry(
        [&](const ese::Page& page, size_t, const ese::PageEntry& entry) {
          EXPECT_TRUE(page.IsIndex());
          std::pair<std::vector<uint8_t>, std::vector<uint8_t>> current(
              entry.key, std::vector<uint8_t>(entry.data.begin(), entry.data.end()));
          EXPECT_LT(previous, current) << "entries in key order";
          previous = current;
          EXPECT_TRUE(listed.emplace(current.second, entry.deleted()).second) << "listed once";
          return true;
        },
        ese::LeafEntries::kLiveAndDeleted));
    EXPECT_EQ(listed, records);
  }
}

// The deep scan takes the records of released pages for deleted ones by the space trees, and
// falls back on the walk when they cannot be read: whole, a released leaf counts as deleted
// either way; with a leaf of the table lost, the walk met damage, and only the space trees
// still tell that the leaves it did not reach were released, not cut off.
TEST(SpaceTrees, TellTheDeepScanWhichUnreachedLeavesWereReleased) {
  uint32_t released = 0;
  uint32_t deleted = 0;
  for (uint32_t number = 1; number <= kRecords; ++number) {
    if (Released(number)) {
      ++released;
    } else if (Deleted(number)) {
      ++deleted;
    }
  }
  struct Case {
    const char* what;
    bool lose_available_space;
    bool lose_a_leaf;
  };
  for (const Case& damage : {Case{"whole", false, false}, Case{"space lost", true, false},
                             Case{"a leaf lost", false, true}}) {
    SCOPED_TRACE(damage.what);
    ScratchFolder folder;
    const auto path = folder / "scan.edb";
    WriteStore(path, {4096, 20});
    uint32_t root = 0;
    uint32_t owned_space_root = 0;
    {
      auto opened = ese::Database::Open(path);
      ASSERT_TRUE(opened.database);
      const ese::Table* table = opened.database->FindTable(u"Msg");
      ASSERT_NE(table, nullptr);
      root = table->schema().root_page;
      const auto bytes = ReadPage(path, 4096, root);
      ASSERT_NE(ese::LoadLe32(bytes.data() + ese::page_header::kFlags) & ese::page_flag::kLeaf,
                ese::page_flag::kLeaf);
      const size_t header =
          ese::page_header::kSize + (ese::LoadLe16(bytes.data() + 4096 - 2) & 0x1fff);
      owned_space_root = ese::LoadLe32(bytes.data() + header + ese::root_header::kOwnedSpaceRoot);
    }
    if (damage.lose_available_space) ZeroPage(path, 4096, owned_space_root + 1);
    uint32_t lost_entries = 0;
    if (damage.lose_a_leaf) {
      // The root's first child, a leaf.
      auto opened = ese::Database::Open(path);
      const ese::Tree tree(opened.database->file(), opened.database->layout(), root,
                           opened.database->FindTable(u"Msg")->schema().object_id);
      const auto root_page = tree.ReadPage(root);
      const auto child = ese::Page::ChildPage(*root_page->Entry(0));
      const auto leaf = tree.ReadPage(*child);
      ASSERT_TRUE(leaf && leaf->IsLeaf());
      lost_entries = static_cast<uint32_t>(leaf->entry_count());
      ZeroPage(path, 4096, *child);
    }
    auto opened = ese::Database::Open(path);
    ASSERT_TRUE(opened.database->TakeCensus());
    const ese::Table* table = opened.database->FindTable(u"Msg");
    const ese::TableRecovery figures = table->recovery();
    EXPECT_EQ(table->walk_complete(), !damage.lose_a_leaf);
    EXPECT_EQ(figures.live + figures.deleted + figures.recovered, kRecords - lost_entries);
    EXPECT_EQ(figures.recovered, 0u) << "no leaf was cut off";
    if (damage.lose_a_leaf) {
      EXPECT_GT(lost_entries, 0u);
      EXPECT_GE(figures.deleted, released);
    } else {
      EXPECT_EQ(figures.deleted, released + deleted);
    }
  }
}

}  // namespace
}  // namespace tarvex::edbforge
