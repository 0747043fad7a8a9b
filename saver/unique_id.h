#pragma once

#include <string>
#include <string_view>

namespace tarvex {

// A random (version 4) UUID in its lower-case text form, for the UID of a saved entry.
std::string NewUuid();

// A name-based (version 5, SHA-1) UUID in its lower-case text form: the same item identifier
// gives the same UID in every export, so that calendar and address book programs see a second
// export of an item as the same entry.
std::string UuidFromItemId(std::u16string_view item_id);

// The UUID of the item identifier, or a random one when the record carries no identifier.
std::string EntryUuid(std::u16string_view item_id);

}  // namespace tarvex
