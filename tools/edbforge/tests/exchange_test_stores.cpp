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

libesedb_table_t* OpenedStore::Table(const std::u16string& table) {
  // Handles stay open for the store's life, so records read from them stay valid.
  if (const auto found = tables_.find(table); found != tables_.end()) return found->second.get();
  for (const TableEntry& entry : session_->catalog().entries()) {
    if (entry.name == table) {
      EsedbTable handle = GetTable(session_->file(), entry.index);
      libesedb_table_t* raw = handle.get();
      tables_.emplace(table, std::move(handle));
      return raw;
    }
  }
  return nullptr;
}

int OpenedStore::Column(const std::u16string& table, const std::u16string& column) {
  libesedb_table_t* handle = Table(table);
  if (handle == nullptr) return -1;
  int count = 0;
  if (libesedb_table_get_number_of_columns(handle, &count, 0, nullptr) != 1) return -1;
  for (int position = 0; position < count; ++position) {
    const EsedbColumn entry = GetColumn(handle, position);
    if (entry && ColumnName(entry.get()) == column) return position;
  }
  return -1;
}

int OpenedStore::RecordCount(const std::u16string& table) {
  libesedb_table_t* handle = Table(table);
  int count = -1;
  if (handle != nullptr) libesedb_table_get_number_of_records(handle, &count, nullptr);
  return count;
}

EsedbRecord OpenedStore::RecordWhere(const std::u16string& table, const std::u16string& column,
                                     const std::u16string& text) {
  const int position = Column(table, column);
  const int count = RecordCount(table);
  if (position < 0) return {};
  for (int number = 0; number < count; ++number) {
    EsedbRecord record = GetRecord(Table(table), number);
    if (record && reader_->ReadValueText(record.get(), position) == text) return record;
  }
  return {};
}

EsedbRecord OpenedStore::RecordWithId(const std::u16string& table, const std::u16string& column,
                                      const std::u16string& id) {
  const int position = Column(table, column);
  const int count = RecordCount(table);
  if (position < 0) return {};
  for (int number = 0; number < count; ++number) {
    EsedbRecord record = GetRecord(Table(table), number);
    if (record && reader_->ReadIdText(record.get(), position, ByteOrder::kBigEndian) == id) {
      return record;
    }
  }
  return {};
}

std::optional<std::u16string> OpenedStore::Text(libesedb_record_t* record,
                                                const std::u16string& table,
                                                const std::u16string& column) {
  const int position = Column(table, column);
  if (position < 0) return std::nullopt;
  return reader_->ReadValueText(record, position);
}

}  // namespace tarvex::edbforge::testing
