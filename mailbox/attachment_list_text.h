#pragma once

// The text form of an item's attachment list ("N67b3"): the stored identifiers as lower-case
// hexadecimal digits, two per byte, 16 per identifier. The identifier text of each attachment
// (hexadecimal without leading zeros) then occurs inside it, and a list that names at least
// one attachment is longer than 14 characters.

#include <optional>
#include <string>

#include "ese/record.h"

namespace tarvex {

// None when the value cannot be read; an empty text for an empty value. Values of any shape
// (inline, compressed, long, multi-valued) give the digits of the bytes they hold, up to a
// bound far beyond any real list.
std::optional<std::u16string> ReadAttachmentListText(const ese::Record* record, int value_entry);

}  // namespace tarvex
