#pragma once

// Exchange's 8-byte identifiers of folders, messages, attachments and mailboxes: the replica
// number (2 bytes, little-endian) followed by the global counter (6 bytes, big-endian). Read
// as one big-endian number, replica 1 and counter 0x4FD give the text 1000000000004fd.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex::edbforge {

struct Identifier {
  std::array<uint8_t, 8> bytes{};
  bool operator==(const Identifier&) const = default;
};

// `replica` up to 0xFFFF, `counter` up to 0xFFFFFFFFFFFF.
Identifier MakeIdentifier(uint32_t replica, uint64_t counter);

// "1-4FD" (replica and counter in hexadecimal) or "0x1000000000004fd" (the 64-bit number the
// reader shows, stored big-endian). None for anything else.
std::optional<Identifier> ParseIdentifier(std::u16string_view text);

// The bytes read big-endian, lower-case hexadecimal without leading zeros.
std::u16string IdentifierHexText(const Identifier& id);

// The older layout's content table of a folder: the identifier text split before its last 14
// digits, the counter digits without leading zeros ("1-4FD"), upper case. The reader's folder
// key of that name is the upper-cased identifier text again. None for texts of fewer than 15
// digits (identifiers without a replica number name no content table).
std::optional<std::u16string> ContentTableName(const Identifier& id);

// The replica-counter form ("1-4FD") that the 2010 public store of revision 17 names its
// per-folder tables with.
std::u16string ReplicaCounterText(const Identifier& id);

}  // namespace tarvex::edbforge
