#include "output/mime_message_writer.h"

#include <algorithm>
#include <optional>
#include <span>
#include <system_error>

#include "base/code_page_1252.h"
#include "base/file_names.h"
#include "base/utf16_file.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "content/body_text_encoding.h"
#include "output/content_type_table.h"
#include "output/mime_encoding.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kBoundary = "----=_NextPart_000_000D_01C2A06C.7F8E75B0";
constexpr std::u16string_view kBoundaryLine = u"------=_NextPart_000_000D_01C2A06C.7F8E75B0\r\n";
constexpr std::u16string_view kClosingLine = u"------=_NextPart_000_000D_01C2A06C.7F8E75B0--\r\n";
constexpr std::u16string_view kPreambleLine = u"This is a multi-part message in MIME format.\r\n";
constexpr std::u16string_view kMimeBlock =
    u"MIME-Version: 1.0\r\n"
    u"Content-Type: multipart/mixed;\r\n"
    u"\tboundary=\"----=_NextPart_000_000D_01C2A06C.7F8E75B0\"\r\n"
    u"X-Priority: 3\r\n"
    u"X-MSMail-Priority: Normal\r\n"
    u"X-MimeOLE: Produced By Tarvex Mailbox Rescue\r\n"
    u"\r\n"
    u"This is a multi-part message in MIME format.\r\n"
    u"\r\n"
    u"------=_NextPart_000_000D_01C2A06C.7F8E75B0\r\n";
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

void RemoveTrailingSpaces(std::u16string& text) {
  const std::size_t last = text.find_last_not_of(u' ');
  text.erase(last == std::u16string::npos ? 0 : last + 1);
}

// Characters, not units: a surrogate pair counts once, as it did as one 8-bit character.
std::size_t CharacterCount(std::u16string_view text) {
  std::size_t count = 0;
  for (char16_t unit : text) {
    if (unit < 0xDC00 || unit > 0xDFFF) ++count;
  }
  return count;
}

// From, Bcc and Cc.
void WriteAddressLine(Utf16File& file, std::u16string_view name, std::u16string_view value) {
  if (value.empty()) return;
  std::u16string text = HeaderValue(value);
  RemoveTrailingSpaces(text);
  ReplaceAll(text, u", ", u",");
  Put(file, std::u16string(name) + u": " + EncodeAddressHeader(text) + u"\r\n");
}

// Only entries followed by a comma and longer than 3 characters are kept. Cutting the UTF-8
// form keeps every character, and a comma byte never occurs inside a UTF-8 sequence.
void WriteToLine(Utf16File& file, std::u16string_view value) {
  if (value.empty()) return;
  std::u16string text = HeaderValue(value);
  RemoveTrailingSpaces(text);
  const std::vector<std::string> pieces = SplitText(Utf16ToUtf8(text), ",");
  std::u16string list;
  for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
    const std::u16string entry = Utf8ToUtf16(pieces[i]);
    if (CharacterCount(entry) > 3) {
      list += entry;
      list += u",";
    }
  }
  ReplaceAll(list, u", ", u",");
  Put(file, u"To: " + EncodeAddressHeader(list) + u"\r\n");
}

void WriteDateLine(Utf16File& file, std::u16string_view value) {
  if (value.empty()) return;
  std::u16string text = HeaderValue(value);
  RemoveTrailingSpaces(text);
  Put(file, u"Date: " + EncodeHeaderText(text) + u" UTC\r\n");
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

void WriteBodyPart(Utf16File& file, const EmlMessage& message) {
  const std::string body =
      Utf16ToUtf8(DecodeBody(ReadWholeFile(message.body_file), message.body_encoding));
  // A body line equal to the boundary would end the part early, and mail transports break
  // lines longer than 998 bytes; base64 holds neither.
  const bool as_base64 = body.find(kBoundary) != std::string::npos || HasOverlongLine(body);
  const bool eight_bit = !as_base64 && std::any_of(body.begin(), body.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x80;
  });
  const std::u16string transfer_encoding = as_base64 ? u"base64" : eight_bit ? u"8bit" : u"7bit";

  std::u16string content_type;
  if (message.body_kind == u"txt") {
    content_type = u"text/plain";
  } else if (message.body_kind == u"html") {
    content_type = u"text/html";
  } else if (message.body_kind == u"rtf") {
    content_type = u"text/richtext";
  }
  std::u16string header;
  if (!content_type.empty()) {
    header = u"Content-Type: " + content_type + u";\r\n\tcharset=\"utf-8\"\r\n";
    header += u"Content-Transfer-Encoding: " + transfer_encoding + u"\r\n\r\n";
  } else {
    // No type to declare; the empty line still keeps the body's first lines from being read
    // as the part's headers.
    if (as_base64 || eight_bit)
      header = u"Content-Transfer-Encoding: " + transfer_encoding + u"\r\n";
    header += u"\r\n";
  }
  Put(file, header);
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

void WriteAttachments(Utf16File& file, const EmlMessage& message) {
  if (message.attachment_list.empty()) return;
  Put(file, std::u16string(kBoundaryLine) + std::u16string(kPreambleLine));
  fs::path folder = message.message_path.parent_path();
  if (folder.empty()) folder = ".";
  const std::vector<std::string> pieces = SplitText(Utf16ToUtf8(message.attachment_list), ";");
  for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
    if (pieces[i].empty()) continue;
    const fs::path listed(pieces[i]);
    if (const std::optional<fs::path> path = AttachmentFile(folder, message.message_path, listed)) {
      WriteAttachmentPart(file, *path, TextFromPath(listed.filename()));
    }
  }
}

}  // namespace

void WriteEmlFile(const EmlMessage& message) {
  std::error_code ignored;
  fs::remove(message.message_path, ignored);
  Utf16File file;
  if (!file.Open(message.message_path, BinaryFile::kCreate | BinaryFile::kWrite)) return;

  WriteAddressLine(file, u"From", message.from);
  WriteToLine(file, message.to);
  WriteAddressLine(file, u"Bcc", message.bcc);
  WriteAddressLine(file, u"Cc", message.cc);
  WriteDateLine(file, message.date);
  Put(file, u"Subject: " + EncodeHeaderText(HeaderValue(message.subject)) + u"\r\n");
  Put(file, kMimeBlock);
  WriteBodyPart(file, message);
  Put(file, u"\r\n");
  WriteAttachments(file, message);
  Put(file, kClosingLine);
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
