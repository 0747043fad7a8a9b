#include "bench/header_read.h"

#include <optional>
#include <string_view>

#include "store/stored_value.h"

namespace tarvex::bench {
namespace {

std::optional<int> ColumnEntry(const ese::Table& table, std::u16string_view name) {
  const auto& columns = table.columns();
  for (std::size_t position = columns.size(); position-- > 1;) {
    if (columns[position].name == name) return static_cast<int>(position);
  }
  return std::nullopt;
}

void ReadTable(const ese::Table& table, HeaderReadTally& tally) {
  const std::optional<int> headers = ColumnEntry(table, u"S7d");
  ++tally.tables;
  table.ForEachRecord([&](std::uint32_t, const ese::Record* record) {
    ++tally.records;
    if (record == nullptr || !headers) return true;
    const std::optional<RawValue> raw = GetRawValue(record, *headers);
    if (!raw) return true;
    if ((raw->flags & kValueFlagLongValue) == 0) {
      tally.header_bytes += raw->bytes.size();
      return true;
    }
    ForEachLongValueSegment(*record, raw->bytes, [&](std::span<const std::uint8_t> segment) {
      tally.header_bytes += segment.size();
    });
    return true;
  });
}

}  // namespace

HeaderReadTally ReadHeaderTables(const StoreSession& session) {
  HeaderReadTally tally;
  for (const TableEntry& entry : session.catalog().entries()) {
    const bool header_table = session.Is2010Layout() ? entry.name.starts_with(u"MsgHeader-")
                                                     : !entry.folder_key.empty();
    if (header_table) ReadTable(*entry.table, tally);
  }
  if (!session.Is2010Layout() && session.message_table() != nullptr) {
    ReadTable(*session.message_table(), tally);
  }
  return tally;
}

}  // namespace tarvex::bench
