#pragma once

// Every table of the open database, in catalogue order.

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "ese/database.h"

namespace tarvex {

struct TableEntry {
  int index = 0;  // position in the database's table list
  std::u16string name;
  // The database owns every table for the session's lifetime; this is never null.
  const ese::Table* table = nullptr;
  std::u16string folder_key;  // "1-4FD" gives "1000000000004FD"; empty for other names
};

class TableCatalog {
 public:
  void Append(TableEntry entry);
  void Clear();

  const std::vector<TableEntry>& entries() const { return entries_; }
  bool empty() const { return entries_.empty(); }

  bool Contains(std::u16string_view name) const;

  // True when a table's folder key equals `folder_key`, compared without regard to case.
  bool HasFolderTable(std::u16string_view folder_key) const;

 private:
  std::vector<TableEntry> entries_;
  std::unordered_set<std::u16string> upper_case_folder_keys_;  // asked once per folder
};

}  // namespace tarvex
