#pragma once

// Contacts as vCard 4.0 entries (RFC 6350) appended to "contacts.vcf".

#include <filesystem>
#include <string>
#include <string_view>

#include "saver/contact_fields.h"

namespace tarvex {

// One BEGIN:VCARD ... END:VCARD entry in UTF-8 with CR LF line ends, folded at 75 octets
// without splitting a character. Empty fields give no property; FN, which vCard requires, is
// the full name, else the name parts, else the file-as name, else the first address.
std::string VCardEntry(const ContactFields& fields, std::u16string_view note, std::string_view uid);

// Appends under a lock and syncs; on failure the file keeps its entries as before.
bool AppendVCard(const std::filesystem::path& file, std::string_view entry, std::string& error);

// Folds one content line (without line end) into lines of at most 75 octets, each ended by
// CR LF, continuation lines starting with a blank. Shared with nothing else but kept apart so
// that the rule is tested on its own.
std::string FoldContentLine(std::string_view line);

}  // namespace tarvex
