#pragma once

// Items: classification of each row, the 2010 header and body scans, the older layout's
// "Msg" and attachment handlers, the listing of an older-layout content table, and the
// attachment files of an item.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mailbox/recovery.h"

namespace tarvex {

class GatheredMessageFacts;

// The columns of an item list row; what the first eleven carry depends on the layout, the last
// is the item's state (ItemStateText).
inline constexpr int kItemListColumnCount = 12;
inline constexpr int kItemStateColumn = 11;

// How the item was found: "live" in its table's tree, "recovered" by the deep scan from a leaf
// no tree reaches, or "deleted".
std::u16string_view ItemStateText(ese::RecordState state);
using ItemListRow = std::array<std::u16string, kItemListColumnCount>;

// An older-layout item as Process item row leaves it: the list row and the values an export
// of the item reads.
struct FolderItem {
  int list_position = 0;  // from "Le23"; past the end means append
  ItemListRow columns;
  std::uint32_t message_record_number = 0;  // the item's row in "Msg"
  bool has_message_row = false;             // 0 above may also stand for none
  bool turned_away = false;  // by FolderReadOptions::prefilter: only the list position is set
  std::u16string attachment_list;
  std::u16string header_sender;
  std::u16string recipients;
  std::u16string copy_recipients;
  std::u16string blind_copy_recipients;
  std::u16string plain_body;
};

// Where Load folder items hands each accepted item: the item list, or an export. The item is
// the sink's to keep.
using FolderItemSink = std::function<void(FolderItem&& item)>;

// How the rows of a folder are read, beyond what for.
struct FolderReadOptions {
  // Lends the items the "Msg" facts it kept.
  const GatheredMessageFacts* gathered = nullptr;
  // Sees each item with its id, kind, sender and subject columns and its "Msg" row set, before
  // the rest is read; an item it turns away is handed on with its list position alone. Called
  // from several threads at once by FolderRowsAhead.
  std::function<bool(const FolderItem& item)> prefilter = {};
  // The prefilter's test of the sender alone, where it has one: an item whose sender this turns
  // away the prefilter turns away too. With gathered facts, it lets a reader that remembers
  // senders (SenderMemo) turn such items away before their texts are made.
  std::function<bool(std::u16string_view sender)> sender_test = {};
  // The prefilter's test of the item's kind and "Msg" row alone, where it has one: an item with
  // a subject that this turns away is handed on as turned away before its sender is made.
  std::function<bool(std::u16string_view kind, std::optional<std::uint32_t> message_row)>
      message_row_test = {};
  // Sees each item the prefilter let through with its recipients as well, before the rest is
  // read; turns items away as the prefilter does.
  std::function<bool(const FolderItem& item)> recipient_filter = {};
  // False: the gathered recipients are left out of the rows' To, Cc and Bcc columns, for a
  // caller that shows none; the recipient filter still sees them.
  bool rows_with_recipients = true;
};

// 2010 layout: ItemHeaders from a "MsgHeader-" table. False when the table or its name is
// missing.
bool ScanHeaderTable(Recovery& recovery, const ese::Table* table, std::u16string_view table_name);

// 2010 layout: the rows of a "MsgHeader-" table that ScanHeaderTable would keep, counted
// without keeping them, under FolderHeaderKey(folder key, table_set). False when the table is
// missing.
bool CountHeaderRows(Recovery& recovery, const ese::Table* table, std::u16string_view table_set,
                     std::unordered_map<std::u16string, std::size_t>& counts);

// 2010 layout: BodyRefs and AttachmentRefs from a "Body-" table.
bool ScanBodyTable(Recovery& recovery, const ese::Table* table, std::u16string_view table_name);

// Older layout record handlers: a MessageRef per "Msg" row, an AttachmentRow per row of the
// attachment table. False for an absent record.
bool HandleMessageRow(Recovery& recovery, const ese::Record* record, std::uint32_t record_number);
bool HandleAttachmentRow(Recovery& recovery, const ese::Record* record,
                         std::uint32_t record_number);

// What the rows of a folder are read for. A listing's sink inserts list rows and the plain
// bodies go to the plain-body list; an export keeps each plain body with its item; rows alone
// (a search) read no plain body; a count hands on exactly the items a listing would, but reads
// a row only as far as it must to know.
enum class FolderItemUse { kListing, kExport, kRowsOnly, kCounting };

// Older layout: every accepted row of a folder's content table, in table order. False when the
// table is missing.
bool LoadFolderItems(Recovery& recovery, const ese::Table* content_table,
                     const FolderItemSink& sink, FolderItemUse use = FolderItemUse::kListing,
                     const FolderReadOptions& options = {});

// Older layout: items from "Msg" rows alone (by record number), for messages whose content-table
// row was lost: the "Msg" row holds the same properties. False without a "Msg" table.
bool LoadMessageRowsAsItems(Recovery& recovery, const std::vector<std::uint32_t>& record_numbers,
                            const FolderItemSink& sink, FolderItemUse use = FolderItemUse::kListing,
                            const FolderReadOptions& options = {});

// The sink of a listing: inserts the item's row at its list position through the window.
FolderItemSink ListInWindow(Recovery& recovery);

// Writes the attachments whose identifiers occur in `attachment_list` into the working folder
// and returns their file names, each followed by ";".
std::u16string WriteItemAttachments(Recovery& recovery, std::u16string_view attachment_list);

}  // namespace tarvex
