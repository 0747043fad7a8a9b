#include "mailbox/mailbox_loading.h"

#include <algorithm>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/utf16_text.h"
#include "mailbox/model_indexes.h"
#include "mailbox/recovered_items.h"

namespace tarvex {
namespace {

constexpr std::u16string_view kLoadingHeadersStatus =
    u"Please wait... Loading Mailbox Header Information";
constexpr std::u16string_view kLoadingBodiesStatus =
    u"Please wait... Loading Mailbox Body Information";

using TableScan = bool (*)(Recovery&, const ese::Table*, std::u16string_view);

// Runs the scan over every catalogued table of exactly this name.
void ScanTablesNamed(Recovery& recovery, std::u16string_view name, TableScan scan) {
  StoreSession& session = recovery.session();
  for (const TableEntry& entry : session.catalog().entries()) {
    if (entry.name == name) scan(recovery, entry.table, entry.name);
  }
}

// The folder's table set: the "Folders-" table it belongs to.
std::u16string FolderTableSet(const FolderNode& node) {
  if (node.table_name == u"Folders") return u"Folders-" + node.folder_key;
  return node.table_name;
}

// 2010 layout: the list row of a header in a folder's list, `counter` rows before it.
ItemListRow HeaderListRow(const ItemHeader& header, const FolderNode& node, int counter) {
  ItemListRow row;
  row[0] = header.message_id;
  row[1] = header.item_kind;
  row[2] = FromAscii(std::to_string(counter + 1));
  // The header's own table set: a Recovered items folder gathers several.
  row[3] = ReplacedAll(header.table_name, u"MsgHeader", u"Folders");
  row[4] = header.sender;
  row[5] = header.subject;
  row[6] = header.date;
  row[7] = header.attachment_flag;
  row[8] = header.folder_key;
  row[9] = node.mailbox_name;
  row[10] = node.display_name;
  row[kItemStateColumn] = header.state;
  return row;
}

// 2010 layout: hands the rows of the folder's list to `insert` (list position, row). False
// when the work was cancelled.
bool ForEachFolderListRow(Recovery& recovery, const FolderNode& node,
                          const std::function<void(int, ItemListRow)>& insert) {
  const std::u16string table_set = FolderTableSet(node);
  int counter = -1;
  for (const ItemHeader* header : HeadersOfFolder(recovery, node, table_set)) {
    if (!recovery.pause_gate().Checkpoint()) return false;
    ++counter;
    insert(counter, HeaderListRow(*header, node, counter));
  }
  return true;
}

void ListFolderItems(Recovery& recovery, const FolderNode& node) {
  WindowPort& window = recovery.window();
  ForEachFolderListRow(recovery, node, [&window](int position, ItemListRow cells) {
    const int row = window.InsertListRow(position, cells[0]);
    if (row < 0) return;
    for (int column = 1; column < kItemListColumnCount; ++column) {
      window.SetListCell(row, column, cells[static_cast<std::size_t>(column)]);
    }
  });
}

void Load2010Folder(Recovery& recovery, TreeNodeHandle selected) {
  for (const FolderNode& node : recovery.model().folder_nodes) {
    if (node.tree_item != selected) continue;
    if (!LoadHeadersAndBodies(recovery, node)) return;
    ListFolderItems(recovery, node);
  }
}

void LoadOlderLayoutFolder(Recovery& recovery, TreeNodeHandle selected) {
  WindowPort& window = recovery.window();
  for (const FolderLink& link : recovery.model().folder_links) {
    if (link.tree_item != selected) continue;
    if (recovery.pause_gate().IsCancelled()) return;
    window.EnableControl(WindowControl::kFolderTree, false);
    window.EnableControl(WindowControl::kItemList, false);
    LoadFolder(recovery, link.content_key, ListInWindow(recovery));
    window.EnableControl(WindowControl::kItemList, true);
    window.EnableControl(WindowControl::kFolderTree, true);
  }
}

}  // namespace

namespace {

// Reads the tables of this name with the scan, once: loaded tables are remembered by name
// (mailboxes' display names need not differ, and a second mailbox of the same name must still
// be read). False when the work was cancelled: an incomplete scan is not marked as loaded.
bool LoadOnce(Recovery& recovery, const std::u16string& table_name, std::u16string_view status,
              TableScan scan) {
  MailboxModel& model = recovery.model();
  if (model.IsLoaded(table_name)) return true;
  recovery.window().SetStatusText(status);
  ScanTablesNamed(recovery, table_name, scan);
  if (recovery.pause_gate().IsCancelled()) return false;
  model.MarkLoaded(table_name);
  return true;
}

std::u16string HeaderTableName(const Recovery& recovery, const FolderNode& node) {
  return recovery.is_public_store() ? u"MsgHeader-" + node.folder_key
                                    : ReplacedAll(node.table_name, u"Folders", u"MsgHeader");
}

}  // namespace

bool LoadHeadersAndBodies(Recovery& recovery, const FolderNode& node) {
  const std::u16string body_table_name =
      recovery.is_public_store() ? u"Body-" + node.folder_key
                                 : ReplacedAll(node.table_name, u"Folders", u"Body");
  if (recovery.model().IsLoaded(body_table_name)) return true;
  if (!LoadOnce(recovery, HeaderTableName(recovery, node), kLoadingHeadersStatus,
                &ScanHeaderTable) ||
      !LoadOnce(recovery, body_table_name, kLoadingBodiesStatus, &ScanBodyTable)) {
    return false;
  }
  recovery.window().SetStatusText(u"");
  return true;
}

void LoadMailbox(Recovery& recovery, TreeNodeHandle selected) {
  WindowPort& window = recovery.window();
  // The plain bodies belong to the listing they were read for.
  recovery.model().plain_bodies.Clear();
  window.ClearList();
  recovery.body_table().open = false;
  window.EnableControl(WindowControl::kFolderTree, false);
  if (recovery.has_session() && selected != kTopOfTree) {
    if (recovery.layout() == StoreLayout::k2010) {
      Load2010Folder(recovery, selected);
    } else {
      LoadOlderLayoutFolder(recovery, selected);
    }
  }
  window.EnableControl(WindowControl::kFolderTree, true);
}

namespace {

// LoadFolder without the blank page it shows first.
void ReadFolderItems(Recovery& recovery, std::u16string_view content_key,
                     const FolderItemSink& sink, FolderItemUse use,
                     const FolderReadOptions& options = {}) {
  if (!recovery.has_session() || content_key.empty()) return;
  StoreSession& session = recovery.session();
  if (content_key == kRecoveredItemsKey) {
    for (const ese::Table* table : ContentTablesWithoutFolder(recovery)) {
      LoadFolderItems(recovery, table, sink, use, options);
    }
    LoadMessageRowsAsItems(recovery, MessageRowsWithoutListing(recovery), sink, use, options);
    return;
  }
  // Catalogue folder keys are upper case; so is the key of a folder's content table. An empty
  // key is not a folder's: most tables have one.
  for (const TableEntry& entry : session.catalog().entries()) {
    if (EqualsIgnoringAsciiCase(entry.folder_key, content_key)) {
      LoadFolderItems(recovery, entry.table, sink, use, options);
    }
  }
}

}  // namespace

void LoadFolder(Recovery& recovery, std::u16string_view content_key, const FolderItemSink& sink,
                FolderItemUse use) {
  recovery.ShowMessagePage(u"   ");
  ReadFolderItems(recovery, content_key, sink, use);
}

std::vector<ItemListRow> ListFolderRows(Recovery& recovery, TreeNodeHandle node,
                                        bool with_body_rows, const FolderReadOptions& options) {
  std::vector<ItemListRow> rows;
  // Placed as the list places a row: a position past the end appends.
  auto insert = [&rows](int position, ItemListRow row) {
    const auto index = std::clamp<std::ptrdiff_t>(position, 0, std::ssize(rows));
    rows.insert(rows.begin() + index, std::move(row));
  };
  recovery.body_table().open = false;
  if (!recovery.has_session() || node == kTopOfTree) return rows;
  if (recovery.layout() == StoreLayout::k2010) {
    for (const FolderNode& folder : recovery.model().folder_nodes) {
      if (folder.tree_item != node) continue;
      const bool loaded =
          with_body_rows ? LoadHeadersAndBodies(recovery, folder)
                         : LoadOnce(recovery, HeaderTableName(recovery, folder),
                                    kLoadingHeadersStatus, &ScanHeaderTable);
      if (!loaded || !ForEachFolderListRow(recovery, folder, insert)) {
        break;
      }
    }
    return rows;
  }
  for (const FolderLink& link : recovery.model().folder_links) {
    if (link.tree_item != node) continue;
    if (recovery.pause_gate().IsCancelled()) break;
    ReadFolderItems(recovery, link.content_key, [&insert](FolderItem&& item) {
      insert(item.list_position, item.turned_away ? ItemListRow() : std::move(item.columns));
    }, FolderItemUse::kRowsOnly, options);
  }
  return rows;
}

std::unordered_map<TreeNodeHandle, std::size_t> CountItemsByFolder(Recovery& recovery) {
  std::unordered_map<TreeNodeHandle, std::size_t> counts;
  if (!recovery.has_session()) return counts;
  if (recovery.layout() == StoreLayout::k2010) {
    // Header tables not read yet are counted without keeping their rows; counts by folder key
    // and table set, as a listing finds its headers.
    std::unordered_map<std::u16string, std::size_t> unread_counts;
    std::unordered_set<std::u16string> counted_tables;
    // The folders of one private mailbox share their tables: names made once per mailbox.
    const bool public_store = recovery.is_public_store();
    const std::u16string* names_made_for = nullptr;
    std::u16string table_name;
    std::u16string table_set;
    std::u16string key;
    for (const FolderNode& node : recovery.model().folder_nodes) {
      if (recovery.pause_gate().IsCancelled()) break;
      if (public_store || names_made_for == nullptr || *names_made_for != node.table_name) {
        names_made_for = &node.table_name;
        table_name = HeaderTableName(recovery, node);
        table_set = FolderTableSet(node);
      }
      std::size_t items = 0;
      if (node.folder_key == kRecoveredItemsKey || recovery.model().IsLoaded(table_name)) {
        if (!LoadOnce(recovery, table_name, kLoadingHeadersStatus, &ScanHeaderTable)) break;
        items = HeadersOfFolder(recovery, node, table_set).size();
      } else {
        if (counted_tables.insert(table_name).second) {
          recovery.window().SetStatusText(kLoadingHeadersStatus);
          const std::u16string header_set = HeaderTableSet(table_name);
          for (const TableEntry& entry : recovery.session().catalog().entries()) {
            if (entry.name == table_name) {
              CountHeaderRows(recovery, entry.table, header_set, unread_counts);
            }
          }
        }
        MakeFolderHeaderKey(node.folder_key, table_set, key);
        const auto found = unread_counts.find(key);
        if (found != unread_counts.end()) items = found->second;
      }
      if (items != 0) counts[node.tree_item] += items;
    }
    recovery.window().SetStatusText(u"");
    return counts;
  }
  // The content tables by their folder key (upper case, as LoadFolder compares them).
  std::unordered_map<std::u16string, std::vector<const ese::Table*>> tables_by_key;
  for (const TableEntry& entry : recovery.session().catalog().entries()) {
    if (!entry.folder_key.empty()) {
      tables_by_key[ToAsciiUpper(entry.folder_key)].push_back(entry.table);
    }
  }
  for (const FolderLink& link : recovery.model().folder_links) {
    if (recovery.pause_gate().IsCancelled()) break;
    if (link.content_key.empty()) continue;
    if (link.content_key == kRecoveredItemsKey) {
      std::size_t& count = counts[link.tree_item];
      LoadFolder(
          recovery, link.content_key, [&count](const FolderItem&) { ++count; },
          FolderItemUse::kCounting);
      continue;
    }
    const auto tables = tables_by_key.find(ToAsciiUpper(link.content_key));
    if (tables == tables_by_key.end()) continue;
    std::size_t& count = counts[link.tree_item];
    for (const ese::Table* table : tables->second) {
      LoadFolderItems(
          recovery, table, [&count](const FolderItem&) { ++count; }, FolderItemUse::kCounting);
    }
  }
  return counts;
}

ItemBodyLocation LocateItemBody(Recovery& recovery, std::u16string_view message_id,
                                std::u16string_view table_set) {
  ItemBodyLocation location;
  if (!recovery.has_session()) return location;
  StoreSession& session = recovery.session();
  const std::u16string body_table_name = ReplacedAll(table_set, u"Folders", u"Body");
  Recovery::BodyTable& body = recovery.body_table();
  if (!body.open || body.name != body_table_name) {
    body = Recovery::BodyTable();
    for (const TableEntry& entry : session.catalog().entries()) {
      if (entry.name != body_table_name) continue;
      body.table = entry.table;
      body.name = body_table_name;
      body.open = body.table != nullptr;
      break;
    }
  }
  const BodyRef* ref = recovery.indexes().LastBodyRefFor(
      recovery.model(), message_id, body_table_name, !recovery.is_public_store());
  if (ref != nullptr) {
    location.record_number = ref->record_number;
    location.attachment_list = ref->attachment_list;
  }
  return location;
}

}  // namespace tarvex
