#pragma once

// Makes the items of the older layout, one content-table row (or "Msg" row) at a time: the
// list row, the sender as the list shows it, and the "Msg" facts the row's message lends.

#include <array>
#include <cstdint>
#include <optional>

#include "mailbox/item_extraction.h"
#include "mailbox/message_facts.h"
#include "mailbox/sender_memo.h"
#include "mailbox/table_columns.h"

namespace tarvex {

// The "Msg" table's columns; empty without that table. Found after a content table's columns:
// this also points the column directory's header slot at "Msg", which is where the reader
// looks for long transport headers.
TableColumns FindMessageTableColumns(StoreSession& session);

class FolderItemReader {
 public:
  // `reader` is the recovery's, or one of another thread's own; `message_columns` come from
  // FindMessageTableColumns. Several readers may work at once on threads of their own once the
  // analysis' indexes are caught up: a reader only reads what it shares.
  // With a `memo` (this thread's own), rows that the options' sender test turns away are handed
  // on from what the memo holds.
  FolderItemReader(Recovery& recovery, ValueReader& reader, const TableColumns& content_columns,
                   const TableColumns& message_columns, const FolderItemSink& sink,
                   FolderItemUse use, const FolderReadOptions& options,
                   SenderMemo* memo = nullptr);

  // Hands the row's item to the sink, unless the row is no listed item.
  void Process(const ese::Record* content_record, ese::RecordState state);

 private:
  // The facts of the item's "Msg" row: gathered, or read where the row is. Gathered facts come
  // `without_gathered_recipients` when asked (empty recipients, read later if need be).
  std::optional<MessageFacts> FactsOf(std::uint32_t record_number,
                                      bool without_gathered_recipients);
  static void TakeRecipients(FolderItem& item, MessageFacts& facts);
  // Hands on an item a filter turned away: its list position alone, its row stays empty.
  void HandOnTurnedAway(int list_position);
  // Hands on the row turned away, or leaves out a row of a kind the list leaves out, from the
  // memo's senders and kinds: then true. False when the row is to be made whole: its sender is
  // wanted, or is not one the memo can tell without the row's texts.
  bool TurnedAwayBySender(const ese::Record& record);
  const SenderMemo::Candidate* CandidateOf(const ese::Record& record);
  // The row's list position as Process reads it, without making its text where it is stored
  // as a plain number.
  int ListPositionOf(const ese::Record& record);
  SenderMemo::Answer Ask(std::u16string_view sender) const;

  // The content table's columns that an item is made of, found once per table.
  struct ContentEntries {
    explicit ContentEntries(const TableColumns& columns);
    std::optional<int> message_class, message_id, sender_name, sender_address, sent_representing,
        sender_candidate_b, sender_candidate_c, normalized_subject, subject_prefix, attachment_flag,
        list_position, plain_body;
    std::array<std::optional<int>, 3> dates;  // the first readable one counts
  };

  Recovery& recovery_;
  ValueReader& reader_;
  const TableColumns& content_columns_;
  const TableColumns& message_columns_;
  const FolderItemSink& sink_;
  FolderItemUse use_;
  const FolderReadOptions& options_;
  const ContentEntries entries_;
  const ese::Table* message_table_ = nullptr;
  SenderMemo* memo_ = nullptr;
};

}  // namespace tarvex
