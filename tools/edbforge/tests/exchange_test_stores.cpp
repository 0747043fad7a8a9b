#include "exchange_test_stores.h"

#include <gtest/gtest.h>

namespace tarvex::edbforge::testing {

std::filesystem::path ScenarioPath(const std::string& name) {
  return std::filesystem::path(EDBFORGE_SCENARIOS_DIR) / name;
}

std::unique_ptr<OpenedStore> OpenedStore::Open(const std::filesystem::path& database) {
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
  return store;
}

int OpenedStore::RecordCount(const std::u16string& table) {
  for (const TableEntry& entry : session_->catalog().entries()) {
    if (entry.name == table) return static_cast<int>(entry.table->record_count());
  }
  return -1;
}

}  // namespace tarvex::edbforge::testing
