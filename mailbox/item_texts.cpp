#include "mailbox/item_texts.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <limits>
#include <vector>

#include "base/utf16_text.h"
#include "content/text_transformations.h"
#include "pattern/pattern_groups.h"

namespace tarvex {
namespace {

bool IsAsciiAlphanumeric(char16_t unit) {
  return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'z') ||
         (unit >= u'A' && unit <= u'Z');
}

// Display texts of recipients often read "J o h n @ e x a m p l e . c o m": the blank before
// a character that can belong to an address goes.
std::u16string WithoutBlanksBeforeAddressCharacters(std::u16string_view text) {
  std::u16string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u' ' && i + 1 < text.size()) {
      const char16_t next = text[i + 1];
      if (IsAsciiAlphanumeric(next) ||
          std::u16string_view(u"@._-<>").find(next) != std::u16string_view::npos) {
        continue;
      }
    }
    result.push_back(text[i]);
  }
  return result;
}

bool TakeField(std::u16string_view line, std::u16string_view prefix, std::u16string& field) {
  if (!line.starts_with(prefix)) return false;
  field = HeaderFieldText(line.substr(prefix.size()));
  return true;
}

}  // namespace

bool LooksLikeAddress(std::u16string_view text) {
  return std::count_if(text.begin(), text.end(),
                       [](char16_t unit) { return unit == u'.' || unit == u'@'; }) >= 2;
}

std::u16string SmtpSplit(std::u16string_view text) {
  std::vector<std::u16string> parts = Split(Trim(text), u',');
  parts.pop_back();  // Split always gives at least one piece: the one after the last ","
  std::u16string result;
  for (const std::u16string& part : parts) {
    if (part.empty()) continue;
    const std::size_t smtp = part.find(u"SMTP");
    if (smtp != std::u16string::npos && part.find(u"SMTP", smtp + 4) == std::u16string::npos) {
      result += Trim(std::u16string_view(part).substr(0, smtp)) + u"<" +
                Trim(std::u16string_view(part).substr(smtp + 4)) + u">,";
    } else {
      // Without "SMTP", or with it more than once, the piece is not a name and an address.
      result += part + u", ";
    }
  }
  return result;
}

std::u16string HeaderFieldText(std::u16string_view value) {
  std::u16string text;
  text.reserve(value.size());
  for (char16_t unit : value) {
    if (unit == u'"') continue;
    text.push_back(unit == u'<' ? u'[' : unit == u'>' ? u']' : unit);
  }
  return text;
}

void TransportHeaderFields::TakeLine(std::u16string_view line) {
  // "Envelope-to:" and "Reply-To:" are renamed wherever they stand; a line without "-" holds
  // neither, and is taken as it is.
  std::u16string renamed;
  if (line.find(u'-') != std::u16string_view::npos) {
    renamed = line;
    ReplaceAll(renamed, u"Envelope-to:", u"Envelope:");
    ReplaceAll(renamed, u"Reply-To:", u"Reply:");
    line = renamed;
  }
  if (TakeField(line, u"To: ", recipients)) return;
  if (TakeField(line, u"From: ", sender)) return;
  if (TakeField(line, u"Cc: ", copy_recipients)) return;
  TakeField(line, u"Bcc: ", blind_copy_recipients);
}

std::u16string RecipientsFromDisplayText(std::u16string_view display_text) {
  std::u16string recipients = ExtractMailAddresses(display_text);
  if (recipients.empty()) {
    std::u16string joined = WithoutBlanksBeforeAddressCharacters(display_text);
    ReplaceAll(joined, u"SMTP", u" SMTP ");
    recipients = ExtractMailAddresses(joined);
  }
  recipients = EscapeAngleBrackets(recipients);
  for (std::u16string_view domain : {u".com", u".net", u".org"}) {
    ReplaceAll(recipients, domain, std::u16string(domain) + u",");
  }
  for (std::u16string_view domain : {u".com", u".net", u".org"}) {
    ReplaceAll(recipients, std::u16string(domain) + u",,", std::u16string(domain) + u",");
  }
  ReplaceAll(recipients, u",@", u"@");
  ReplaceAll(recipients, u",]", u"]");
  return recipients;
}

std::u16string SenderFromAddressText(std::u16string_view address_text) {
  std::u16string sender = ExtractMailAddresses(address_text);
  const std::size_t bracket = sender.find(u'>');
  if (bracket != std::u16string::npos && bracket > 0) sender.resize(bracket);
  return sender;
}

int ListPositionFromText(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  long long value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = std::min<long long>(value * 10 + (text[i] - u'0'), std::numeric_limits<int>::max());
  }
  if (negative && value > 0) return std::numeric_limits<int>::max();
  return static_cast<int>(value);
}

std::optional<std::uint32_t> RecordNumberFromText(std::u16string_view text) {
  std::string digits;
  for (char16_t unit : text) {
    if (unit < u'0' || unit > u'9') return std::nullopt;
    digits.push_back(static_cast<char>(unit));
  }
  std::uint32_t number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
      number > static_cast<std::uint32_t>(std::numeric_limits<int>::max())) {
    return std::nullopt;
  }
  return number;
}

std::u16string RecipientColumnAddresses(std::u16string_view column_text) {
  return ExtractMailAddresses(CollapseRecipientSpaces(column_text));
}

std::u16string FirstHeaderGroup(std::u16string_view pattern, std::u16string_view headers) {
  std::vector<std::u16string> groups;
  if (!FindPatternGroups(pattern, false, 1, headers, groups, false) || groups.empty()) {
    return std::u16string();
  }
  return groups.front();
}

std::u16string MailRecipients2010(std::u16string_view recipient_column,
                                  std::u16string_view display_to,
                                  std::u16string_view transport_headers) {
  std::u16string recipients = RecipientColumnAddresses(recipient_column);
  if (recipients.empty()) recipients = ExtractMailAddresses(display_to);
  recipients = EscapeAngleBrackets(recipients);
  if (recipients.empty() && !transport_headers.empty()) {
    recipients = ExtractMailAddresses(FirstHeaderGroup(u"To: \\b*{.+?}>", transport_headers));
  }
  return recipients;
}

std::optional<std::size_t> DecimalNumber(std::u16string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  std::size_t value = 0;
  for (char16_t unit : text) {
    if (unit < u'0' || unit > u'9') return std::nullopt;
    value = value * 10 + static_cast<std::size_t>(unit - u'0');
  }
  return value;
}

std::optional<std::string> IsoDate(std::u16string_view store_date) {
  static constexpr std::array<std::u16string_view, 12> kMonths = {u"Jan", u"Feb", u"Mar", u"Apr",
                                                                  u"May", u"Jun", u"Jul", u"Aug",
                                                                  u"Sep", u"Oct", u"Nov", u"Dec"};
  // "Mmm,DD YYYY HH:MM:SS"
  if (store_date.size() != 20 || store_date[3] != u',' || store_date[6] != u' ' ||
      store_date[11] != u' ' || store_date[14] != u':' || store_date[17] != u':') {
    return std::nullopt;
  }
  std::size_t month = 0;
  while (month < kMonths.size() && kMonths[month] != store_date.substr(0, 3)) ++month;
  const std::optional<std::size_t> day = DecimalNumber(store_date.substr(4, 2));
  const std::optional<std::size_t> year = DecimalNumber(store_date.substr(7, 4));
  const std::optional<std::size_t> hour = DecimalNumber(store_date.substr(12, 2));
  const std::optional<std::size_t> minute = DecimalNumber(store_date.substr(15, 2));
  const std::optional<std::size_t> second = DecimalNumber(store_date.substr(18, 2));
  if (month == kMonths.size() || !day || !year || !hour || !minute || !second) {
    return std::nullopt;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%04zu-%02zu-%02zuT%02zu:%02zu:%02zuZ", *year, month + 1, *day,
                *hour, *minute, *second);
  return text;
}

}  // namespace tarvex
