#pragma once

// Finds the mailbox a folder row belongs to without walking the whole mailbox list for every
// row: stores hold thousands of mailboxes and hundreds of thousands of folders.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mailbox/mailbox_model.h"

namespace tarvex {

// The answer is always the one a walk from the front gives: the first entry whose key equals
// the text. A table's rows mostly name one mailbox, so each key is looked for once and
// remembered; after a few different keys the whole list is indexed at once.
class MailboxKeyLookup {
 public:
  // The list must outlive the lookup and must not change while it is used.
  explicit MailboxKeyLookup(const std::vector<MailboxEntry>& mailboxes);

  // Position of the first entry whose mailbox key equals `key`, or none.
  std::optional<std::size_t> FirstWithKey(std::u16string_view key);

  // Older layout: the first entry, in list order, whose key has at least 3 characters and
  // equals the row's mailbox number or is the public mailbox's key.
  std::optional<std::size_t> OwnerOfFolderRow(std::u16string_view mailbox_number);

  std::size_t mailbox_count() const { return mailboxes_.size(); }

 private:
  std::optional<std::size_t> Walk(std::u16string_view key) const;
  void IndexAll();

  const std::vector<MailboxEntry>& mailboxes_;
  std::unordered_map<std::u16string, std::optional<std::size_t>> answers_;
  bool indexed_ = false;
};

}  // namespace tarvex
