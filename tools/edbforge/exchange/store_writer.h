#pragma once

// Writes an Exchange store in either layout, item by item. First the store's mailboxes and
// folders are planned (numbered, named, their tables chosen); items are then declared, which
// fixes the columns of every table; Start() creates the tables and writes the mailbox and
// folder rows; AddItem() streams the items. Nothing appears at the path until Finish().
//
// Tables, in catalogue order:
//   older layout: "Mailbox" (private only), "Folders", "Msg", the attachment table (carrying
//     the callback "JCB.DLL!EcJcbAttachCallback"), the template of the content tables, and one
//     content table per folder named after the folder id ("1-4FD").
//   2010 layout, private: "Mailbox", then per mailbox "Folders-<suffix>", "MsgHeader-<suffix>"
//     and "Body-<suffix>".
//   2010 layout, public: "Folders", then per folder "MsgHeader-<key>" and "Body-<key>", the
//     key being the folder id as the store's readers show it.

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "tools/edbforge/ese/database_writer.h"
#include "tools/edbforge/exchange/store_description.h"
#include "tools/edbforge/exchange/store_rows.h"

namespace tarvex::edbforge {

inline constexpr std::u16string_view kAttachmentCallback = u"JCB.DLL!EcJcbAttachCallback";
// The first column of every table (PidTagMessageSize, left empty): position 0 is read as
// "no such column", so no column the program looks up may sit there.
inline constexpr std::u16string_view kLeadingColumn = u"Le08";

// Where the rows of a written store stand: the leaf page of each mailbox row, folder row and
// item row, for tests that damage pages and must know what stays readable.
struct StorePages {
  struct Item {
    size_t folder = 0;  // index into StoreWriter::folders()
    size_t index = 0;   // the item's position among its folder's items
    ItemState state = ItemState::kLive;
    uint32_t listing_page = 0;  // older layout: its content-table row; 2010: its header row
    uint32_t main_page = 0;     // older layout: its "Msg" row; 2010: its body row
  };
  std::vector<uint32_t> mailbox_pages;  // by mailbox
  std::vector<uint32_t> folder_pages;   // by folder, as StoreWriter::folders()
  // By folder: the names from the mailbox (private store) down, as a folder tree shows them;
  // a mailbox's root row has the mailbox's name alone.
  std::vector<std::vector<std::u16string>> folder_paths;
  std::vector<std::optional<size_t>> folder_parents;
  std::vector<size_t> folder_mailboxes;
  std::vector<Item> items;              // in the order they were added
};

class StoreWriter {
 public:
  // Plans the mailboxes and folders of `description` (its items are not read). `source` prefixes
  // the places named in errors, e.g. the scenario file. Throws ScenarioError.
  StoreWriter(const StoreDescription& description, std::filesystem::path path, std::string source);
  ~StoreWriter();
  StoreWriter(const StoreWriter&) = delete;
  StoreWriter& operator=(const StoreWriter&) = delete;

  // Declares the columns of an item of `folder` and checks its values.
  void DeclareItem(size_t folder, const ItemDescription& item, const std::string& place);
  // Declares the columns of an item that may go to any folder.
  void DeclareSharedItem(const ItemDescription& item);
  // The content count ("L3602") of a folder whose items are streamed rather than listed.
  void SetItemCount(size_t folder, uint32_t count) { folders_.at(folder).item_count = count; }
  void Start();
  void AddItem(size_t folder, const ItemDescription& item, const std::string& place);
  void Finish();

  const std::vector<PlannedFolder>& folders() const { return folders_; }
  // After Finish: where every row went.
  StorePages Pages() const;
  const std::vector<PlannedMailbox>& mailboxes() const { return mailboxes_; }

 private:
  struct TableColumns {
    std::vector<std::u16string> names;
    std::unordered_set<std::u16string> seen;
    void Add(const std::u16string& name) {
      if (seen.insert(name).second) names.push_back(name);
    }
  };

  void PlanFolders(const std::vector<FolderDescription>& descriptions, size_t mailbox,
                   std::optional<size_t> parent, const std::string& owner_place,
                   const std::u16string& path);
  size_t PlanFolder(size_t mailbox, std::optional<size_t> parent,
                    const FolderDescription* description, std::optional<Identifier> id,
                    const std::string& place);
  ItemIds NextIds(const ItemDescription& item);
  void Declare(const std::u16string& table, const Cells& row, const std::string& place);
  // Refuses unknown and duplicate columns and values that do not suit their column.
  void Check(const Cells& row, const std::string& place) const;
  // Appends the row in the given state (a released row may be an older copy of `copy_of`);
  // returns its record number.
  uint32_t Write(const std::u16string& table, const Cells& row, const std::string& place,
                 ItemState state = ItemState::kLive, std::optional<uint32_t> copy_of = {});
  TableDefinition Definition(const std::u16string& name, const TableColumns& columns) const;
  std::u16string MainTable(const PlannedFolder& folder) const;
  std::u16string ListingTable(const PlannedFolder& folder) const;
  std::u16string AttachmentTable(const PlannedFolder& folder) const;

  StoreLayout layout_;
  StoreKind kind_;
  DatabaseOptions options_;
  std::u16string attachment_table_;
  std::u16string template_table_;
  std::map<std::u16string, ColumnDeclaration> declared_columns_;
  std::filesystem::path path_;
  std::string source_;

  std::vector<PlannedMailbox> mailboxes_;
  std::vector<PlannedFolder> folders_;
  std::vector<std::u16string> table_order_;
  std::unordered_map<std::u16string, TableColumns> columns_;
  // Older layout: which folders' content rows use a column (decides template or own column).
  TableColumns content_columns_;
  std::unordered_map<std::u16string, std::unordered_set<size_t>> content_column_folders_;
  std::unordered_set<std::u16string> shared_content_columns_;

  std::unique_ptr<EseDatabaseWriter> writer_;
  std::unordered_map<std::u16string, TableWriter*> tables_;
  std::vector<uint32_t> next_position_;
  struct RowPlace {
    std::u16string table;
    uint32_t record = 0;
  };
  struct ItemPlace {
    size_t folder = 0;
    size_t index = 0;
    ItemState state = ItemState::kLive;
    RowPlace listing, main;
  };
  uint32_t PageOf(const RowPlace& row) const;
  std::vector<RowPlace> mailbox_rows_;
  std::vector<RowPlace> folder_rows_;
  std::vector<ItemPlace> item_rows_;
  uint64_t next_message_ = 0x1000000;
  uint64_t next_attachment_ = 0x800000000;
};

}  // namespace tarvex::edbforge
