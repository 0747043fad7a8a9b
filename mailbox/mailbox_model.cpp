#include "mailbox/mailbox_model.h"

namespace tarvex {

bool MailboxModel::IsLoaded(std::u16string_view key) const {
  return loaded_key_set_.contains(std::u16string(key));
}

void MailboxModel::MarkLoaded(std::u16string key) {
  if (loaded_key_set_.insert(key).second) loaded_keys.push_back(std::move(key));
}

void MailboxModel::Clear() {
  *this = MailboxModel();
}

}  // namespace tarvex
