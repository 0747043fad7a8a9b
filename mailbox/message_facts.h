#pragma once

// What an older-layout item takes from its "Msg" row: the sender and recipients of its
// transport headers, or the row's own address texts where the headers name none. Read per item
// where the item is, or gathered for every row in one pass over the table in its own order:
// an item's row read where it stands costs a page read per item, as a folder's items lie far
// apart in "Msg".

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "mailbox/recovery.h"
#include "mailbox/table_columns.h"

namespace tarvex {

struct MessageFacts {
  std::u16string header_sender;   // "From: " of the transport headers
  std::u16string address_sender;  // from "N67b5", read only where the headers give no sender
  std::u16string recipients;      // "To: ", or the addresses of "N67b4"
  std::u16string copy_recipients;
  std::u16string blind_copy_recipients;
};

// Which facts are read: the senders alone leave the recipient fields empty.
enum class FactsRead { kSendersAndRecipients, kSendersOnly };

// The facts of one "Msg" row; `columns` are the "Msg" table's.
MessageFacts ReadMessageFacts(ValueReader& reader, const ese::Record& record,
                              const TableColumns& columns,
                              FactsRead read = FactsRead::kSendersAndRecipients);

// The facts of the "Msg" rows, gathered in one pass over the table in its order
// (MessageFactsCollector), kept while their texts stay within a bound (rows past it are read
// where they are), and a mark per row from a test the gatherer gives.
class GatheredMessageFacts {
 public:
  // Called on several threads at once: it must only read what it shares. `columns` are the
  // "Msg" table's.
  using RowTest = std::function<bool(const ese::Record& record, const TableColumns& columns)>;

  static constexpr std::size_t kDefaultTextBound = 192u << 20;

  // The rows from `first` on, as one worker made them.
  struct Part {
    std::uint32_t first = 0;
    // The senders, few and met again and again, once each (the first is the empty text); each
    // row's header and address sender by their place there.
    std::vector<std::u16string> senders = {u""};
    std::vector<std::uint32_t> sender_places;  // two per row
    // The recipients of each row, one field after the other in UTF-8: field k (row r's field
    // f is k = kRecipientFields * r + f) is text[starts[k], starts[k + 1]).
    std::string text;
    std::vector<std::uint32_t> starts = {0};
    std::vector<std::uint8_t> states;  // kKept, kTested, kPassed by row
    std::uint32_t rows() const { return static_cast<std::uint32_t>(states.size()); }

    // While the part is made: each sender's place.
    std::unordered_map<std::u16string, std::uint32_t> places_of_senders;

    // Appends the next row's facts (then true), or empty ones without facts or for facts that
    // would not come back as they are; `bytes` grows by the room newly taken.
    bool AppendRow(const MessageFacts* facts, std::size_t& bytes);
    std::uint32_t PlaceOfSender(const std::u16string& sender, std::size_t& bytes);
  };
  static constexpr std::size_t kRecipientFields = 3;
  static constexpr std::uint8_t kKept = 1;
  static constexpr std::uint8_t kTested = 2;
  static constexpr std::uint8_t kPassed = 4;

  // `parts` cover rows 0, 1, ... one after the other, in any order.
  explicit GatheredMessageFacts(std::vector<Part> parts,
                                FactsRead read = FactsRead::kSendersAndRecipients);
  // Whether the recipients were gathered; without them FindRecipients finds none.
  bool has_recipients() const { return read_ == FactsRead::kSendersAndRecipients; }

  // None for a row the pass did not keep. Without `with_recipients` the recipients are left
  // empty: most items a search turns away are turned away by their sender.
  std::optional<MessageFacts> Find(std::uint32_t record_number, bool with_recipients = true) const;
  // The row's recipients into those fields of `facts`, the rest left alone; false (nothing
  // changed) for a row the pass did not keep, or when it gathered no recipients.
  bool FindRecipients(std::uint32_t record_number, MessageFacts& facts) const;
  // The test's answer for the row; none without a test or for a row it could not read.
  std::optional<bool> TestResult(std::uint32_t record_number) const;
  // The place of the row's header sender (Find's header_sender) among the senders, 0 for none;
  // none for a row the pass did not keep.
  std::optional<std::uint32_t> HeaderSenderPlace(std::uint32_t record_number) const;
  const std::u16string& SenderAt(std::uint32_t place) const { return senders_[place]; }
  std::size_t sender_count() const { return senders_.size(); }

 private:
  // The part holding the row and the row's place in it; none past the last row.
  std::optional<std::pair<const Part*, std::uint32_t>> Locate(std::uint32_t record_number) const;

  std::vector<Part> parts_;  // by first row, their senders moved to the lists below
  FactsRead read_;
  // Every part's senders once, and each row's two by their place there, by record number: an
  // item's sender is found without reaching into its part.
  std::vector<std::u16string> senders_;
  std::vector<std::uint32_t> sender_places_;  // a row not kept: kNotKept for its header sender
  static constexpr std::uint32_t kNotKept = UINT32_MAX;
};

}  // namespace tarvex
