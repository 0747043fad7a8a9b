#include "mailbox/model_indexes.h"

#include <algorithm>
#include <optional>

#include "base/utf16_text.h"

namespace tarvex {

void MakeFolderHeaderKey(std::u16string_view folder_key, std::u16string_view table_set,
                         std::u16string& key) {
  key.assign(folder_key);
  key.push_back(u'\0');
  key.append(table_set);
}

std::u16string FolderHeaderKey(std::u16string_view folder_key, std::u16string_view table_set) {
  std::u16string key;
  MakeFolderHeaderKey(folder_key, table_set, key);
  return key;
}

namespace {

// Brings an incremental index up to date with an append-only list, or starts it over when the
// list was emptied since.
template <typename Record, typename Index, typename AddRecord>
void CatchUp(const std::vector<Record>& records, Index& index, std::size_t& indexed,
             AddRecord add) {
  if (records.size() < indexed) {
    index.Clear();
    indexed = 0;
  }
  for (; indexed < records.size(); ++indexed) add(records[indexed], indexed);
}

// Positions oldest first to records front to back.
template <typename Record>
std::vector<const Record*> FrontToBack(const std::vector<Record>& records,
                                       const std::vector<std::size_t>& positions) {
  std::vector<const Record*> result;
  result.reserve(positions.size());
  for (auto position = positions.rbegin(); position != positions.rend(); ++position) {
    result.push_back(&records[*position]);
  }
  return result;
}

}  // namespace

std::u16string HeaderTableSet(std::u16string_view header_table_name) {
  return ReplacedAll(header_table_name, u"MsgHeader", u"Folders");
}

void ModelIndexes::CatchUpMessageRefs(const MailboxModel& model) {
  const std::vector<MessageRef>& refs = model.message_refs.oldest_first();
  // References arrive all at once during the analysis and are looked up afterwards, so the
  // sorted index is simply built again whenever the list has changed.
  if (message_refs_indexed_ == refs.size()) return;
  std::vector<std::u16string_view> keys;
  keys.reserve(refs.size());
  message_record_numbers_.clear();
  message_record_numbers_.reserve(refs.size());
  for (const MessageRef& ref : refs) {
    keys.push_back(ref.message_id);
    message_record_numbers_.push_back(ref.record_number);
  }
  message_ids_.Build(std::move(keys));
  message_refs_indexed_ = refs.size();
}

void ModelIndexes::CatchUpAfterAnalysis(const MailboxModel& model) {
  CatchUpMessageRefs(model);
  CatchUpAttachmentRefs(model);
  CatchUpAttachmentRows(model);
  CatchUpOwners(model);
}

const MessageRef* ModelIndexes::FirstMessageRefBeginningWith(const MailboxModel& model,
                                                             std::u16string_view message_id) {
  CatchUpMessageRefs(model);
  const std::optional<std::size_t> newest = message_ids_.NewestBeginningWith(message_id);
  return newest ? &model.message_refs.oldest_first()[*newest] : nullptr;
}

std::optional<std::uint32_t> ModelIndexes::FirstMessageRecordBeginningWith(
    const MailboxModel& model, std::u16string_view message_id) {
  // Begun on the index as it stands: one built again since is looked up afresh.
  return FirstMessageRecord(model, message_ids_.Begin(message_id));
}

std::optional<std::uint32_t> ModelIndexes::FirstMessageRecord(
    const MailboxModel& model, const KeyPrefixIndex::Lookup& lookup) {
  CatchUpMessageRefs(model);
  const std::optional<std::size_t> newest = message_ids_.NewestBeginningWith(lookup);
  if (!newest) return std::nullopt;
  return message_record_numbers_[*newest];
}

void ModelIndexes::CatchUpBodyRefs(const MailboxModel& model) {
  CatchUp(model.body_refs.oldest_first(), body_ids_, body_refs_indexed_,
          [this](const BodyRef& ref, std::size_t position) {
            body_ids_.Add(ref.message_id, position);
          });
}

const BodyRef* ModelIndexes::LastBodyRefFor(const MailboxModel& model,
                                            std::u16string_view message_id,
                                            std::u16string_view body_table_name,
                                            bool compare_table_names) {
  CatchUpBodyRefs(model);
  const std::vector<BodyRef>& refs = model.body_refs.oldest_first();
  // A reference matches when its id is a prefix of the selected id; the last match in list
  // order is the oldest record, so the lowest position over all prefixes wins.
  std::optional<std::size_t> oldest;
  for (std::size_t length = 0; length <= message_id.size(); ++length) {
    const std::vector<std::size_t>* positions = body_ids_.Find(message_id.substr(0, length));
    if (positions == nullptr) continue;
    for (std::size_t position : *positions) {
      if (oldest && position >= *oldest) break;
      if (compare_table_names && !body_table_name.starts_with(refs[position].table_name)) {
        continue;
      }
      oldest = position;
      break;
    }
  }
  return oldest ? &refs[*oldest] : nullptr;
}

void ModelIndexes::CatchUpAttachmentRefs(const MailboxModel& model) {
  CatchUp(model.attachment_refs.oldest_first(), attachment_ref_ids_, attachment_refs_indexed_,
          [this](const AttachmentRef& ref, std::size_t position) {
            attachment_ref_ids_.Add(ref.attachment_id, position);
          });
}

void ModelIndexes::CatchUpAttachmentRows(const MailboxModel& model) {
  CatchUp(model.attachment_rows.oldest_first(), attachment_row_ids_, attachment_rows_indexed_,
          [this](const AttachmentRow& row, std::size_t position) {
            attachment_row_ids_.Add(row.attachment_id, position);
          });
}

std::vector<const AttachmentRef*> ModelIndexes::AttachmentRefsIn(
    const MailboxModel& model, std::u16string_view attachment_list) {
  CatchUpAttachmentRefs(model);
  return FrontToBack(model.attachment_refs.oldest_first(),
                     attachment_ref_ids_.PositionsOccurringIn(attachment_list));
}

std::vector<const AttachmentRow*> ModelIndexes::AttachmentRowsIn(
    const MailboxModel& model, std::u16string_view attachment_list) {
  CatchUpAttachmentRows(model);
  return FrontToBack(model.attachment_rows.oldest_first(),
                     attachment_row_ids_.PositionsOccurringIn(attachment_list));
}

void ModelIndexes::CatchUpItemHeaders(const MailboxModel& model) {
  CatchUp(model.item_headers.oldest_first(), folder_headers_, item_headers_indexed_,
          [this](const ItemHeader& header, std::size_t position) {
            folder_headers_.Add(
                FolderHeaderKey(header.folder_key, HeaderTableSet(header.table_name)), position);
          });
}

std::vector<const ItemHeader*> ModelIndexes::FolderHeaders(const MailboxModel& model,
                                                           std::u16string_view folder_key,
                                                           std::u16string_view table_set) {
  CatchUpItemHeaders(model);
  const std::vector<std::size_t>* positions =
      folder_headers_.Find(FolderHeaderKey(folder_key, table_set));
  if (positions == nullptr) return {};
  return FrontToBack(model.item_headers.oldest_first(), *positions);
}

void ModelIndexes::CatchUpOwners(const MailboxModel& model) {
  CatchUp(model.mailboxes, owners_, mailboxes_indexed_,
          [this](const MailboxEntry& mailbox, std::size_t position) {
            owners_.Add(mailbox.owner_text, position);
          });
}

const MailboxEntry* ModelIndexes::LastOwnerIn(const MailboxModel& model,
                                              std::u16string_view sender) {
  CatchUpOwners(model);
  const std::vector<std::size_t> positions = owners_.PositionsOccurringIn(sender);
  return positions.empty() ? nullptr : &model.mailboxes[positions.back()];
}

void ModelIndexes::Clear() {
  *this = ModelIndexes();
}

}  // namespace tarvex
