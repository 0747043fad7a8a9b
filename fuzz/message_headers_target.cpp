// One stored transport-header block, read into fields and written back as the header lines of
// an exported message: every value must come out as header text that cannot add a line.

#include <string>

#include "base/utf_conversion.h"
#include "fuzz/checks.h"
#include "fuzz/targets.h"
#include "output/mail_addresses.h"
#include "output/mime_encoding.h"
#include "output/transport_headers.h"

namespace tarvex::fuzz {
namespace {

// Printable ASCII, where a line end is only ever a fold: CR LF and a blank.
bool IsHeaderValue(std::u16string_view value) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char16_t unit = value[i];
    if (unit == u'\r') {
      if (i + 2 >= value.size() || value[i + 1] != u'\n' || value[i + 2] != u' ') return false;
      i += 1;
      continue;
    }
    if (unit == u'\n' || unit >= 0x7F || (unit < 0x20 && unit != u'\t')) return false;
  }
  return true;
}

}  // namespace

int FuzzMessageHeaders(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string block = Utf8ToUtf16(bytes);
  for (const HeaderField& field : ParseHeaderBlock(block)) {
    Require(!field.name.empty() && field.name.find(u':') == std::u16string::npos,
            "a field name is never empty and holds no colon");
    Require(field.value.find_first_of(u"\r\n") == std::u16string::npos,
            "an unfolded value holds no line end");
    Require(IsHeaderValue(AddressListHeaderValue(ParseAddressList(field.value))),
            "an address list is written as header text");
    Require(IsHeaderValue(EncodeHeaderText(field.value)), "a text value is written as header text");
    Require(IsHeaderValue(MessageIdListText(field.value)), "message ids are header text");
  }
  Require(IsHeaderValue(DerivedMessageId(block)), "a derived message id is header text");
  return 0;
}

}  // namespace tarvex::fuzz
