#include "mailbox/message_facts.h"

#include <algorithm>
#include <span>
#include <string_view>

#include "base/utf16_text.h"
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
// their line ends; for the senders alone, only "From: " lines.
void TakeAddressLines(std::u16string_view headers, FactsRead read, TransportHeaderFields& fields) {
  using namespace std::string_view_literals;
  while (!headers.empty()) {
    const std::size_t end = std::min(FindUnit(headers, u'\n'), headers.size());
    std::u16string_view line = headers.substr(0, end);
    headers.remove_prefix(std::min(end + 1, headers.size()));
    // Most lines are none of the four.
    const char16_t first = line.empty() ? u'\0' : line.front();
    if (first != u'T' && first != u'F' && first != u'C' && first != u'B') continue;
    while (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    const bool sender = line.starts_with(u"From: "sv);
    const bool recipients = line.starts_with(u"To: "sv) || line.starts_with(u"Cc: "sv) ||
                            line.starts_with(u"Bcc: "sv);
    if (sender || (recipients && read == FactsRead::kSendersAndRecipients)) fields.TakeLine(line);
  }
}

std::u16string WithoutQuotes(std::u16string text) {
  text.erase(std::remove(text.begin(), text.end(), u'"'), text.end());
  return text;
}

// MessageFacts' fields in their order: the two senders, then the three recipient fields.
constexpr std::u16string MessageFacts::*kFieldsOfFacts[] = {
    &MessageFacts::header_sender, &MessageFacts::address_sender, &MessageFacts::recipients,
    &MessageFacts::copy_recipients, &MessageFacts::blind_copy_recipients};

}  // namespace

MessageFacts ReadMessageFacts(ValueReader& reader, const ese::Record& record,
                              const TableColumns& columns, FactsRead read) {
  MessageFacts facts;
  TransportHeaderFields fields;
  const std::u16string headers = TextOf(reader, record, columns, u"S7d");
  // A long header block is kept aside by the reader, and the value only says so.
  if (headers == u"true" && !reader.transport_headers().empty()) {
    TakeAddressLines(reader.transport_headers(), read, fields);
  } else {
    TakeAddressLines(headers, read, fields);
  }
  facts.header_sender = std::move(fields.sender);
  facts.recipients = std::move(fields.recipients);
  facts.copy_recipients = std::move(fields.copy_recipients);
  facts.blind_copy_recipients = std::move(fields.blind_copy_recipients);
  if (facts.recipients.empty() && read == FactsRead::kSendersAndRecipients) {
    facts.recipients = RecipientsFromDisplayText(TextOf(reader, record, columns, u"N67b4"));
  }
  if (WithoutQuotes(facts.header_sender).empty()) {
    facts.address_sender = SenderFromAddressText(TextOf(reader, record, columns, u"N67b5"));
  }
  return facts;
}

bool GatheredMessageFacts::Part::AppendRow(const MessageFacts* facts, std::size_t& bytes) {
  // A lone surrogate would not come back from UTF-8 as it was: such a row is read again.
  const bool kept =
      facts != nullptr && std::none_of(std::begin(kFieldsOfFacts), std::end(kFieldsOfFacts),
                                       [facts](std::u16string MessageFacts::*field) {
                                         return HasSurrogate(facts->*field);
                                       });
  sender_places.push_back(kept ? PlaceOfSender(facts->header_sender, bytes) : 0);
  sender_places.push_back(kept ? PlaceOfSender(facts->address_sender, bytes) : 0);
  const std::size_t before = text.size();
  for (std::u16string MessageFacts::*field : std::span(kFieldsOfFacts).subspan(2)) {
    if (kept) AppendAsUtf8(facts->*field, text);
    starts.push_back(static_cast<std::uint32_t>(text.size()));
  }
  bytes += text.size() - before;
  return kept;
}

std::uint32_t GatheredMessageFacts::Part::PlaceOfSender(const std::u16string& sender,
                                                        std::size_t& bytes) {
  if (sender.empty()) return 0;
  const auto [found, added] =
      places_of_senders.try_emplace(sender, static_cast<std::uint32_t>(senders.size()));
  if (added) {
    senders.push_back(sender);
    bytes += 4 * sender.size();  // the list's text and the look-up's
  }
  return found->second;
}

GatheredMessageFacts::GatheredMessageFacts(std::vector<Part> parts, FactsRead read)
    : parts_(std::move(parts)), read_(read) {
  std::sort(parts_.begin(), parts_.end(),
            [](const Part& a, const Part& b) { return a.first < b.first; });
  // The parts' sender lists made one.
  senders_ = {u""};
  std::unordered_map<std::u16string, std::uint32_t> places = {{u"", 0}};
  for (Part& part : parts_) {
    std::vector<std::uint32_t> place_of(part.senders.size(), 0);
    for (std::size_t i = 1; i < part.senders.size(); ++i) {
      const auto [found, added] =
          places.try_emplace(part.senders[i], static_cast<std::uint32_t>(senders_.size()));
      if (added) senders_.push_back(part.senders[i]);
      place_of[i] = found->second;
    }
    sender_places_.resize(2 * (std::size_t{part.first} + part.rows()), 0);
    for (std::size_t i = 0; i < part.sender_places.size(); ++i) {
      sender_places_[2 * std::size_t{part.first} + i] = place_of[part.sender_places[i]];
    }
    for (std::uint32_t row = 0; row < part.rows(); ++row) {
      if ((part.states[row] & kKept) == 0) {
        sender_places_[2 * std::size_t{part.first + row}] = kNotKept;
      }
    }
    part.places_of_senders.clear();
    part.senders.clear();
    part.senders.shrink_to_fit();
    part.sender_places.clear();
    part.sender_places.shrink_to_fit();
  }
}

std::optional<std::pair<const GatheredMessageFacts::Part*, std::uint32_t>>
GatheredMessageFacts::Locate(std::uint32_t record_number) const {
  // The last part starting at or before the row.
  const auto after =
      std::upper_bound(parts_.begin(), parts_.end(), record_number,
                       [](std::uint32_t number, const Part& part) { return number < part.first; });
  if (after == parts_.begin()) return std::nullopt;
  const Part& part = *(after - 1);
  const std::uint32_t row = record_number - part.first;
  if (row >= part.rows()) return std::nullopt;
  return std::pair{&part, row};
}

std::optional<MessageFacts> GatheredMessageFacts::Find(std::uint32_t record_number,
                                                       bool with_recipients) const {
  MessageFacts facts;
  if (with_recipients) {
    if (!FindRecipients(record_number, facts)) return std::nullopt;
  } else if (!HeaderSenderPlace(record_number)) {
    return std::nullopt;
  }
  facts.header_sender = senders_[sender_places_[2 * std::size_t{record_number}]];
  facts.address_sender = senders_[sender_places_[2 * std::size_t{record_number} + 1]];
  return facts;
}

bool GatheredMessageFacts::FindRecipients(std::uint32_t record_number,
                                          MessageFacts& facts) const {
  if (!has_recipients()) return false;
  const auto found = Locate(record_number);
  if (!found) return false;
  const auto [part, row_in_part] = *found;
  if ((part->states[row_in_part] & kKept) == 0) return false;
  const std::string_view text(part->text);
  std::size_t field = kRecipientFields * row_in_part;
  for (std::u16string MessageFacts::*into : std::span(kFieldsOfFacts).subspan(2)) {
    const std::uint32_t begin = part->starts[field];
    facts.*into = Utf8ToUtf16(text.substr(begin, part->starts[++field] - begin));
  }
  return true;
}

std::optional<std::uint32_t> GatheredMessageFacts::HeaderSenderPlace(
    std::uint32_t record_number) const {
  const std::size_t at = 2 * std::size_t{record_number};
  if (at >= sender_places_.size() || sender_places_[at] == kNotKept) return std::nullopt;
  return sender_places_[at];
}

std::optional<bool> GatheredMessageFacts::TestResult(std::uint32_t record_number) const {
  const auto found = Locate(record_number);
  if (!found || (found->first->states[found->second] & kTested) == 0) return std::nullopt;
  return (found->first->states[found->second] & kPassed) != 0;
}

}  // namespace tarvex
