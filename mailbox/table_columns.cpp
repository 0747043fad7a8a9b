#include "mailbox/table_columns.h"

namespace tarvex {

bool TableColumns::Find(StoreSession& session, const ese::Table* table, ColumnLookup lookup) {
  positions_.clear();
  if (table == nullptr) return false;
  const auto& columns = table->columns();
  for (std::size_t position = 0; position < columns.size(); ++position) {
    const std::u16string& name = columns[position].name;
    session.columns().Offer(lookup, static_cast<std::uint32_t>(position), name);
    positions_.insert_or_assign(name, static_cast<int>(position));
  }
  return true;
}

std::optional<int> TableColumns::Entry(std::u16string_view name) const {
  const auto found = positions_.find(name);
  if (found == positions_.end() || found->second == 0) return std::nullopt;
  return found->second;
}

}  // namespace tarvex
