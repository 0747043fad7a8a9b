#pragma once

// One opened database and everything rebuilt from it: the store session, the mailbox model,
// the body state and the folders files are written to. Front ends make one per database and
// hand it to the worker procedures; two recoveries can run side by side.

#include <filesystem>
#include <memory>
#include <string>

#include "base/message_pages.h"
#include "base/pause_gate.h"
#include "base/window_port.h"
#include "mailbox/folder_tree_nodes.h"
#include "mailbox/mailbox_model.h"
#include "mailbox/model_indexes.h"
#include "store/body_state.h"
#include "store/store_session.h"
#include "store/value_reader.h"

namespace tarvex {

class Recovery {
 public:
  // `working_folder` receives pages, body files and attachments; `program_folder` holds the
  // export manifest and the saver program; notices go to `message_pages`.
  Recovery(WindowPort& window, PauseGate& pause_gate, std::filesystem::path working_folder,
           std::filesystem::path program_folder, MessagePages& message_pages);
  Recovery(const Recovery&) = delete;
  Recovery& operator=(const Recovery&) = delete;
  ~Recovery();

  WindowPort& window() { return window_; }
  // Shows an HTML notice in the preview browser.
  void ShowMessagePage(std::u16string_view html) { message_pages_.Show(window_, html); }
  PauseGate& pause_gate() { return pause_gate_; }
  ScanContext scan_context() { return {window_, pause_gate_}; }

  // Takes the newly opened store; the reader and layout follow it.
  void AttachSession(std::unique_ptr<StoreSession> session);
  // Releases the store and empties the model, as a new analysis does first.
  void Reset();

  bool has_session() const { return session_ != nullptr; }
  StoreSession& session() { return *session_; }
  const StoreSession& session() const { return *session_; }
  ValueReader& reader() { return *reader_; }

  StoreLayout layout() const;
  bool is_public_store() const;

  MailboxModel& model() { return model_; }
  const MailboxModel& model() const { return model_; }
  BodyState& body() { return body_; }
  // The model's lookups by identifier; emptied together with the model.
  ModelIndexes& indexes() { return indexes_; }

  // 2010 layout: the "Body-" table that the preview and the attachment writer read the
  // selected item's rows from. A new folder selection marks it not open, so that the next
  // preview opens the table of its own item.
  struct BodyTable {
    const ese::Table* table = nullptr;  // owned by the session's database
    std::u16string name;
    bool open = false;
  };
  BodyTable& body_table() { return body_table_; }

  const std::filesystem::path& working_folder() const { return working_folder_; }
  const std::filesystem::path& program_folder() const { return program_folder_; }

  // The tree node of the database itself, under which mailboxes go.
  TreeNodeHandle root_node() const { return root_node_; }
  void set_root_node(TreeNodeHandle node) { root_node_ = node; }

  // Inserts a folder or mailbox node with the icon its name and kind call for; the folder
  // tree keeps it too.
  TreeNodeHandle AddTreeNode(TreeNodeHandle parent, std::u16string_view text,
                             std::u16string_view folder_kind);
  // The mailbox and folder nodes added since the last reset.
  const FolderTreeNodes& folder_tree() const { return folder_tree_; }

 private:
  WindowPort& window_;
  PauseGate& pause_gate_;
  MessagePages& message_pages_;
  std::filesystem::path working_folder_;
  std::filesystem::path program_folder_;
  // The reader refers to the session, so it is declared after it and released before it.
  std::unique_ptr<StoreSession> session_;
  std::unique_ptr<ValueReader> reader_;
  // Points into the session's database, so released before it.
  BodyTable body_table_;
  MailboxModel model_;
  ModelIndexes indexes_;
  BodyState body_;
  FolderTreeNodes folder_tree_;
  TreeNodeHandle root_node_ = kTopOfTree;
};

}  // namespace tarvex
