#pragma once

// The header block a message was delivered with, as the store keeps it (the transport headers
// of the item), read into its fields so that an exported message can carry them again.

#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

struct HeaderField {
  std::u16string name;
  std::u16string value;  // unfolded, without the blank after the colon
};

// The fields in their order. Continuation lines join the field before them; a line that is no
// field ("Microsoft Mail Internet Headers Version 2.0", a stray text) is left out.
std::vector<HeaderField> ParseHeaderBlock(std::u16string_view block);

// The value of the first field of that name (any case), or an empty text.
std::u16string FieldValue(const std::vector<HeaderField>& fields, std::u16string_view name);

// "<left@right>" from a stored message id with or without its angle brackets; empty when the
// text is no message id.
std::u16string MessageIdText(std::u16string_view stored);

// The message ids of an In-Reply-To or References text, separated by blanks; empty when none.
std::u16string MessageIdListText(std::u16string_view stored);

// A message id for an item that has none stored: the same item gives the same id every time.
std::u16string DerivedMessageId(std::u16string_view item_id);

}  // namespace tarvex
