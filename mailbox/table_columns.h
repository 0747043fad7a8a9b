#pragma once

// Where one table keeps its columns, found by name in one pass. A column that a table lacks
// reads as absent here, never as the column another table kept at that position.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "mailbox/text_indexes.h"
#include "store/store_session.h"

namespace tarvex {

class TableColumns {
 public:
  // Reads every column name of `table`. Each is also offered to the session's column directory
  // under `lookup`, for the readers that work from the directory. False without a table.
  bool Find(StoreSession& session, const ese::Table* table, ColumnLookup lookup);

  // The value entry of the column named exactly `name` (the later one of two such columns);
  // none when the table lacks it or keeps it at position 0, which the program never reads.
  std::optional<int> Entry(std::u16string_view name) const;

 private:
  std::unordered_map<std::u16string, int, TextHash, std::equal_to<>> positions_;
};

}  // namespace tarvex
