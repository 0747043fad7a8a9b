#include "mailbox/mailbox_key_lookup.h"

namespace tarvex {
namespace {

// Keys looked for one by one before the whole list is indexed.
constexpr std::size_t kKeysBeforeIndexing = 8;

// Shorter keys (numbers below 0x100, or none) name no mailbox of the older layout.
constexpr std::size_t kShortestFolderRowKey = 3;

}  // namespace

MailboxKeyLookup::MailboxKeyLookup(const std::vector<MailboxEntry>& mailboxes)
    : mailboxes_(mailboxes) {}

std::optional<std::size_t> MailboxKeyLookup::FirstWithKey(std::u16string_view key) {
  std::u16string owned_key(key);
  if (const auto known = answers_.find(owned_key); known != answers_.end()) return known->second;
  if (indexed_) return std::nullopt;
  if (answers_.size() >= kKeysBeforeIndexing) {
    IndexAll();
    const auto known = answers_.find(owned_key);
    return known == answers_.end() ? std::nullopt : known->second;
  }
  const std::optional<std::size_t> found = Walk(key);
  answers_.emplace(std::move(owned_key), found);
  return found;
}

std::optional<std::size_t> MailboxKeyLookup::OwnerOfFolderRow(std::u16string_view mailbox_number) {
  std::optional<std::size_t> owner;
  if (mailbox_number.size() >= kShortestFolderRowKey) owner = FirstWithKey(mailbox_number);
  const std::optional<std::size_t> public_mailbox = FirstWithKey(kPublicMailboxKey);
  if (public_mailbox && (!owner || *public_mailbox < *owner)) owner = public_mailbox;
  return owner;
}

std::optional<std::size_t> MailboxKeyLookup::Walk(std::u16string_view key) const {
  for (std::size_t position = 0; position < mailboxes_.size(); ++position) {
    if (mailboxes_[position].mailbox_key == key) return position;
  }
  return std::nullopt;
}

void MailboxKeyLookup::IndexAll() {
  // Keys already answered keep their answer (a walk's); the rest get their first position.
  for (std::size_t position = 0; position < mailboxes_.size(); ++position) {
    answers_.try_emplace(mailboxes_[position].mailbox_key, position);
  }
  indexed_ = true;
}

}  // namespace tarvex
