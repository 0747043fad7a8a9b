#pragma once

// One listed item as `list --json` and `search --json` give it: numbers and booleans as JSON
// types, the date in ISO 8601 UTC, recipients and attachment identifiers as lists.

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "mailbox/item_texts.h"
#include "mailbox/mailbox_model.h"

namespace tarvex::cli {

using ListRow = std::vector<std::u16string>;

// The recipients of a "To", "Cc" or "Bcc" text, one per entry: "Name [address]" or an address.
std::vector<std::string> RecipientList(std::u16string_view recipients);

// `position` is the item's 1-based place in its folder's list, the number `show` and `eml` take.
nlohmann::json ItemJson(const ListRow& row, StoreLayout layout, std::size_t position);

}  // namespace tarvex::cli
