#pragma once

// Filling the item list when a folder is selected, and finding a listed item's body row.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mailbox/item_extraction.h"
#include "mailbox/recovery.h"

namespace tarvex {

// Lists the items of the folder whose tree node is `selected` (nothing for the root and
// mailbox nodes). 2010 layout: a mailbox's header and body tables are scanned on the first
// selection of one of its folders and kept.
void LoadMailbox(Recovery& recovery, TreeNodeHandle selected);

// The rows a selection of the node would list, in the list's order, without touching the
// window's list or the plain bodies a listing keeps. 2010 layout: the rows come from the
// mailbox's header table; its body table, where the items' records are found, is read too
// only `with_body_rows`. Older layout: read with `options`; an item the prefilter turns away
// keeps its place in the list as an empty row.
std::vector<ItemListRow> ListFolderRows(Recovery& recovery, TreeNodeHandle node,
                                        bool with_body_rows = true,
                                        const FolderReadOptions& options = {});

// 2010 layout: reads the header and body tables of the folder's mailbox (a public folder's
// own tables) unless an earlier selection did. False when the work was cancelled.
bool LoadHeadersAndBodies(Recovery& recovery, const FolderNode& folder);

// Older layout: hands the items of the content table whose folder key is `content_key` to the
// sink, read for `use`.
void LoadFolder(Recovery& recovery, std::u16string_view content_key, const FolderItemSink& sink,
                FolderItemUse use = FolderItemUse::kListing);

// The number of items a selection of each folder would list, by tree node, without listing
// them (for tree views that show counts): one pass over the folders, each content table found
// once; the older layout reads each row only as far as it must. A folder that is not in the
// map has no items.
std::unordered_map<TreeNodeHandle, std::size_t> CountItemsByFolder(Recovery& recovery);

struct ItemBodyLocation {
  std::uint32_t record_number = 0;
  std::u16string attachment_list;
};

// 2010 layout: the body row of a listed item, from the row's message id (column 0) and table
// set (column 3); opens the item's "Body-" table as the current body table.
ItemBodyLocation LocateItemBody(Recovery& recovery, std::u16string_view message_id,
                                std::u16string_view table_set);

}  // namespace tarvex
