#pragma once

// The preview of a clicked list row: the item's body, a header page of its fields and a
// frameset showing both are written into the working folder, and the browser is sent there.
// Runs on a worker of the front end, or headless, with the recovery of an analysed store.

#include "mailbox/item_extraction.h"
#include "mailbox/recovery.h"
#include "output/selected_item.h"

namespace tarvex {

// Disables the folder tree and the item list while it works and enables them again whatever
// happens. A row without an item key (a click beside the rows) shows nothing.
void ShowItemPreview(Recovery& recovery, const ItemListRow& selected);

// Older layout: writes the item's attachments, reads its row of "Msg" and calls the writer of
// its kind. A row that cannot be read shows nothing, so the pane keeps the previous item.
void ShowItemPreviewOlder(Recovery& recovery, SelectedItem& item);

// 2010 layout: finds the item's body row in its "Body-" table, writes its attachments and
// calls the writer of its kind.
void ShowItemPreview2010(Recovery& recovery, SelectedItem& item);

}  // namespace tarvex
