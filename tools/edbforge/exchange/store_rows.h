#pragma once

// The rows one mailbox, folder or item becomes in each layout. Explicit cells of the scenario
// win over the columns the builder fills in itself (identifiers, class, paths, counts).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/edbforge/exchange/identifier.h"
#include "tools/edbforge/exchange/store_description.h"

namespace tarvex::edbforge {

// A folder as the builder numbers and names it.
struct PlannedFolder {
  size_t mailbox = 0;            // index of its mailbox (0 in a public store)
  std::optional<size_t> parent;  // index of its parent folder; none for a root row
  const FolderDescription* description = nullptr;  // null for the root row the builder adds
  Identifier id;
  std::u16string path;           // older layout: the URL path ("S6707") its children extend
  std::u16string content_table;  // older layout
  std::u16string header_table, body_table;  // 2010 layout
  // 2010 layout: the folder's view, its live items by delivery time (none for a mailbox's
  // root row)
  std::u16string view_table;
  std::string place;
  uint32_t item_count = 0;
};

struct PlannedMailbox {
  const MailboxDescription* description = nullptr;
  Identifier id;
  std::u16string table_suffix;
  std::string place;
};

struct ItemIds {
  Identifier message;
  std::vector<Identifier> attachments;
};

struct ItemRows {
  Cells main;                      // older: "Msg"; 2010: the "Body-" row
  Cells listing;                   // older: the folder's content table; 2010: the "MsgHeader-" row
  std::vector<Cells> attachments;  // older: the attachment table; 2010: "Body-" rows
};

Cells MailboxRow(const PlannedMailbox& mailbox);

// `parent_id` is the folder row's "Q6749" (none leaves it out); `mailbox_id` its "Q6764".
Cells FolderRow(StoreLayout layout, const PlannedFolder& folder,
                const std::optional<Identifier>& parent_id,
                const std::optional<Identifier>& mailbox_id);

ItemRows MakeItemRows(StoreLayout layout, const PlannedFolder& folder, const ItemDescription& item,
                      const ItemIds& ids, uint32_t position);

// The URL path segment of a folder name: "%", "/", "#" and "+" escaped.
std::u16string EscapePathSegment(std::u16string_view name);

}  // namespace tarvex::edbforge
