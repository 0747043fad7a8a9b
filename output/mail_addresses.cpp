#include "output/mail_addresses.h"

#include <algorithm>
#include <utility>

#include "base/utf16_text.h"
#include "output/mime_encoding.h"

namespace tarvex {
namespace {

// RFC 5322 specials, controls and blanks: none of them stands in a bare address.
bool IsAddressUnit(char16_t unit) {
  if (unit <= 0x20 || unit >= 0x7F) return false;
  return std::u16string_view(u"()<>[]:;,\\\"").find(unit) == std::u16string_view::npos;
}

bool IsAddress(std::u16string_view text) {
  const std::size_t at = text.find(u'@');
  return at != std::u16string_view::npos && at > 0 && at + 1 < text.size() &&
         text.find(u'@', at + 1) == std::u16string_view::npos &&
         std::all_of(text.begin(), text.end(), IsAddressUnit);
}

// Blanks, line ends and `also` off both ends.
std::u16string Trimmed(std::u16string_view text, std::u16string_view also = u"") {
  return Trim(text, std::u16string(u" \t\r\n") + std::u16string(also));
}

// "SMTP:a@x" and "mailto:a@x" name the address after the colon.
std::u16string WithoutScheme(std::u16string text) {
  for (std::u16string_view scheme : {u"SMTP:", u"smtp:", u"mailto:"}) {
    if (text.starts_with(scheme)) return text.substr(scheme.size());
  }
  return text;
}

std::u16string UnquotedName(std::u16string_view text) {
  std::u16string name = Trimmed(text, u"\"'");
  std::u16string plain;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == u'\\' && i + 1 < name.size()) ++i;
    plain.push_back(name[i]);
  }
  return WithoutScheme(Trimmed(plain, u"\"'"));
}

// Pieces at commas and semicolons outside quotes and angle brackets.
std::vector<std::u16string> Entries(std::u16string_view text) {
  std::vector<std::u16string> entries(1);
  bool quoted = false;
  int angle = 0;
  for (char16_t unit : text) {
    if (unit == u'"') quoted = !quoted;
    if (!quoted && unit == u'<') ++angle;
    if (!quoted && unit == u'>' && angle > 0) --angle;
    if (!quoted && angle == 0 && (unit == u',' || unit == u';')) {
      entries.emplace_back();
      continue;
    }
    entries.back().push_back(unit);
  }
  return entries;
}

void AddEntry(std::u16string_view entry, std::vector<MailAddress>& list) {
  std::u16string name;
  std::vector<std::u16string> addresses;
  const std::size_t open = entry.find(u'<');
  if (open != std::u16string_view::npos) {
    name = UnquotedName(entry.substr(0, open));
    // Each bracketed group may hold an address, with stray commas or blanks around it.
    for (std::size_t at = open; at != std::u16string_view::npos; at = entry.find(u'<', at + 1)) {
      const std::size_t close = entry.find(u'>', at);
      const std::u16string inside = WithoutScheme(Trimmed(
          entry.substr(at + 1, close == std::u16string_view::npos ? std::u16string_view::npos
                                                                  : close - at - 1),
          u",;\"'"));
      if (IsAddress(inside)) addresses.push_back(inside);
    }
  } else {
    // "a@x", "Name a@x" or a name alone.
    const std::u16string text = Trimmed(entry);
    const std::size_t blank = text.find_last_of(u" \t");
    const std::u16string last = WithoutScheme(
        Trimmed(blank == std::u16string::npos ? text : text.substr(blank + 1), u"\"'"));
    if (IsAddress(last)) {
      addresses.push_back(last);
      if (blank != std::u16string::npos) name = UnquotedName(text.substr(0, blank));
    } else {
      name = UnquotedName(text);
    }
  }
  if (name.empty() && addresses.empty()) return;
  if (addresses.empty()) {
    list.push_back({std::move(name), u""});
    return;
  }
  if (name == addresses.front()) name.clear();
  for (std::u16string& address : addresses) {
    const bool known = std::any_of(list.begin(), list.end(), [&](const MailAddress& other) {
      return EqualsIgnoringAsciiCase(other.address, address);
    });
    if (!known) list.push_back({std::exchange(name, u""), std::move(address)});
  }
}

// A name as a phrase: quoted when it is plain text, encoded-words when it is not.
std::u16string Phrase(std::u16string_view name) {
  if (!IsPlainHeaderText(name)) return EncodeHeaderText(name);
  std::u16string quoted = u"\"";
  for (char16_t unit : name) {
    if (unit == u'"' || unit == u'\\') quoted.push_back(u'\\');
    quoted.push_back(unit);
  }
  return quoted + u"\"";
}

}  // namespace

std::vector<MailAddress> ParseAddressList(std::u16string_view text) {
  std::u16string bracketed = ReplacedAll(ReplacedAll(text, u"[", u"<"), u"]", u">");
  std::vector<MailAddress> list;
  for (const std::u16string& entry : Entries(bracketed)) AddEntry(entry, list);
  return list;
}

std::u16string AddressListHeaderValue(const std::vector<MailAddress>& addresses) {
  std::u16string value;
  for (const MailAddress& entry : addresses) {
    if (!value.empty()) value += u",\r\n ";
    if (entry.address.empty()) {
      // A name without an address is a group without members (RFC 6854 allows it in From).
      value += Phrase(entry.name) + u" : ;";
    } else if (entry.name.empty()) {
      value += entry.address;
    } else {
      value += Phrase(entry.name) + u" <" + entry.address + u">";
    }
  }
  return value;
}

}  // namespace tarvex
