// Damaged databases: cut short, a catalogue page overwritten half way, garbage after a sound
// header. Opening and cataloguing them must end in a failure result, never in a crash.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "base/utf_conversion.h"
#include "ese/database.h"
#include "store/store_session.h"
#include "store/stored_value.h"
#include "support/recording_window_port.h"
#include "support/test_files.h"
#include "tools/edbforge/ese/database_writer.h"

namespace tarvex::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kPageSize = 4096;

std::u16string Numbered(std::u16string_view prefix, int number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%05d", number);
  return std::u16string(prefix) + Utf8ToUtf16(digits);
}

// One table of `records` records with a text column that fills several pages.
void WriteStore(const std::filesystem::path& path, int tables, int records) {
  edbforge::EseDatabaseWriter writer(path, {.page_size = kPageSize, .format_revision = 20});
  edbforge::TableDefinition definition;
  definition.columns.push_back({.name = u"Id",
                                .type = edbforge::ColumnType::kLong,
                                .storage = edbforge::ColumnStorage::kFixed});
  definition.columns.push_back({.name = u"Text",
                                .type = edbforge::ColumnType::kText,
                                .storage = edbforge::ColumnStorage::kTagged});
  for (int t = 0; t < tables; ++t) {
    definition.name = Numbered(u"Table", t);
    edbforge::TableWriter& table = writer.AddTable(definition);
    for (int r = 0; r < records; ++r) {
      table.Append(edbforge::Record()
                       .Set(u"Id", static_cast<int32_t>(r))
                       .Set(u"Text", Numbered(u"some text of a record, numbered ", r)));
    }
  }
  writer.Finish();
}

struct Outcome {
  bool opened = false;
  StoreOpenFailure failure = StoreOpenFailure::kCannotInitialize;
  CatalogResult catalog = CatalogResult::kFailed;
  std::size_t entries = 0;
};

// Opens, catalogues and reads every record of every table it can.
Outcome OpenAndCatalog(const std::filesystem::path& path) {
  Outcome outcome;
  StoreSession::OpenResult result = StoreSession::Open(path);
  if (auto* failure = std::get_if<StoreOpenFailure>(&result)) {
    outcome.failure = *failure;
    return outcome;
  }
  StoreSession& session = *std::get<std::unique_ptr<StoreSession>>(result);
  outcome.opened = true;
  outcome.catalog = session.BuildTableCatalog();
  outcome.entries = session.catalog().entries().size();
  for (const TableEntry& entry : session.catalog().entries()) {
    const ese::Table* table = session.OpenTableByName(entry.name);
    if (table == nullptr) continue;
    table->ForEachRecord([](std::uint32_t, const ese::Record* record) {
      if (record != nullptr) GetRawValue(record, 1);
      return true;
    });
  }
  return outcome;
}

// The engine's own tables besides those written: MSysObjects, its shadow, MSysObjids and
// MSysLocales.
constexpr std::size_t kSystemTables = 4;

// A damaged file either does not open or lists fewer tables than written.
void ExpectFailureResult(const Outcome& outcome, std::size_t tables_written) {
  if (!outcome.opened) {
    EXPECT_EQ(outcome.failure, StoreOpenFailure::kCannotOpen);
    return;
  }
  EXPECT_EQ(outcome.catalog, CatalogResult::kFailed);
  EXPECT_LT(outcome.entries, tables_written + kSystemTables);
}

TEST(DamagedStore, TruncatedDatabasesFailCleanly) {
  ScratchFolder folder;
  WriteStore(folder / "whole.edb", 1, 400);
  const Bytes whole = FileBytes(folder / "whole.edb");
  ASSERT_GE(whole.size(), 10 * kPageSize);
  {
    const Outcome outcome = OpenAndCatalog(folder / "whole.edb");
    ASSERT_TRUE(outcome.opened);
    EXPECT_EQ(outcome.catalog, CatalogResult::kComplete);
    EXPECT_EQ(outcome.entries, 1 + kSystemTables);
  }
  for (std::size_t size : {whole.size() / 2, 3 * kPageSize, kPageSize + 100}) {
    SCOPED_TRACE(size);
    WriteFile(folder / "cut.edb", Bytes(whole.begin(), whole.begin() + static_cast<long>(size)));
    const Outcome outcome = OpenAndCatalog(folder / "cut.edb");
    if (outcome.opened && outcome.catalog == CatalogResult::kComplete) {
      // Cut after the catalogue: the tables list, their records cannot all be read.
      EXPECT_EQ(outcome.entries, 1 + kSystemTables);
    } else {
      ExpectFailureResult(outcome, 1);
    }
  }
}

// Where the data of a table's first record lies in the file, found by our reader's walk.
std::optional<std::size_t> FirstRecordOffset(const std::filesystem::path& path,
                                             std::u16string_view table_name) {
  const ese::Database::OpenResult opened = ese::Database::Open(path);
  const ese::Table* table = opened.database ? opened.database->FindTable(table_name) : nullptr;
  if (table == nullptr) return std::nullopt;
  const ese::Tree tree(opened.database->file(), opened.database->layout(),
                       table->schema().root_page, table->schema().object_id);
  std::optional<std::size_t> offset;
  tree.ForEachLeafEntry([&](const ese::Page& page, std::size_t, const ese::PageEntry& entry) {
    offset = (page.number() + 1) * kPageSize +
             static_cast<std::size_t>(entry.data.data() - page.bytes()->data());
    return false;
  });
  return offset;
}

TEST(DamagedStore, UnreadableRecordsAreHandedOnAsAbsent) {
  ScratchFolder folder;
  WriteStore(folder / "store.edb", 1, 400);
  const std::optional<std::size_t> first = FirstRecordOffset(folder / "store.edb", u"Table00000");
  ASSERT_TRUE(first);
  // Variable values said to start beyond the record's end.
  Bytes file = FileBytes(folder / "store.edb");
  file[*first + 2] = 0xFF;
  file[*first + 3] = 0xFF;
  WriteFile(folder / "store.edb", file);

  StoreSession::OpenResult result = StoreSession::Open(folder / "store.edb");
  auto* session = std::get_if<std::unique_ptr<StoreSession>>(&result);
  ASSERT_TRUE(session);
  ASSERT_EQ((*session)->BuildTableCatalog(), CatalogResult::kComplete);
  const ese::Table* table = (*session)->OpenTableByName(u"Table00000");
  ASSERT_NE(table, nullptr);
  testing::RecordingWindowPort window;
  PauseGate gate;
  std::vector<std::uint32_t> absent;
  std::uint32_t handed = 0;
  (*session)->ScanRecords(table,
                          [&](const ese::Record* record, std::uint32_t number) {
                            ++handed;
                            if (record == nullptr) absent.push_back(number);
                          },
                          {window, gate});
  EXPECT_EQ(handed, 400u);
  EXPECT_EQ(absent, std::vector<std::uint32_t>{0});
  EXPECT_EQ(window.progress_positions.back(), 0);
}

// Page header fields of format 0x620 with 4096-byte pages.
constexpr std::size_t kObjectIdOffset = 24;
constexpr std::size_t kFlagsOffset = 36;
constexpr std::uint32_t kLeafPage = 0x0002;
constexpr std::uint32_t kCatalogObjectId = 2;
constexpr std::uint32_t kCatalogShadowObjectId = 3;

std::uint32_t Read32(const Bytes& bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes[offset]) |
         static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

// File offsets of the leaf pages of a catalogue copy (the first two pages are the headers).
std::vector<std::size_t> CatalogLeafPages(const Bytes& file, std::uint32_t object_id) {
  std::vector<std::size_t> pages;
  for (std::size_t offset = 2 * kPageSize; offset + kPageSize <= file.size(); offset += kPageSize) {
    if (Read32(file, offset + kObjectIdOffset) == object_id &&
        (Read32(file, offset + kFlagsOffset) & kLeafPage) != 0) {
      pages.push_back(offset);
    }
  }
  return pages;
}

constexpr int kManyTables = 1500;

void Garble(Bytes& file, std::size_t page) {
  std::mt19937 random(static_cast<std::uint32_t>(page));
  for (std::size_t i = 0; i < kPageSize; ++i) file[page + i] = static_cast<std::uint8_t>(random());
}

void Zero(Bytes& file, std::size_t page) {
  std::fill(file.begin() + static_cast<long>(page),
            file.begin() + static_cast<long>(page + kPageSize), std::uint8_t{0});
}

// A leaf of the catalogue lost half way is read from its shadow copy; the tables of a leaf lost
// in both copies are gone, and the catalogue says so.
TEST(DamagedStore, CatalogueLeafLostIsReadFromItsShadowUnlessLostInBoth) {
  ScratchFolder folder;
  WriteStore(folder / "whole.edb", kManyTables, 1);
  const Bytes whole = FileBytes(folder / "whole.edb");
  const std::vector<std::size_t> leaves = CatalogLeafPages(whole, kCatalogObjectId);
  const std::vector<std::size_t> shadow = CatalogLeafPages(whole, kCatalogShadowObjectId);
  ASSERT_GE(leaves.size(), 10u);
  ASSERT_EQ(shadow.size(), leaves.size());
  for (const bool both : {false, true}) {
    for (auto damage : {Garble, Zero}) {
      SCOPED_TRACE(both ? "both copies" : "the catalogue only");
      Bytes broken = whole;
      damage(broken, leaves[leaves.size() / 2]);
      if (both) damage(broken, shadow[shadow.size() / 2]);
      WriteFile(folder / "broken.edb", broken);
      const Outcome outcome = OpenAndCatalog(folder / "broken.edb");
      ASSERT_TRUE(outcome.opened);
      if (!both) {
        EXPECT_EQ(outcome.catalog, CatalogResult::kComplete);
        EXPECT_EQ(outcome.entries, kManyTables + kSystemTables);
      } else {
        EXPECT_GT(outcome.entries, kManyTables / 2u);
        ExpectFailureResult(outcome, kManyTables);
      }
    }
  }
}

TEST(DamagedStore, GarbageAfterASoundHeaderFailsCleanly) {
  ScratchFolder folder;
  WriteStore(folder / "whole.edb", 3, 100);
  Bytes file = FileBytes(folder / "whole.edb");
  std::mt19937 random(7);
  for (std::size_t i = 2 * kPageSize; i < file.size(); ++i) {
    file[i] = static_cast<std::uint8_t>(random());
  }
  WriteFile(folder / "garbage.edb", file);
  ExpectFailureResult(OpenAndCatalog(folder / "garbage.edb"), 3);
}

}  // namespace
}  // namespace tarvex::testing
