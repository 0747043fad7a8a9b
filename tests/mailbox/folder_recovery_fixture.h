#pragma once

// Opens a written store in a Recovery that records its window, and runs the folder steps of an
// analysis over it the way the driver does.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/message_pages.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "folder_store_writer.h"
#include "mailbox/folder_hierarchy.h"
#include "mailbox/recovery.h"
#include "support/recording_window_port.h"
#include "support/test_files.h"

namespace tarvex::testing {

using Texts = std::vector<std::u16string>;

// A record's fields as texts in declaration order, to compare whole records at once.
inline Texts Fields(const FolderNode& node) {
  return {node.folder_key, node.parent_id,    node.mailbox_key, node.mailbox_name,
          node.table_name, node.display_name, node.folder_kind};
}
inline Texts Fields(const FolderRow& row) {
  return {row.folder_id,      row.parent_id,
          row.mailbox_key,    row.url_path,
          row.display_name,   row.content_table_name,
          row.folder_kind,    row.mailbox_name,
          row.composite_path, FromAscii(std::to_string(row.record_number))};
}
inline Texts Fields(const FolderLink& link) {
  return {link.mailbox_key,
          link.mailbox_name,
          link.owner_text,
          link.content_key,
          link.display_name,
          link.folder_kind,
          link.folder_path,
          FromAscii(std::to_string(link.record_number)),
          FromAscii(std::to_string(link.depth))};
}

class FolderRecovery {
 public:
  // Writes the store and opens it; check `ok()` before use.
  explicit FolderRecovery(const FolderStoreShape& shape) {
    const std::filesystem::path database = folder_.path() / "store.edb";
    WriteFolderStore(database, shape);
    recovery_ =
        std::make_unique<Recovery>(window, gate, folder_.path() / "work", folder_.path(), pages_);
    StoreSession::OpenResult opened = StoreSession::Open(database);
    auto* session = std::get_if<std::unique_ptr<StoreSession>>(&opened);
    if (!session) return;
    if ((*session)->BuildTableCatalog() != CatalogResult::kComplete) return;
    (*session)->RecogniseLayout();
    recovery_->AttachSession(std::move(*session));
    root = window.InsertTreeNode(kTopOfTree, u"store.edb", 0);
    recovery_->set_root_node(root);
  }

  bool ok() const { return recovery_->has_session(); }
  Recovery& recovery() { return *recovery_; }
  MailboxModel& model() { return recovery_->model(); }

  // Step 3: the "Mailbox" rows, or the public mailbox.
  void AddMailboxes() {
    if (recovery_->is_public_store()) {
      AddPublicMailbox(*recovery_);
      return;
    }
    NamedTableHandlers handlers;
    handlers.mailbox = [this](const ese::Record* record, std::uint32_t) {
      HandleMailboxRow(*recovery_, record);
    };
    recovery_->session().ScanNamedTable(u"Mailbox", handlers, recovery_->scan_context());
  }

  // Older layout, step 4: the "Folders" rows through the indexed handler or row by row through
  // HandleFolderRow, then the tree.
  void BuildOlderLayoutTree(bool indexed = true) {
    NamedTableHandlers handlers;
    if (indexed) {
      handlers.folder = FolderRowHandler(*recovery_);
    } else {
      handlers.folder = [this](const ese::Record* record, std::uint32_t number) {
        HandleFolderRow(*recovery_, record, number);
      };
    }
    recovery_->session().ScanNamedTable(u"Folders", handlers, recovery_->scan_context());
    BuildFolderTree(*recovery_);
  }

  // 2010 layout: every "Folders-" table, the last catalogued first, as the driver goes.
  void Scan2010FolderTables() {
    std::vector<std::u16string> names;
    for (const TableEntry& entry : recovery_->session().catalog().entries()) {
      if (entry.name.starts_with(u"Folders-")) names.insert(names.begin(), entry.name);
    }
    for (const std::u16string& name : names) {
      const ese::Table* table = recovery_->session().OpenTableByName(name);
      ASSERT_NE(table, nullptr) << "table missing";
      EXPECT_TRUE(ScanFolderTable(*recovery_, table, name));
    }
  }

  // The texts of a node's children, in tree order.
  std::vector<std::u16string> ChildTexts(TreeNodeHandle parent) const {
    std::vector<std::u16string> texts;
    for (const RecordedTreeNode& node : window.ChildrenOf(parent)) texts.push_back(node.text);
    return texts;
  }

  // The first child of `parent` with this text (handle 0 when none).
  TreeNodeHandle Child(TreeNodeHandle parent, std::u16string_view text) const {
    for (const RecordedTreeNode& node : window.ChildrenOf(parent)) {
      if (node.text == text) return node.handle;
    }
    return 0;
  }

  const RecordedTreeNode& Node(TreeNodeHandle handle) const {
    return window.tree_nodes.at(handle - 1);
  }

  // The subtree below `parent` in tree order, a line a node: two spaces a level, then the text
  // and the icon ("Inbox #7").
  std::string Outline(TreeNodeHandle parent, std::size_t depth = 0) const {
    std::string lines;
    for (const RecordedTreeNode& node : window.ChildrenOf(parent)) {
      lines += std::string(2 * depth, ' ') + Utf16ToUtf8(node.text) + " #" +
               std::to_string(node.image) + "\n" + Outline(node.handle, depth + 1);
    }
    return lines;
  }

  RecordingWindowPort window;
  PauseGate gate;
  TreeNodeHandle root = 0;

 private:
  ScratchFolder folder_;
  MessagePages pages_{folder_.path()};
  std::unique_ptr<Recovery> recovery_;
};

}  // namespace tarvex::testing
