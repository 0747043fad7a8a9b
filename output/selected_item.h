#pragma once

// The item a preview shows: the texts of its list row and what the preview finds out about it.
// Owned by one preview call; nothing of it outlives the click.

#include <cstdint>
#include <filesystem>
#include <string>

#include "mailbox/item_extraction.h"
#include "output/preview_record.h"

namespace tarvex {

struct SelectedItem {
  std::u16string item_key;         // message id
  std::u16string item_kind;        // chooses the page writer
  std::u16string row_number;       // older layout: the item's record number in "Msg"
  std::u16string row_info;         // older: attachment list; 2010: the folder's table set
  std::u16string sender;           // "From"; the writers may add to it
  std::u16string subject;          // "Subject"
  std::u16string date;             // "Date"
  std::u16string attachment_flag;  // "true" when the item has attachments
  std::u16string recipients;       // "To"; the 2010 writers find their own
  std::u16string copy_recipients;
  std::u16string blind_copy_recipients;

  // The item's row in the table the page writer reads.
  std::uint32_t record_number = 0;
  // 2010 layout: false when no body row belongs to the item, so that no other item's row is
  // read in its place.
  bool has_record = true;
  std::u16string attachment_info;           // the item's attachment list
  std::u16string attachment_names;          // the files written for it, each followed by ";"
  std::filesystem::path attachment_folder;  // where they were written
  StoredMessageFields stored_message;       // mail page writers read it

  static SelectedItem FromListRow(const ItemListRow& row);
};

}  // namespace tarvex
