#pragma once

// How an older-layout item's sender and recipients are made from the texts of its content row,
// its transport headers and its "Msg" row.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

// At least two characters that are "." or "@", counted together.
bool LooksLikeAddress(std::u16string_view text);

// "Ann SMTP ann@example.com,Bob SMTP bob@example.com," gives
// "Ann<ann@example.com>,Bob<bob@example.com>,": the text is trimmed and cut at every ","; the
// piece after the last "," is not used. A piece without "SMTP" is kept as it is, followed by
// ", ".
std::u16string SmtpSplit(std::u16string_view text);

// A header field's value as the list shows it: "<" and ">" become "[" and "]", double quotes
// go.
std::u16string HeaderFieldText(std::u16string_view value);

// The address fields that the transport headers give; a later line replaces an earlier one.
struct TransportHeaderFields {
  std::u16string recipients;
  std::u16string sender;
  std::u16string copy_recipients;
  std::u16string blind_copy_recipients;

  // Takes one header line ("To: ", "From: ", "Cc: ", "Bcc: "; "Envelope-to:" and "Reply-To:"
  // never count as "To: ").
  void TakeLine(std::u16string_view line);
};

// The recipients from the "Msg" row's display text of them ("N67b4") when the headers named
// none: its addresses, each followed by ",", with "<" and ">" shown as "[" and "]".
std::u16string RecipientsFromDisplayText(std::u16string_view display_text);

// A sender from the "Msg" row's sender text ("N67b5"): its addresses, cut before the first ">".
std::u16string SenderFromAddressText(std::u16string_view address_text);

// The decimal list position of "Le23": leading blanks, a sign and digits, as C's atoi reads
// them, 0 when there are none. A negative position means the end of the list.
int ListPositionFromText(std::u16string_view text);

// The older layout's record number in a list row: decimal digits up to the largest int; none
// for anything else.
std::optional<std::uint32_t> RecordNumberFromText(std::u16string_view text);

// 2010 layout: the addresses of a recipient column ("N67b4", binary, read as text).
std::u16string RecipientColumnAddresses(std::u16string_view column_text);

// The first group of the first match of a header pattern (pattern_groups.h), ignoring case;
// empty when none.
std::u16string FirstHeaderGroup(std::u16string_view pattern, std::u16string_view headers);

// 2010 layout: a mail item's recipients as its page shows them: the addresses of its recipient
// column, else of its display To ("N2c"), "<" and ">" shown as "[" and "]"; else the To of its
// transport headers.
std::u16string MailRecipients2010(std::u16string_view recipient_column,
                                  std::u16string_view display_to,
                                  std::u16string_view transport_headers);

// "2010-01-05T09:03:07Z" from the store's date text "Jan,05 2010 09:03:07" (UTC); none for a
// text that is no date (an unreadable date keeps its raw figures).
std::optional<std::string> IsoDate(std::u16string_view store_date);

// Up to nine decimal digits; none for anything else.
std::optional<std::size_t> DecimalNumber(std::u16string_view text);

}  // namespace tarvex
