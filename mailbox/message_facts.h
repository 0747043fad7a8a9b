#pragma once

// What an older-layout item takes from its "Msg" row: the sender and recipients of its
// transport headers, or the row's own address texts where the headers name none. Read per item
// where the item is, or gathered for every row in one pass over the table in its own order:
// an item's row read where it stands costs a page read per item, as a folder's items lie far
// apart in "Msg".

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
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

// The facts of one "Msg" row; `columns` are the "Msg" table's.
MessageFacts ReadMessageFacts(ValueReader& reader, const ese::Record& record,
                              const TableColumns& columns);

// The facts of the "Msg" rows, gathered in one pass, kept while their texts stay within a bound
// (rows past it are read where they are), and a mark per row from a test the gatherer gives.
// A pass that tests each row reads the two halves of the table on two threads.
class GatheredMessageFacts {
 public:
  // Called on both threads at once: it must only read what it shares. `columns` are the
  // "Msg" table's.
  using RowTest = std::function<bool(const ese::Record& record, const TableColumns& columns)>;

  // (rows read, rows), now and then, on the calling thread; false ends the pass.
  using Progress = std::function<bool(std::uint32_t, std::uint32_t)>;

  // One pass over "Msg"; none without a "Msg" table, or when the pause gate is cancelled or
  // `progress` ends it.
  static std::optional<GatheredMessageFacts> Gather(Recovery& recovery, const RowTest& test = {},
                                                    const Progress& progress = {},
                                                    std::size_t text_bound = kDefaultTextBound);

  static constexpr std::size_t kDefaultTextBound = 192u << 20;

  // None for a row the pass did not keep.
  std::optional<MessageFacts> Find(std::uint32_t record_number) const;
  // The test's answer for the row; none without a test or for a row it could not read.
  std::optional<bool> TestResult(std::uint32_t record_number) const;

 private:
  struct Pass;
  // Reads rows [first, last) into this, numbered from `first` on; `report`, when given, is
  // asked every so many rows whether to go on.
  void GatherRows(Pass& pass, ValueReader& reader, std::uint32_t first, std::uint32_t last,
                  std::size_t text_bound, const std::function<bool()>& report);
  // This one's own rows; the rows after them are `later_`'s (the second thread's), kept as
  // they are rather than copied in.
  std::uint32_t own_rows() const { return static_cast<std::uint32_t>(states_.size()); }
  std::unique_ptr<GatheredMessageFacts> later_;

  // Row r's fields are text_[starts_[r], starts_[r + 1]), in MessageFacts' order, each ended
  // by 0xFF (a byte UTF-8 never holds).
  std::string text_;
  std::vector<std::uint32_t> starts_;
  std::vector<std::uint8_t> states_;  // kKept, kTested, kPassed by row
  static constexpr std::uint8_t kKept = 1;
  static constexpr std::uint8_t kTested = 2;
  static constexpr std::uint8_t kPassed = 4;
};

}  // namespace tarvex
