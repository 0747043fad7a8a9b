#include "mailbox/recovery.h"

#include "mailbox/classification.h"

namespace tarvex {

Recovery::Recovery(WindowPort& window, PauseGate& pause_gate, std::filesystem::path working_folder,
                   std::filesystem::path program_folder, MessagePages& message_pages)
    : window_(window),
      pause_gate_(pause_gate),
      message_pages_(message_pages),
      working_folder_(std::move(working_folder)),
      program_folder_(std::move(program_folder)) {}

Recovery::~Recovery() {
  Reset();
}

void Recovery::AttachSession(std::unique_ptr<StoreSession> session) {
  reader_.reset();
  body_table_ = BodyTable();
  indexes_.Clear();
  session_ = std::move(session);
  if (session_) reader_ = std::make_unique<ValueReader>(*session_, working_folder_, body_);
}

void Recovery::Reset() {
  model_.Clear();
  indexes_.Clear();
  reader_.reset();
  body_table_ = BodyTable();
  session_.reset();
  body_ = BodyState();
  folder_tree_.Clear();
}

StoreLayout Recovery::layout() const {
  return session_ && session_->Is2010Layout() ? StoreLayout::k2010 : StoreLayout::kOlder;
}

bool Recovery::is_public_store() const {
  return !session_ || session_->store_kind() == StoreKind::kPublic;
}

TreeNodeHandle Recovery::AddTreeNode(TreeNodeHandle parent, std::u16string_view text,
                                     std::u16string_view folder_kind) {
  const TreeNodeHandle node =
      window_.InsertTreeNode(parent, text, ChooseFolderIcon(text, folder_kind));
  folder_tree_.Add(node, parent, text);
  return node;
}

}  // namespace tarvex
