#include "mailbox/table_columns.h"

namespace tarvex {

bool TableColumns::Find(StoreSession& session, libesedb_table_t* table, ColumnLookup lookup,
                        bool stop_at_unreadable) {
  positions_.clear();
  int count = 0;
  if (table == nullptr || libesedb_table_get_number_of_columns(table, &count, 0, nullptr) != 1) {
    return false;
  }
  bool all_read = true;
  for (int position = 0; position < count; ++position) {
    const EsedbColumn column = GetColumn(table, position);
    const std::optional<std::u16string> name = column ? ColumnName(column.get()) : std::nullopt;
    if (!name) {
      all_read = false;
      if (stop_at_unreadable) return false;
      continue;
    }
    session.columns().Offer(lookup, static_cast<std::uint32_t>(position), *name);
    positions_.insert_or_assign(*name, position);
  }
  return all_read;
}

std::optional<int> TableColumns::Entry(std::u16string_view name) const {
  const auto found = positions_.find(name);
  if (found == positions_.end() || found->second == 0) return std::nullopt;
  return found->second;
}

}  // namespace tarvex
