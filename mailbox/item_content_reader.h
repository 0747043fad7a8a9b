#pragma once

// A listed item's body and recipients read from its record into memory, for a search: the body
// the preview would show, found by the preview's routes in the preview's order, as text (an
// HTML body without its markup), and the recipients the preview finds; no file is written.

#include <string>
#include <unordered_map>

#include "mailbox/item_extraction.h"
#include "mailbox/recovery.h"
#include "mailbox/table_columns.h"

namespace tarvex {

struct ItemContent {
  std::u16string recipients;  // To, Cc and Bcc, one per line
  std::u16string body;
};

// Older layout: the body an item shows from its "Msg" row, as text (but a distribution list
// shows none); `columns` are the "Msg" table's. It reads nothing but the record.
std::u16string OlderMessageBody(const ese::Record& record, const TableColumns& columns);

class ItemContentReader {
 public:
  // Older layout: the "Msg" columns are found here, once: finding columns writes the session's
  // column directory, which other threads may read while this reader works.
  explicit ItemContentReader(Recovery& recovery);

  // The body is read only when `with_body`: the recipients alone need no more than the record.
  ItemContent Read(const ItemListRow& row, bool with_body);

 private:
  ItemContent ReadOlder(const ItemListRow& row, bool with_body);
  ItemContent Read2010(const ItemListRow& row, bool with_body);
  // The columns of a table, found once per search.
  const TableColumns& ColumnsOf(const ese::Table* table, ColumnLookup lookup);

  Recovery& recovery_;
  std::unordered_map<const ese::Table*, TableColumns> columns_;
};

}  // namespace tarvex
