#pragma once

// Address lists as the listing and the stored headers give them ("Name <a@x>", "Name [a@x]",
// bare addresses, names without an address, separated by commas or semicolons, sometimes
// mangled: "Carla Rossi<carla.rossi@example.com,>"), read leniently and written back as
// RFC 5322 address lists.

#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

struct MailAddress {
  std::u16string name;     // may be empty
  std::u16string address;  // empty when only a name is known
};

// Every entry once: an address that comes again is dropped, the first name kept.
std::vector<MailAddress> ParseAddressList(std::u16string_view text);

// The value of an address header: mailboxes as "Name" <address> (names outside printable ASCII
// as RFC 2047 encoded-words), an entry without an address as an empty group named after it,
// entries separated by a comma and a folded line end. Empty for an empty list.
std::u16string AddressListHeaderValue(const std::vector<MailAddress>& addresses);

}  // namespace tarvex
