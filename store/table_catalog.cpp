#include "store/table_catalog.h"

#include <algorithm>

#include "base/utf16_text.h"

namespace tarvex {

void TableCatalog::Append(TableEntry entry) {
  upper_case_folder_keys_.insert(ToAsciiUpper(entry.folder_key));
  entries_.push_back(std::move(entry));
}

void TableCatalog::Clear() {
  entries_.clear();
  upper_case_folder_keys_.clear();
}

bool TableCatalog::Contains(std::u16string_view name) const {
  return std::any_of(entries_.begin(), entries_.end(),
                     [name](const TableEntry& entry) { return entry.name == name; });
}

bool TableCatalog::HasFolderTable(std::u16string_view folder_key) const {
  return upper_case_folder_keys_.contains(ToAsciiUpper(folder_key));
}

}  // namespace tarvex
