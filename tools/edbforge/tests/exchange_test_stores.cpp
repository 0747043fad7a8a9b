#include "exchange_test_stores.h"

#include <gtest/gtest.h>

namespace tarvex::edbforge::testing {

std::filesystem::path ScenarioPath(const std::string& name) {
  return std::filesystem::path(EDBFORGE_SCENARIOS_DIR) / name;
}

std::unique_ptr<OpenedStore> OpenedStore::Open(const std::filesystem::path& database,
                                               const std::filesystem::path& working_folder) {
  StoreSession::OpenResult result = StoreSession::Open(database);
  auto* session = std::get_if<std::unique_ptr<StoreSession>>(&result);
  if (session == nullptr) {
    ADD_FAILURE() << "cannot open " << database;
    return nullptr;
  }
  std::unique_ptr<OpenedStore> store(new OpenedStore);
  store->session_ = std::move(*session);
  EXPECT_EQ(store->session_->BuildTableCatalog(), CatalogResult::kComplete);
  store->session_->RecogniseLayout();
  store->reader_ = std::make_unique<ValueReader>(*store->session_, working_folder, store->body_);
  return store;
}

const ese::Table* OpenedStore::Table(const std::u16string& table) {
  // The session's database owns its tables for the store's life.
  for (const TableEntry& entry : session_->catalog().entries()) {
    if (entry.name == table) return entry.table;
  }
  return nullptr;
}

int OpenedStore::Column(const std::u16string& table, const std::u16string& column) {
  const ese::Table* handle = Table(table);
  if (handle == nullptr) return -1;
  const std::optional<std::size_t> position = handle->FindColumn(column);
  return position ? static_cast<int>(*position) : -1;
}

int OpenedStore::RecordCount(const std::u16string& table) {
  const ese::Table* handle = Table(table);
  return handle != nullptr ? static_cast<int>(handle->record_count()) : -1;
}

StoreRecord OpenedStore::Record(const std::u16string& table, int number) {
  const ese::Table* handle = Table(table);
  if (handle == nullptr || number < 0) return StoreRecord();
  return StoreRecord(handle->ReadRecord(static_cast<std::uint32_t>(number)));
}

StoreRecord OpenedStore::RecordWhere(const std::u16string& table, const std::u16string& column,
                                     const std::u16string& text) {
  const int position = Column(table, column);
  const int count = RecordCount(table);
  if (position < 0) return {};
  for (int number = 0; number < count; ++number) {
    StoreRecord record = Record(table, number);
    if (record && reader_->ReadValueText(record.get(), position) == text) return record;
  }
  return {};
}

StoreRecord OpenedStore::RecordWithId(const std::u16string& table, const std::u16string& column,
                                      const std::u16string& id) {
  const int position = Column(table, column);
  const int count = RecordCount(table);
  if (position < 0) return {};
  for (int number = 0; number < count; ++number) {
    StoreRecord record = Record(table, number);
    if (record && reader_->ReadIdText(record.get(), position, ByteOrder::kBigEndian) == id) {
      return record;
    }
  }
  return {};
}

std::optional<std::u16string> OpenedStore::Text(const ese::Record* record,
                                                const std::u16string& table,
                                                const std::u16string& column) {
  const int position = Column(table, column);
  if (position < 0) return std::nullopt;
  return reader_->ReadValueText(record, position);
}

std::optional<std::u16string> OpenedStore::Id(const ese::Record* record,
                                              const std::u16string& table,
                                              const std::u16string& column, ByteOrder order) {
  return reader_->ReadIdText(record, Column(table, column), order);
}

std::optional<std::u16string> OpenedStore::Time(const ese::Record* record,
                                                const std::u16string& table,
                                                const std::u16string& column) {
  return reader_->ReadTimeText(record, Column(table, column), ByteOrder::kLittleEndian);
}

}  // namespace tarvex::edbforge::testing
