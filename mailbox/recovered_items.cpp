#include "mailbox/recovered_items.h"

#include <unordered_set>

#include "base/utf16_text.h"
#include "mailbox/mailbox_loading.h"
#include "mailbox/model_indexes.h"
#include "mailbox/table_columns.h"

namespace tarvex {
namespace {

constexpr std::u16string_view kRecoveredItemsKind = u"IPF.Note";

bool DeepScan(Recovery& recovery) {
  return recovery.has_session() && recovery.session().database().census() != nullptr;
}

// Always there after a deep scan: which "Msg" rows no content table lists is only known once
// every content table has been read, which the tree does not wait for.
void AddOlderLayoutFolder(Recovery& recovery) {
  FolderLink link;
  link.content_key = kRecoveredItemsKey;
  link.display_name = kRecoveredItemsName;
  link.folder_kind = kRecoveredItemsKind;
  link.folder_path = u"\\" + std::u16string(kRecoveredItemsName);
  link.depth = 1;
  link.tree_item =
      recovery.AddTreeNode(recovery.root_node(), kRecoveredItemsName, kRecoveredItemsKind);
  recovery.model().folder_links.push_back(std::move(link));
}

FolderNode RecoveredItemsNode(const MailboxEntry& mailbox, std::u16string table_name,
                              Recovery& recovery) {
  FolderNode recovered;
  recovered.folder_key = kRecoveredItemsKey;
  recovered.mailbox_key = mailbox.mailbox_key;
  recovered.mailbox_name = mailbox.display_name;
  recovered.table_name = std::move(table_name);
  recovered.display_name = kRecoveredItemsName;
  recovered.folder_kind = kRecoveredItemsKind;
  recovered.tree_item =
      recovery.AddTreeNode(mailbox.tree_item, kRecoveredItemsName, kRecoveredItemsKind);
  return recovered;
}

// A public store keeps a header table per folder: those of folders whose rows were lost.
std::vector<std::u16string> PublicFolderKeysWithoutFolder(Recovery& recovery) {
  std::unordered_set<std::u16string> known;
  for (const FolderNode& folder : recovery.model().folder_nodes) known.insert(folder.folder_key);
  std::vector<std::u16string> keys;
  constexpr std::u16string_view kHeaderPrefix = u"MsgHeader-";
  for (const TableEntry& entry : recovery.session().catalog().entries()) {
    if (!entry.name.starts_with(kHeaderPrefix)) continue;
    std::u16string key = entry.name.substr(kHeaderPrefix.size());
    if (!known.contains(key)) keys.push_back(std::move(key));
  }
  return keys;
}

void AddPublicStoreFolder(Recovery& recovery) {
  if (PublicFolderKeysWithoutFolder(recovery).empty()) return;
  MailboxModel& model = recovery.model();
  for (const MailboxEntry& mailbox : model.mailboxes) {
    if (mailbox.mailbox_key != kPublicMailboxKey || mailbox.tree_item == 0) continue;
    model.folder_nodes.PutAtFront(RecoveredItemsNode(mailbox, u"Folders", recovery));
    return;
  }
}

// One per mailbox whose folder table gave folders: its header table may hold items of folders
// whose rows were lost.
void Add2010LayoutFolders(Recovery& recovery) {
  if (recovery.is_public_store()) {
    AddPublicStoreFolder(recovery);
    return;
  }
  MailboxModel& model = recovery.model();
  std::vector<FolderNode> added;
  std::unordered_set<std::u16string> tables;
  for (const FolderNode& node : model.folder_nodes) {
    if (node.table_name == u"Folders" || !tables.insert(node.table_name).second) continue;
    for (const MailboxEntry& mailbox : model.mailboxes) {
      if (mailbox.mailbox_key != node.mailbox_key || mailbox.tree_item == 0) continue;
      added.push_back(RecoveredItemsNode(mailbox, node.table_name, recovery));
      break;
    }
  }
  for (FolderNode& node : added) model.folder_nodes.PutAtFront(std::move(node));
}

}  // namespace

void AddRecoveredItemsFolders(Recovery& recovery) {
  if (!DeepScan(recovery)) return;
  if (recovery.layout() == StoreLayout::k2010) {
    Add2010LayoutFolders(recovery);
  } else {
    AddOlderLayoutFolder(recovery);
  }
}

std::vector<const ese::Table*> ContentTablesWithoutFolder(Recovery& recovery) {
  std::vector<const ese::Table*> tables;
  if (!recovery.has_session()) return tables;
  std::unordered_set<std::u16string> known;
  for (const FolderLink& link : recovery.model().folder_links) {
    known.insert(ToAsciiUpper(link.content_key));
  }
  for (const TableEntry& entry : recovery.session().catalog().entries()) {
    if (!entry.folder_key.empty() && entry.table != nullptr &&
        !known.contains(ToAsciiUpper(entry.folder_key))) {
      tables.push_back(entry.table);
    }
  }
  return tables;
}

std::vector<std::uint32_t> MessageRowsWithoutListing(Recovery& recovery) {
  std::vector<std::uint32_t> rows;
  if (!recovery.has_session()) return rows;
  StoreSession& session = recovery.session();
  // Content rows are only lost with damage to a content table or to the catalogue: an intact
  // store spares the pass over every content table.
  bool damaged = !session.database().catalog().complete;
  for (const TableEntry& entry : session.catalog().entries()) {
    if (!entry.folder_key.empty() && entry.table != nullptr) {
      damaged = damaged || !entry.table->walk_complete();
    }
  }
  if (!damaged) return rows;
  std::unordered_set<std::u16string> listed;
  for (const TableEntry& entry : session.catalog().entries()) {
    if (entry.folder_key.empty() || entry.table == nullptr) continue;
    TableColumns columns;
    columns.Find(session, entry.table, ColumnLookup::kMessageBodies);
    const std::optional<int> id_entry = columns.Entry(u"N67b0");
    if (!id_entry) continue;
    entry.table->ForEachRecord([&](std::uint32_t, const ese::Record* record) {
      if (record == nullptr) return true;
      std::optional<std::u16string> id =
          recovery.reader().ReadIdText(record, *id_entry, ByteOrder::kBigEndian);
      if (id && !id->empty()) listed.insert(std::move(*id));
      return recovery.pause_gate().Checkpoint();
    });
  }
  for (const MessageRef& ref : recovery.model().message_refs.oldest_first()) {
    if (!ref.message_id.empty() && !listed.contains(ref.message_id)) {
      rows.push_back(ref.record_number);
    }
  }
  return rows;
}

std::vector<const ItemHeader*> HeadersOfFolder(Recovery& recovery, const FolderNode& node,
                                               std::u16string_view table_set) {
  const MailboxModel& model = recovery.model();
  if (node.folder_key != kRecoveredItemsKey) {
    return recovery.indexes().FolderHeaders(model, node.folder_key, table_set);
  }
  std::vector<const ItemHeader*> headers;
  if (recovery.is_public_store()) {
    // Every header of those folders' own tables, read as a selection of each would; all are
    // read before any is pointed to, as reading moves the headers.
    std::unordered_set<std::u16string> tables;
    for (const std::u16string& key : PublicFolderKeysWithoutFolder(recovery)) {
      FolderNode lost;
      lost.folder_key = key;
      lost.table_name = u"Folders";
      if (!LoadHeadersAndBodies(recovery, lost)) return headers;
      tables.insert(u"MsgHeader-" + key);
    }
    for (const ItemHeader& header : model.item_headers) {
      if (tables.contains(header.table_name)) headers.push_back(&header);
    }
    return headers;
  }
  std::unordered_set<std::u16string> known;
  for (const FolderNode& folder : model.folder_nodes) {
    if (folder.table_name == node.table_name) known.insert(folder.folder_key);
  }
  const std::u16string header_table = ReplacedAll(node.table_name, u"Folders", u"MsgHeader");
  for (const ItemHeader& header : model.item_headers) {
    if (header.table_name == header_table && !known.contains(header.folder_key)) {
      headers.push_back(&header);
    }
  }
  return headers;
}

}  // namespace tarvex
