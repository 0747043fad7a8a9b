#pragma once

// Mailboxes and folder trees: the record handlers of the "Mailbox" and "Folders" tables, the
// older layout's tree builder and the 2010 layout's folder-table scan. Every node goes into
// the tree through the recovery's window.

#include <cstdint>
#include <string_view>

#include "mailbox/recovery.h"

namespace tarvex {

// One "Mailbox" row: a MailboxEntry and its node under the root node. False for an absent
// record (null).
bool HandleMailboxRow(Recovery& recovery, const ese::Record* record);

// The single mailbox of a public store: the node "Public Folder" under the root node.
void AddPublicMailbox(Recovery& recovery);

// Older layout, one "Folders" row: a FolderRow per matching mailbox. False for an absent
// record, which still yields an "Unknown<n>" folder.
bool HandleFolderRow(Recovery& recovery, const ese::Record* record, std::uint32_t record_number);

// The folder handler for a whole "Folders" scan: HandleFolderRow with the mailboxes indexed
// instead of walked for every row. It looks at the mailbox list from its first row on, so it may
// be made before the "Mailbox" scan; make a new one for every analysis.
RecordHandler FolderRowHandler(Recovery& recovery);

// Older layout, after the "Folders" scan: FolderLinks and tree nodes, mailbox by mailbox.
void BuildFolderTree(Recovery& recovery);

// 2010 layout, one "Folders-" table: FolderNodes and tree nodes. False when the table or its
// name is missing.
bool ScanFolderTable(Recovery& recovery, const ese::Table* table, std::u16string_view table_name);

}  // namespace tarvex
