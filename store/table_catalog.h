#pragma once

// Every table of the open database, in the library's order.

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "store/esedb_handles.h"

namespace tarvex {

struct TableEntry {
  int index = 0;  // position in the library's table list; used to open the table again
  std::u16string name;
  // Kept open only for the tables read again and again ("Msg", "Mailbox", "Folders" and the
  // attachment table); empty for every other table.
  EsedbTable table;
  std::u16string folder_key;  // "1-4FD" gives "1000000000004FD"; empty for other names
};

class TableCatalog {
 public:
  void Append(TableEntry entry);
  void Clear();

  const std::vector<TableEntry>& entries() const { return entries_; }
  std::vector<TableEntry>& entries() { return entries_; }
  bool empty() const { return entries_.empty(); }

  bool Contains(std::u16string_view name) const;

  // True when a table's folder key equals `folder_key`, compared without regard to case.
  bool HasFolderTable(std::u16string_view folder_key) const;

 private:
  std::vector<TableEntry> entries_;
  std::unordered_set<std::u16string> upper_case_folder_keys_;  // asked once per folder
};

}  // namespace tarvex
