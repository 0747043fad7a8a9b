#include "store/store_session.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/recording_window_port.h"
#include "support/sample_files.h"
#include "support/test_files.h"

namespace tarvex::testing {
namespace {

std::unique_ptr<StoreSession> OpenOrFail(const std::filesystem::path& path) {
  StoreSession::OpenResult result = StoreSession::Open(path);
  if (auto* session = std::get_if<std::unique_ptr<StoreSession>>(&result)) {
    return std::move(*session);
  }
  ADD_FAILURE() << "cannot open " << path;
  return nullptr;
}

std::vector<std::u16string> CatalogNames(const StoreSession& session) {
  std::vector<std::u16string> names;
  for (const TableEntry& entry : session.catalog().entries()) names.push_back(entry.name);
  return names;
}

TEST(StoreSession, OpensAnEngineWrittenDatabaseAndListsItsTables) {
  const auto sample = UnpackedSample::Unpack("basic");
  ASSERT_TRUE(sample);
  const auto session = OpenOrFail(sample->DatabasePath());
  ASSERT_TRUE(session);
  EXPECT_EQ(session->format_version(), 0x620u);
  EXPECT_EQ(session->format_revision(), 20u);
  EXPECT_EQ(session->creation_format_revision(), 20u);
  EXPECT_EQ(session->page_size(), 4096u);
  EXPECT_EQ(session->attachment_table_name(), u"");

  ASSERT_EQ(session->BuildTableCatalog(), CatalogResult::kComplete);
  const std::vector<std::u16string> names = CatalogNames(*session);
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.front(), u"MSysObjects");
  EXPECT_TRUE(session->catalog().Contains(u"basic"));
  for (const TableEntry& entry : session->catalog().entries()) {
    ASSERT_NE(entry.table, nullptr);
    EXPECT_EQ(entry.table->name(), entry.name);
    EXPECT_EQ(entry.folder_key, u"");
  }
  session->RecogniseLayout();
  EXPECT_EQ(session->store_kind(), StoreKind::kPublic);
  EXPECT_TRUE(session->Is2010Layout());
  EXPECT_EQ(session->message_table(), nullptr);

  const ese::Table* basic = session->OpenTableByName(u"basic");
  ASSERT_NE(basic, nullptr);
  EXPECT_EQ(basic->name(), u"basic");
  EXPECT_EQ(session->OpenTableByName(u"no such table"), nullptr);
  EXPECT_EQ(session->current_table(), basic) << "a failed lookup keeps the current table";
}

TEST(StoreSession, TableScanFillsTheDirectoryAndCyclesProgress) {
  const auto sample = UnpackedSample::Unpack("basic");
  ASSERT_TRUE(sample);
  const auto session = OpenOrFail(sample->DatabasePath());
  ASSERT_TRUE(session);
  ASSERT_EQ(session->BuildTableCatalog(), CatalogResult::kComplete);
  const ese::Table* table = session->OpenTableByName(u"basic");
  ASSERT_NE(table, nullptr);

  RecordingWindowPort window;
  PauseGate gate;
  std::vector<std::uint32_t> handed;
  int absent = 0;
  const RecordHandler handler = [&](const ese::Record* record, std::uint32_t number) {
    handed.push_back(number);
    EXPECT_EQ(number, session->current_record_number());
    if (!record) ++absent;
  };
  EXPECT_TRUE(session->ScanTable(table, ColumnLookup::kContent, handler, {window, gate}));
  ASSERT_FALSE(handed.empty());
  EXPECT_EQ(absent, 0);
  for (std::size_t i = 0; i < handed.size(); ++i) EXPECT_EQ(handed[i], i);
  // One position per record starting at 0, then 0 at the end.
  ASSERT_EQ(window.progress_positions.size(), handed.size() + 1);
  EXPECT_EQ(window.progress_positions.front(), 0);
  EXPECT_EQ(window.progress_positions.back(), 0);
}

TEST(StoreSession, FilesThatAreNoDatabaseFailToOpen) {
  ScratchFolder folder;
  WriteFile(folder / "notes.edb", "this is not an ESE database\n");
  WriteFile(folder / "empty.edb", "");
  for (const char* name : {"missing.edb", "notes.edb", "empty.edb"}) {
    StoreSession::OpenResult result = StoreSession::Open(folder / name);
    ASSERT_TRUE(std::holds_alternative<StoreOpenFailure>(result)) << name;
    EXPECT_EQ(std::get<StoreOpenFailure>(result), StoreOpenFailure::kCannotOpen) << name;
  }
}

TEST(StoreSession, RecordsOfThirtyTwoKibPagesAreAllRead) {
  // The engine's 32 KiB sample, whose user records libesedb 20181229 cannot read.
  const auto sample = testing::UnpackedSample::Unpack("large");
  ASSERT_TRUE(sample);
  StoreSession::OpenResult result = StoreSession::Open(sample->DatabasePath());
  auto* session = std::get_if<std::unique_ptr<StoreSession>>(&result);
  ASSERT_TRUE(session);
  EXPECT_EQ((*session)->page_size(), 32768u);
  ASSERT_EQ((*session)->BuildTableCatalog(), CatalogResult::kComplete);
  const ese::Table* table = (*session)->OpenTableByName(u"large");
  ASSERT_NE(table, nullptr);
  testing::RecordingWindowPort window;
  PauseGate gate;
  int absent = 0;
  int handed = 0;
  EXPECT_TRUE((*session)->ScanTable(table, ColumnLookup::kContent,
                                    [&](const ese::Record* record, std::uint32_t) {
                                      ++handed;
                                      if (!record) ++absent;
                                    },
                                    {window, gate}));
  EXPECT_GT(handed, 0);
  EXPECT_EQ(handed, static_cast<int>(table->record_count()));
  EXPECT_EQ(absent, 0);
  EXPECT_EQ(window.progress_positions.back(), 0);
}

}  // namespace
}  // namespace tarvex::testing
