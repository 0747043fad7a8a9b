#include "mailbox/message_facts.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <string_view>
#include <system_error>
#include <thread>

#include "base/utf_conversion.h"
#include "mailbox/item_texts.h"

namespace tarvex {
namespace {

std::u16string OrEmpty(std::optional<std::u16string> text) {
  return text ? std::move(*text) : std::u16string();
}

std::u16string TextOf(ValueReader& reader, const ese::Record& record, const TableColumns& columns,
                      std::u16string_view name) {
  const std::optional<int> entry = columns.Entry(name);
  return entry ? OrEmpty(reader.ReadValueText(&record, *entry)) : std::u16string();
}

// Hands on the header lines that can name an address field (the others name none), without
// their line ends.
void TakeAddressLines(std::u16string_view headers, TransportHeaderFields& fields) {
  while (!headers.empty()) {
    const std::size_t end = std::min(headers.find(u'\n'), headers.size());
    std::u16string_view line = headers.substr(0, end);
    headers.remove_prefix(std::min(end + 1, headers.size()));
    while (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    if (line.starts_with(u"To: ") || line.starts_with(u"From: ") || line.starts_with(u"Cc: ") ||
        line.starts_with(u"Bcc: ")) {
      fields.TakeLine(std::u16string(line));
    }
  }
}

std::u16string WithoutQuotes(std::u16string text) {
  text.erase(std::remove(text.begin(), text.end(), u'"'), text.end());
  return text;
}

bool HasSurrogate(std::u16string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; });
}

}  // namespace

MessageFacts ReadMessageFacts(ValueReader& reader, const ese::Record& record,
                              const TableColumns& columns) {
  MessageFacts facts;
  TransportHeaderFields fields;
  const std::u16string headers = TextOf(reader, record, columns, u"S7d");
  // A long header block is kept aside by the reader, and the value only says so.
  if (headers == u"true" && !reader.transport_headers().empty()) {
    TakeAddressLines(reader.transport_headers(), fields);
  } else {
    TakeAddressLines(headers, fields);
  }
  facts.header_sender = std::move(fields.sender);
  facts.recipients = std::move(fields.recipients);
  facts.copy_recipients = std::move(fields.copy_recipients);
  facts.blind_copy_recipients = std::move(fields.blind_copy_recipients);
  if (facts.recipients.empty()) {
    facts.recipients = RecipientsFromDisplayText(TextOf(reader, record, columns, u"N67b4"));
  }
  if (WithoutQuotes(facts.header_sender).empty()) {
    facts.address_sender = SenderFromAddressText(TextOf(reader, record, columns, u"N67b5"));
  }
  return facts;
}

// What both threads of a pass share.
struct GatheredMessageFacts::Pass {
  const ese::Table& table;
  const TableColumns& columns;
  const RowTest& test;
  PauseGate& pause_gate;
  std::atomic<bool> stop = false;             // the pass was ended: both threads stop
  std::atomic<std::uint32_t> rows_read = 0;  // by both threads
};

void GatheredMessageFacts::GatherRows(Pass& pass, ValueReader& reader, std::uint32_t first,
                                      std::uint32_t last, std::size_t text_bound,
                                      const std::function<bool()>& report) {
  states_.assign(last - first, 0);
  starts_.reserve(static_cast<std::size_t>(last - first) + 1);
  pass.table.ForEachRecordBetween(first, last, [&](std::uint32_t number,
                                                   const ese::Record* record) {
    starts_.push_back(static_cast<std::uint32_t>(text_.size()));
    if ((number - first) % 1024 == 0 &&
        (pass.stop || !pass.pause_gate.Checkpoint() || (report && !report()))) {
      pass.stop = true;
      return false;
    }
    ++pass.rows_read;
    if (record == nullptr) return true;
    std::uint8_t& state = states_[number - first];
    if (text_.size() < text_bound) {
      const MessageFacts facts = ReadMessageFacts(reader, *record, pass.columns);
      const std::u16string* fields[] = {&facts.header_sender, &facts.address_sender,
                                        &facts.recipients, &facts.copy_recipients,
                                        &facts.blind_copy_recipients};
      // A lone surrogate would not come back from UTF-8 as it was: such a row is read again.
      if (std::none_of(std::begin(fields), std::end(fields),
                       [](const std::u16string* field) { return HasSurrogate(*field); })) {
        for (const std::u16string* field : fields) {
          text_ += Utf16ToUtf8(*field);
          text_ += '\xFF';
        }
        state |= kKept;
      }
    }
    if (pass.test) {
      state = static_cast<std::uint8_t>(state | kTested | (pass.test(*record, pass.columns) ? kPassed : 0));
    }
    return true;
  });
  // Rows the table no longer had (none, as a rule) are rows not kept.
  starts_.resize(static_cast<std::size_t>(last - first) + 1,
                 static_cast<std::uint32_t>(text_.size()));
}

std::optional<GatheredMessageFacts> GatheredMessageFacts::Gather(Recovery& recovery,
                                                                 const RowTest& test,
                                                                 const Progress& progress,
                                                                 std::size_t text_bound) {
  if (!recovery.has_session()) return std::nullopt;
  StoreSession& session = recovery.session();
  const ese::Table* table = session.message_table();
  if (table == nullptr) return std::nullopt;
  // Also points the column directory's header slot at "Msg", where the reader looks for it.
  TableColumns columns;
  columns.Find(session, table, ColumnLookup::kMessageTable);
  // Finds the rows first, so that neither thread has to.
  const std::uint32_t rows = table->record_count();
  Pass pass{*table, columns, test, recovery.pause_gate()};
  const auto report = [&] { return !progress || progress(pass.rows_read, rows); };
  GatheredMessageFacts gathered;
  // Testing each row (a body made text and searched) is the work a second core shares; the
  // facts alone are read as fast by one thread, as both wait on the same page cache.
  std::uint32_t half = test ? rows / 2 : rows;
  auto second_half = std::make_unique<GatheredMessageFacts>();
  // A failure in either half ends the pass, not the program: the search then reads each row
  // where it lies.
  const auto gather = [&pass](GatheredMessageFacts& part, ValueReader& reader, std::uint32_t first,
                              std::uint32_t last, std::size_t bound,
                              const std::function<bool()>& go_on) {
    try {
      part.GatherRows(pass, reader, first, last, bound, go_on);
    } catch (const std::exception&) {
      pass.stop = true;
    }
  };
  {
    // A reader keeps the value it read last: the second thread has one of its own.
    BodyState body_state;
    ValueReader reader(session, recovery.working_folder(), body_state);
    std::jthread helper;
    if (half < rows) {
      try {
        helper = std::jthread([&] { gather(*second_half, reader, half, rows, text_bound / 2, {}); });
      } catch (const std::system_error&) {
        half = rows;  // no thread to be had: this one reads it all
      }
    }
    gather(gathered, recovery.reader(), 0, half, half < rows ? text_bound / 2 : text_bound,
           report);
  }
  if (pass.stop || recovery.pause_gate().IsCancelled()) return std::nullopt;
  if (progress && !progress(rows, rows)) return std::nullopt;
  if (half < rows) gathered.later_ = std::move(second_half);
  return gathered;
}

std::optional<MessageFacts> GatheredMessageFacts::Find(std::uint32_t record_number) const {
  if (record_number >= own_rows() && later_) return later_->Find(record_number - own_rows());
  if (record_number >= states_.size() || (states_[record_number] & kKept) == 0) {
    return std::nullopt;
  }
  std::string_view row(text_);
  row = row.substr(starts_[record_number], starts_[record_number + 1] - starts_[record_number]);
  MessageFacts facts;
  for (std::u16string* field : {&facts.header_sender, &facts.address_sender, &facts.recipients,
                                &facts.copy_recipients, &facts.blind_copy_recipients}) {
    const std::size_t end = row.find('\xFF');
    *field = Utf8ToUtf16(row.substr(0, end));
    row.remove_prefix(end + 1);
  }
  return facts;
}

std::optional<bool> GatheredMessageFacts::TestResult(std::uint32_t record_number) const {
  if (record_number >= own_rows() && later_) return later_->TestResult(record_number - own_rows());
  if (record_number >= states_.size() || (states_[record_number] & kTested) == 0) {
    return std::nullopt;
  }
  return (states_[record_number] & kPassed) != 0;
}

}  // namespace tarvex
