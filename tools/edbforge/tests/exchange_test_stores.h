#pragma once

// Scenario files, and edbforge stores opened through the program's own store session as the
// recovery opens them: catalogue read, layout recognised.

#include <filesystem>
#include <memory>
#include <string>

#include "store/store_session.h"

namespace tarvex::edbforge::testing {

std::filesystem::path ScenarioPath(const std::string& name);

class OpenedStore {
 public:
  // Null (with a test failure) when the file cannot be opened.
  static std::unique_ptr<OpenedStore> Open(const std::filesystem::path& database);

  StoreSession& session() { return *session_; }
  // The number of records of `table`, or -1 when the catalogue has no such table.
  int RecordCount(const std::u16string& table);

 private:
  std::unique_ptr<StoreSession> session_;
};

}  // namespace tarvex::edbforge::testing
