#pragma once

// Builds edbforge stores into scratch folders and opens them through the program's own store
// readers, as the recovery does: session, catalogue, layout, column positions, value readers.

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ese/database.h"
#include "store/body_state.h"
#include "store/store_session.h"
#include "store/stored_value.h"
#include "store/value_reader.h"

namespace tarvex::edbforge::testing {

std::filesystem::path ScenarioPath(const std::string& name);

// A record read by its number; get() is null when there is none or it cannot be read.
class StoreRecord {
 public:
  StoreRecord() = default;
  explicit StoreRecord(std::optional<ese::Record> record) : record_(std::move(record)) {}
  const ese::Record* get() const { return record_ ? &*record_ : nullptr; }
  explicit operator bool() const { return record_.has_value(); }

 private:
  std::optional<ese::Record> record_;
};

// A built store opened with its catalogue read and its layout recognised.
class OpenedStore {
 public:
  // Null (with a test failure) when the file cannot be opened.
  static std::unique_ptr<OpenedStore> Open(const std::filesystem::path& database,
                                           const std::filesystem::path& working_folder);

  StoreSession& session() { return *session_; }
  ValueReader& reader() { return *reader_; }
  BodyState& body() { return body_; }

  const ese::Table* Table(const std::u16string& table);
  // Position of the column named `column` in table `table` (template columns first), or -1.
  int Column(const std::u16string& table, const std::u16string& column);
  int RecordCount(const std::u16string& table);
  StoreRecord Record(const std::u16string& table, int number);
  // The first record of `table` whose `column` reads as `text`; empty when there is none.
  StoreRecord RecordWhere(const std::u16string& table, const std::u16string& column,
                          const std::u16string& text);
  // The same by an identifier column read big-endian.
  StoreRecord RecordWithId(const std::u16string& table, const std::u16string& column,
                           const std::u16string& id);
  std::optional<std::u16string> Text(const ese::Record* record, const std::u16string& table,
                                     const std::u16string& column);
  // An identifier column as text, big-endian unless told; a time column read little-endian.
  std::optional<std::u16string> Id(const ese::Record* record, const std::u16string& table,
                                   const std::u16string& column,
                                   ByteOrder order = ByteOrder::kBigEndian);
  std::optional<std::u16string> Time(const ese::Record* record, const std::u16string& table,
                                     const std::u16string& column);

 private:
  std::unique_ptr<StoreSession> session_;
  BodyState body_;
  std::unique_ptr<ValueReader> reader_;
};

}  // namespace tarvex::edbforge::testing
