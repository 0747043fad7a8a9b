#pragma once

// Contacts and distribution lists as vCard 4.0 entries (RFC 6350) appended to "contacts.vcf".

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "saver/contact_fields.h"

namespace tarvex {

// One BEGIN:VCARD ... END:VCARD entry in UTF-8 with CR LF line ends, folded at 75 octets
// without splitting a character. Empty fields give no property; FN, which vCard requires, is
// the full name, else the name parts, else the file-as name, else the first address. An
// address given twice is written once; each category is one value of CATEGORIES.
std::string VCardEntry(const ContactFields& fields, std::u16string_view note, std::string_view uid,
                       const std::vector<std::u16string>& categories);

struct DistListMember {
  std::u16string name;  // may be empty
  std::u16string address;
};

struct DistListItem {
  std::string uid;
  std::u16string name;
  std::vector<DistListMember> members;
  std::u16string note;
};

// A distribution list as a group entry: KIND:group and one MEMBER (a mailto: address) for each
// member with an address, the member's name kept as its X-DISPLAY-NAME.
std::string VCardGroupEntry(const DistListItem& list);

// Appends under a lock and syncs; on failure the file keeps its entries as before.
bool AppendVCard(const std::filesystem::path& file, std::string_view entry, std::string& error);

// Folds one content line (without line end) into lines of at most 75 octets, each ended by
// CR LF, continuation lines starting with a blank. Shared with nothing else but kept apart so
// that the rule is tested on its own.
std::string FoldContentLine(std::string_view line);

}  // namespace tarvex
