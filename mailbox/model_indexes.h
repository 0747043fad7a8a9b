#pragma once

// The lookups that items, bodies and attachments need from the model, indexed so that a store
// of a million messages is not walked once per item. Each answers exactly what the walk over
// its list answers, including which record wins when several match. The model's lists only
// ever grow until they are emptied; each index catches up with its list when asked, and starts
// over when the list got shorter. Whoever empties the model also clears these (the recovery
// does both at once).

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mailbox/mailbox_model.h"
#include "mailbox/text_indexes.h"

namespace tarvex {

class ModelIndexes {
 public:
  // Older layout: the first MessageRef from the front (the newest) whose message id begins
  // with `message_id`; null when none does.
  const MessageRef* FirstMessageRefBeginningWith(const MailboxModel& model,
                                                 std::u16string_view message_id);
  // The same reference's "Msg" row alone, found without reaching into the reference: a search
  // asks this for each of a million items.
  std::optional<std::uint32_t> FirstMessageRecordBeginningWith(const MailboxModel& model,
                                                               std::u16string_view message_id);
  // The same in two steps, for a caller with other work to do while the look-up's memory
  // arrives: begun (on indexes caught up with the model, CatchUpAfterAnalysis), then finished.
  // The look-up views `message_id`.
  KeyPrefixIndex::Lookup BeginMessageRecordLookup(std::u16string_view message_id) const {
    return message_ids_.Begin(message_id);
  }
  std::optional<std::uint32_t> FirstMessageRecord(const MailboxModel& model,
                                                  const KeyPrefixIndex::Lookup& lookup);

  // 2010 layout: the last BodyRef in list order (the oldest) whose message id begins
  // `message_id` and, when `compare_table_names`, whose table name begins `body_table_name`.
  const BodyRef* LastBodyRefFor(const MailboxModel& model, std::u16string_view message_id,
                                std::u16string_view body_table_name, bool compare_table_names);

  // The attachment records whose (non-empty) identifiers occur in `attachment_list`, front to
  // back (newest first), as the attachment walk meets them.
  std::vector<const AttachmentRef*> AttachmentRefsIn(const MailboxModel& model,
                                                     std::u16string_view attachment_list);
  std::vector<const AttachmentRow*> AttachmentRowsIn(const MailboxModel& model,
                                                     std::u16string_view attachment_list);

  // 2010 layout: the ItemHeaders of one folder, front to back: those whose folder key equals
  // `folder_key` and whose table name, with "MsgHeader" made "Folders", equals `table_set`.
  std::vector<const ItemHeader*> FolderHeaders(const MailboxModel& model,
                                               std::u16string_view folder_key,
                                               std::u16string_view table_set);

  // The last mailbox in discovery order whose non-empty owner text occurs in `sender`; null
  // when there is none.
  const MailboxEntry* LastOwnerIn(const MailboxModel& model, std::u16string_view sender);

  // Builds the indexes over what the older layout's analysis found (message ids, attachment
  // lists, owners) now, so that the first selection of a folder does not pay for them.
  void CatchUpAfterAnalysis(const MailboxModel& model);

  void Clear();

 private:
  void CatchUpMessageRefs(const MailboxModel& model);
  void CatchUpBodyRefs(const MailboxModel& model);
  void CatchUpAttachmentRefs(const MailboxModel& model);
  void CatchUpAttachmentRows(const MailboxModel& model);
  void CatchUpItemHeaders(const MailboxModel& model);
  void CatchUpOwners(const MailboxModel& model);

  KeyPrefixIndex message_ids_;
  std::vector<std::uint32_t> message_record_numbers_;  // of each reference, oldest first
  std::size_t message_refs_indexed_ = 0;

  KeyPositions body_ids_;
  std::size_t body_refs_indexed_ = 0;

  SubstringKeyIndex attachment_ref_ids_;
  std::size_t attachment_refs_indexed_ = 0;

  SubstringKeyIndex attachment_row_ids_;
  std::size_t attachment_rows_indexed_ = 0;

  // Folder key and table set, joined by a zero unit (identifier texts never hold one).
  KeyPositions folder_headers_;
  std::size_t item_headers_indexed_ = 0;

  SubstringKeyIndex owners_;
  std::size_t mailboxes_indexed_ = 0;
};

// The table set of a 2010 header table: its name with "MsgHeader" made "Folders".
std::u16string HeaderTableSet(std::u16string_view header_table_name);
// The key under which the headers of one folder of one table set are found.
std::u16string FolderHeaderKey(std::u16string_view folder_key, std::u16string_view table_set);
// The same into `key`, whose storage is reused.
void MakeFolderHeaderKey(std::u16string_view folder_key, std::u16string_view table_set,
                         std::u16string& key);

}  // namespace tarvex
