#pragma once

// The deep scan's "Recovered items" folders, for items whose own folder is unknown because its
// row was lost with a damaged page. In the 2010 layout each mailbox gets one (a header table
// belongs to one mailbox); in the older layout the store gets one, which lists the content
// tables whose folder row is lost (such a table names no mailbox) and the "Msg" rows that no
// content table lists any more.

#include <string_view>
#include <vector>

#include "mailbox/recovery.h"

namespace tarvex {

inline constexpr std::u16string_view kRecoveredItemsName = u"Recovered items";
// The folder key of those folders: no identifier text looks like it.
inline constexpr std::u16string_view kRecoveredItemsKey = u"recovered items";

// Adds the folders to the tree once the folders are known; only after a deep scan.
void AddRecoveredItemsFolders(Recovery& recovery);

// Older layout: the content tables whose folder no tree node stands for.
std::vector<const ese::Table*> ContentTablesWithoutFolder(Recovery& recovery);

// Older layout: the "Msg" rows (record numbers) whose message no content table lists.
std::vector<std::uint32_t> MessageRowsWithoutListing(Recovery& recovery);

// 2010 layout: the headers of `node`'s folder in the header table of `table_set`; for a
// "Recovered items" folder, the headers of that table whose folder is unknown.
std::vector<const ItemHeader*> HeadersOfFolder(Recovery& recovery, const FolderNode& node,
                                               std::u16string_view table_set);

}  // namespace tarvex
