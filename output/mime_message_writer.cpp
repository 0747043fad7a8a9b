#include "output/mime_message_writer.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <optional>
#include <span>
#include <system_error>

#include "base/code_page_1252.h"
#include "base/date_text.h"
#include "base/file_names.h"
#include "base/utf16_file.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "content/body_text_encoding.h"
#include "output/content_type_table.h"
#include "output/mail_addresses.h"
#include "output/mime_encoding.h"
#include "output/transport_headers.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kBoundary = "----=_NextPart_000_000D_01C2A06C.7F8E75B0";
constexpr std::u16string_view kBoundaryLine = u"------=_NextPart_000_000D_01C2A06C.7F8E75B0\r\n";
constexpr std::u16string_view kClosingLine = u"------=_NextPart_000_000D_01C2A06C.7F8E75B0--\r\n";
constexpr std::u16string_view kMultipartType =
    u"Content-Type: multipart/mixed;\r\n"
    u"\tboundary=\"----=_NextPart_000_000D_01C2A06C.7F8E75B0\"\r\n";
// Fields this writer sets itself; the stored ones of these names are not copied.
constexpr std::u16string_view kOwnFields[] = {
    u"From",       u"To",          u"Cc",         u"Bcc",          u"Subject",  u"Date",
    u"Message-ID", u"In-Reply-To", u"References", u"MIME-Version", u"X-MimeOLE"};
// A multiple of 57 bytes, so that every chunk but the last fills whole base64 lines.
constexpr std::size_t kAttachmentChunkBytes = 57 * 1024;
constexpr std::size_t kReadChunkBytes = 64 * 1024;
// The longest line RFC 5322 allows, without its line end.
constexpr std::size_t kMaxLineBytes = 998;

void Put(Utf16File& file, std::u16string_view text) {
  const std::string utf8 = Utf16ToUtf8(text);
  file.WriteString(std::string_view(utf8));
}

// A line break inside a value would start a header of its own.
std::u16string HeaderValue(std::u16string_view value) {
  std::u16string clean(value);
  for (char16_t& unit : clean) {
    if (unit == u'\r' || unit == u'\n') unit = u' ';
  }
  return clean;
}

// "Tue, 05 Jan 2010 09:03:07 +0000"; empty when the text is no date.
std::u16string RfcDate(std::u16string_view date_text) {
  const std::optional<UtcDateTime> date = ParseDateText(Trim(date_text));
  if (!date) return u"";
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  // Days since 1970-01-01 of the civil date, for the weekday.
  const int y = date->year - (date->month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int year_of_era = y - era * 400;
  const int day_of_year =
      (153 * (date->month + (date->month > 2 ? -3 : 9)) + 2) / 5 + date->day - 1;
  const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  const long days = static_cast<long>(era) * 146097 + day_of_era - 719468;
  const long weekday = ((days % 7) + 11) % 7;  // 1970-01-01 was a Thursday
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[weekday],
                date->day, kMonths[date->month - 1], date->year, date->hour, date->minute,
                date->second);
  return FromAscii(text);
}

// One header line, its value kept to a single line.
void AddField(std::u16string& header, std::u16string_view name, std::u16string_view value) {
  if (value.empty()) return;
  header += name;
  header += u": ";
  header += value;
  header += u"\r\n";
}

// Unstructured and delivered values folded at blanks, so that lines stay near 78 characters
// (and far below the 998 a line may have) where the text has blanks to fold at.
std::u16string Folded(std::size_t name_size, std::u16string_view value) {
  constexpr std::size_t kLineLength = 78;
  std::u16string folded;
  std::size_t line = name_size + 2;  // "Name: "
  std::size_t start = 0;
  while (start < value.size()) {
    std::size_t end = value.find(u' ', start + 1);
    if (end == std::u16string_view::npos) end = value.size();
    const std::u16string_view word = value.substr(start, end - start);
    const std::size_t line_end = word.find(u'\n');
    if (line + word.size() > kLineLength && start > 0 && word.size() > 1 &&
        line_end == std::u16string_view::npos) {
      folded += u"\r\n";
      line = 0;
    }
    folded += word;
    line = line_end == std::u16string_view::npos ? line + word.size() : word.size() - line_end - 1;
    start = end;
  }
  return folded;
}

// The stored list where the delivered headers give one, else the item's own.
std::vector<MailAddress> AddressesOf(std::u16string_view own,
                                     const std::vector<HeaderField>& stored,
                                     std::u16string_view name) {
  std::vector<MailAddress> delivered = ParseAddressList(FieldValue(stored, name));
  if (!delivered.empty()) return delivered;
  return ParseAddressList(HeaderValue(own));
}

// From: the item's sender when its address is known, else the delivered From, else the
// sender's name alone.
std::vector<MailAddress> SenderOf(std::u16string_view own, const std::vector<HeaderField>& stored) {
  std::vector<MailAddress> sender = ParseAddressList(HeaderValue(own));
  const bool has_address = std::any_of(sender.begin(), sender.end(), [](const MailAddress& entry) {
    return !entry.address.empty();
  });
  if (has_address) return sender;
  std::vector<MailAddress> delivered = ParseAddressList(FieldValue(stored, u"From"));
  return delivered.empty() ? sender : delivered;
}

bool IsAddressField(std::u16string_view name) {
  static constexpr std::u16string_view kAddressFields[] = {
      u"Reply-To",  u"Sender",    u"Resent-From", u"Resent-Sender",
      u"Resent-To", u"Resent-Cc", u"Resent-Bcc",  u"Disposition-Notification-To"};
  return std::any_of(
      std::begin(kAddressFields), std::end(kAddressFields),
      [name](std::u16string_view field) { return EqualsIgnoringAsciiCase(name, field); });
}

// The stored fields this writer does not set, with values outside ASCII as encoded-words;
// the body's own content fields are never taken from them.
std::u16string DeliveredFields(const std::vector<HeaderField>& stored) {
  std::u16string header;
  for (const HeaderField& field : stored) {
    const bool own = std::any_of(
        std::begin(kOwnFields), std::end(kOwnFields),
        [&](std::u16string_view name) { return EqualsIgnoringAsciiCase(field.name, name); });
    if (own || StartsWithIgnoringAsciiCase(field.name, u"Content-")) continue;
    if (IsPlainHeaderText(field.value)) {
      AddField(header, field.name, Folded(field.name.size(), field.value));
    } else if (IsAddressField(field.name)) {
      // Names outside ASCII become encoded-words outside any quotes, as in From.
      AddField(header, field.name, AddressListHeaderValue(ParseAddressList(field.value)));
    } else {
      AddField(header, field.name, Folded(field.name.size(), EncodeHeaderText(field.value)));
    }
  }
  return header;
}

std::u16string MessageHeader(const EmlMessage& message, const std::vector<HeaderField>& stored) {
  std::u16string header;
  AddField(header, u"From", AddressListHeaderValue(SenderOf(message.from, stored)));
  AddField(header, u"To", AddressListHeaderValue(AddressesOf(message.to, stored, u"To")));
  AddField(header, u"Cc", AddressListHeaderValue(AddressesOf(message.cc, stored, u"Cc")));
  AddField(header, u"Bcc", AddressListHeaderValue(AddressesOf(message.bcc, stored, u"Bcc")));
  std::u16string date = RfcDate(message.date);
  if (date.empty()) date = FieldValue(stored, u"Date");
  AddField(header, u"Date", date);
  header += u"Subject: " + Folded(7, EncodeHeaderText(HeaderValue(message.subject))) + u"\r\n";
  std::u16string id = MessageIdText(message.message_id);
  if (id.empty()) id = MessageIdText(FieldValue(stored, u"Message-ID"));
  if (id.empty()) id = DerivedMessageId(message.item_id);
  AddField(header, u"Message-ID", id);
  const std::u16string in_reply_to = MessageIdListText(message.in_reply_to);
  AddField(
      header, u"In-Reply-To",
      in_reply_to.empty() ? MessageIdListText(FieldValue(stored, u"In-Reply-To")) : in_reply_to);
  const std::u16string references = MessageIdListText(message.references);
  AddField(header, u"References",
           references.empty() ? MessageIdListText(FieldValue(stored, u"References")) : references);
  header += DeliveredFields(stored);
  header += u"MIME-Version: 1.0\r\n";
  header += u"X-MimeOLE: Produced By Tarvex Mailbox Rescue\r\n";
  return header;
}

// Reads to the end of the file rather than trusting a length. Empty when the file cannot be
// opened or holds nothing.
std::string ReadWholeFile(const fs::path& path) {
  std::string bytes;
  BinaryFile file;
  if (path.empty() || !file.Open(path, BinaryFile::kRead)) return bytes;
  std::string chunk(kReadChunkBytes, '\0');
  while (const std::size_t got = file.Read(chunk.data(), chunk.size())) {
    bytes.append(chunk, 0, got);
  }
  return bytes;
}

std::u16string WithoutNulUnits(std::u16string text) {
  std::erase(text, u'\0');
  return text;
}

// Zero bytes are dropped as the Latin-1 reading drops them; so is a NUL unit in any encoding,
// since no body text holds one. Bytes of unknown encoding are recognised as the body routes
// recognise stored values, which end at their terminator.
std::u16string DecodeBody(std::string_view bytes, BodyFileEncoding encoding) {
  if (encoding == BodyFileEncoding::kUnknown) {
    return DecodeBodyBytes(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  }
  switch (encoding) {
    case BodyFileEncoding::kUtf16Le: {
      if (bytes.starts_with("\xFF\xFE")) bytes.remove_prefix(2);
      std::u16string text;
      text.reserve(bytes.size() / 2);
      // A trailing odd byte is no unit.
      for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit != 0) text.push_back(unit);
      }
      return text;
    }
    case BodyFileEncoding::kUtf8:
      if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
      return WithoutNulUnits(Utf8ToUtf16(bytes));
    case BodyFileEncoding::kWindows1252:
    case BodyFileEncoding::kUnknown:
      break;
  }
  std::string eight_bit(bytes);
  std::erase(eight_bit, '\0');
  return Windows1252ToUtf16(eight_bit);
}

bool HasOverlongLine(std::string_view text) {
  std::size_t line_length = 0;
  for (char c : text) {
    line_length = (c == '\r' || c == '\n') ? 0 : line_length + 1;
    if (line_length > kMaxLineBytes) return true;
  }
  return false;
}

// Every line end as CR LF, so that no bare CR or LF reaches the message.
std::u16string CrLfLines(std::u16string_view text) {
  std::u16string lines = ReplacedAll(text, u"\r\n", u"\n");
  ReplaceAll(lines, u"\r", u"\n");
  ReplaceAll(lines, u"\n", u"\r\n");
  return lines;
}

// The body part's content fields, the empty line and the text. RTF bodies arrive converted to
// plain text.
void WriteBodyPart(Utf16File& file, const EmlMessage& message) {
  const std::string body =
      Utf16ToUtf8(CrLfLines(DecodeBody(ReadWholeFile(message.body_file), message.body_encoding)));
  // A body line equal to the boundary would end the part early, and mail transports break
  // lines longer than 998 bytes; base64 holds neither.
  const bool as_base64 = body.find(kBoundary) != std::string::npos || HasOverlongLine(body);
  const bool eight_bit = !as_base64 && std::any_of(body.begin(), body.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x80;
  });
  const std::u16string transfer_encoding = as_base64 ? u"base64" : eight_bit ? u"8bit" : u"7bit";
  const std::u16string content_type = message.body_kind == u"html" ? u"text/html" : u"text/plain";
  Put(file, u"Content-Type: " + content_type + u"; charset=\"utf-8\"\r\n" +
                u"Content-Transfer-Encoding: " + transfer_encoding + u"\r\n\r\n");
  if (as_base64) {
    const std::string lines = Base64Lines(body);
    file.WriteString(std::string_view(lines));
  } else {
    file.WriteString(std::string_view(body));
  }
}

// The attachment as a regular file inside the message's folder, or nothing: a listed path
// that names no file, names a folder, leads out of the folder (by ".." or a link) or names the
// message file itself (which would grow as fast as it is read) is not attached. The file is
// then read by this resolved path, so a link changed after the test changes nothing.
std::optional<fs::path> AttachmentFile(const fs::path& folder, const fs::path& message_path,
                                       const fs::path& listed_path) {
  std::error_code error;
  const fs::path path = listed_path.is_relative() ? folder / listed_path : listed_path;
  if (!fs::exists(path, error)) return std::nullopt;
  const fs::path real = fs::canonical(path, error);
  if (error || !fs::is_regular_file(real, error)) return std::nullopt;
  const fs::path real_folder = fs::canonical(folder, error);
  if (error) return std::nullopt;
  const fs::path inside = real.lexically_relative(real_folder);
  if (inside.empty() || *inside.begin() == "..") return std::nullopt;
  if (fs::equivalent(real, message_path, error) || error) return std::nullopt;
  return real;
}

// The part is named after the listed file, even where a link inside the folder leads on.
void WriteAttachmentPart(Utf16File& file, const fs::path& path, std::u16string_view name) {
  BinaryFile attachment;
  if (!attachment.Open(path, BinaryFile::kRead)) return;
  std::u16string header(kBoundaryLine);
  header += u"Content-Type: " + ContentTypeForFileName(name) + u";\r\n";
  header += EncodedWordParameter(u"name", name) + u"\r\n";
  header += u"Content-Transfer-Encoding: base64\r\n";
  header += u"Content-Disposition: attachment;\r\n";
  header += FileNameParameter(u"filename", name) + u"\r\n\r\n";
  Put(file, header);

  std::string chunk(kAttachmentChunkBytes, '\0');
  while (true) {
    std::size_t filled = 0;
    while (filled < chunk.size()) {
      const std::size_t got = attachment.Read(chunk.data() + filled, chunk.size() - filled);
      if (got == 0) break;
      filled += got;
    }
    if (filled == 0) break;
    const std::string lines = Base64Lines(std::string_view(chunk).substr(0, filled));
    file.WriteString(std::string_view(lines));
    if (filled < chunk.size()) break;
  }
  // Ends the base64 text; the line end before the next boundary belongs to the boundary.
  Put(file, u"\r\n");
}

struct AttachmentFileName {
  fs::path path;        // the resolved file
  std::u16string name;  // the listed file's name, which the part carries
};

std::vector<AttachmentFileName> AttachmentFiles(const EmlMessage& message) {
  std::vector<AttachmentFileName> files;
  if (message.attachment_list.empty()) return files;
  fs::path folder = message.message_path.parent_path();
  if (folder.empty()) folder = ".";
  const std::vector<std::string> pieces = SplitText(Utf16ToUtf8(message.attachment_list), ";");
  for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
    if (pieces[i].empty()) continue;
    const fs::path listed(pieces[i]);
    if (std::optional<fs::path> path = AttachmentFile(folder, message.message_path, listed)) {
      files.push_back({std::move(*path), TextFromPath(listed.filename())});
    }
  }
  return files;
}

}  // namespace

void WriteEmlFile(const EmlMessage& message) {
  std::error_code ignored;
  fs::remove(message.message_path, ignored);
  Utf16File file;
  if (!file.Open(message.message_path, BinaryFile::kCreate | BinaryFile::kWrite)) return;

  const std::vector<HeaderField> stored = ParseHeaderBlock(message.transport_headers);
  Put(file, MessageHeader(message, stored));
  const std::vector<AttachmentFileName> attachments = AttachmentFiles(message);
  if (attachments.empty()) {
    WriteBodyPart(file, message);
  } else {
    // No preamble: the first boundary follows the header's empty line.
    Put(file, std::u16string(kMultipartType) + u"\r\n" + std::u16string(kBoundaryLine));
    WriteBodyPart(file, message);
    Put(file, u"\r\n");
    for (const AttachmentFileName& attachment : attachments) {
      WriteAttachmentPart(file, attachment.path, attachment.name);
    }
    Put(file, kClosingLine);
  }
  file.Close();
}

std::u16string WidenBytes(const char* bytes, std::int64_t length) {
  std::u16string text;
  if (bytes == nullptr || length <= 0) return text;
  const std::string_view view(bytes, static_cast<std::size_t>(length));
  text.reserve(view.size());
  for (char byte : view) {
    if (byte != '\0') text.push_back(static_cast<char16_t>(static_cast<unsigned char>(byte)));
  }
  return text;
}

std::vector<std::string> SplitText(std::string_view text, std::string_view delimiter) {
  std::vector<std::string> pieces;
  if (delimiter.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  std::size_t start = 0;
  for (std::size_t found = text.find(delimiter); found != std::string_view::npos;
       found = text.find(delimiter, start)) {
    pieces.emplace_back(text.substr(start, found - start));
    start = found + delimiter.size();
  }
  pieces.emplace_back(text.substr(start));
  return pieces;
}

}  // namespace tarvex
