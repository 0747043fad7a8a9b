#pragma once

// What one analysis rebuilds from the database: mailboxes, folders, item headers and where
// each item's body and attachments are. Identifiers are kept as the texts the value readers
// make of them and compared as texts. An absent text is an empty one.

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/window_port.h"
#include "mailbox/newest_first_list.h"

namespace tarvex {

enum class StoreLayout { kOlder, k2010 };

inline constexpr std::u16string_view kPublicMailboxKey = u"public_folder";
inline constexpr std::u16string_view kPublicMailboxName = u"Public Folder";

struct MailboxEntry {
  std::u16string mailbox_key;    // identifier text of "Q6764"; "public_folder" for the public store
  std::u16string alternate_key;  // 2010 layout: the alternative identifier text of "Q6764"
  std::u16string display_name;   // "S3001" with "," replaced by "_"
  std::u16string owner_text;     // "S6773"
  TreeNodeHandle tree_item = 0;
};

// 2010 layout: a folder that got a tree node.
struct FolderNode {
  std::u16string folder_key;  // identifier text of "Q6748" (alternative form in a public store)
  std::u16string parent_id;
  std::u16string mailbox_key;
  std::u16string mailbox_name;
  std::u16string table_name;  // the "Folders-" table the row came from
  std::u16string display_name;
  std::u16string folder_kind;
  TreeNodeHandle tree_item = 0;
};

// Older layout: a row of "Folders".
struct FolderRow {
  std::u16string folder_id;
  std::u16string parent_id;
  std::u16string mailbox_key;
  std::u16string url_path;
  std::u16string display_name;
  std::u16string content_table_name;  // "1-4FD"
  std::u16string folder_kind;
  std::u16string mailbox_name;
  std::u16string composite_path;  // path + "+" + kind + "+" + record number + "+" + folder id
  std::uint32_t record_number = 0;
};

// Older layout: a folder that got a tree node.
struct FolderLink {
  std::u16string mailbox_key;
  std::u16string mailbox_name;
  std::u16string owner_text;
  std::u16string content_key;  // the folder id; upper-cased it is its content table's folder key
  std::u16string display_name;
  std::u16string folder_kind;
  TreeNodeHandle tree_item = 0;
  std::u16string folder_path;  // "\" + name for each level from depth 1 down
  std::uint32_t record_number = 0;
  std::uint32_t depth = 0;
};

// 2010 layout: an accepted row of a "MsgHeader-" table.
struct ItemHeader {
  std::u16string table_name;
  std::u16string message_id;
  std::u16string folder_key;
  std::u16string subject;
  std::u16string subject_prefix;
  std::u16string conversation_topic;
  std::u16string item_kind;
  std::u16string attachment_flag;
  std::u16string date;
  std::u16string sender;
  std::u16string state;  // ItemStateText
};

// 2010 layout: a body row of a "Body-" table.
struct BodyRef {
  std::u16string message_id;
  std::u16string attachment_list;  // attachment identifiers, searched as substrings
  std::uint32_t record_number = 0;
  std::u16string table_name;
};

// 2010 layout: an attachment row of a "Body-" table.
struct AttachmentRef {
  std::u16string attachment_id;
  std::uint32_t record_number = 0;
  std::u16string file_name;
  std::u16string table_name;
  std::uint32_t data_column = 0;  // position of "N3701" in that table
};

// Older layout: a row of "Msg".
struct MessageRef {
  std::u16string message_id;
  std::uint32_t record_number = 0;
  std::u16string attachment_list;
};

// Older layout: a row of the attachment table.
struct AttachmentRow {
  std::u16string attachment_id;
  std::u16string file_name;
  std::uint32_t record_number = 0;
};

// Older layout: the plain-text body of a listed item, for its preview.
struct PlainBody {
  std::u16string message_id;
  std::u16string body;
};

// Older layout: an item handed to the export.
struct ExportRecord {
  std::u16string message_id;
  std::u16string item_kind;
  std::u16string sender;
  std::u16string subject;
  std::u16string date;
  std::u16string attachment_flag;
};

struct MailboxModel {
  std::vector<MailboxEntry> mailboxes;  // in discovery order
  NewestFirstList<FolderNode> folder_nodes;
  std::vector<FolderRow> folder_rows;    // in table order
  std::vector<FolderLink> folder_links;  // in creation order
  NewestFirstList<ItemHeader> item_headers;
  NewestFirstList<BodyRef> body_refs;
  NewestFirstList<AttachmentRef> attachment_refs;
  NewestFirstList<MessageRef> message_refs;
  NewestFirstList<AttachmentRow> attachment_rows;
  NewestFirstList<std::u16string> folder_tables;  // 2010 "Folders-" table names
  std::vector<std::u16string> loaded_keys;        // 2010: mailboxes already loaded, in order
  NewestFirstList<PlainBody> plain_bodies;
  NewestFirstList<ExportRecord> export_list;

  bool IsLoaded(std::u16string_view key) const;
  void MarkLoaded(std::u16string key);

  // Empties every list, as a new analysis does first.
  void Clear();

 private:
  std::unordered_set<std::u16string> loaded_key_set_;
};

}  // namespace tarvex
