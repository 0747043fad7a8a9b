#pragma once

// The message file of an exported mail item: an RFC 5322 message in UTF-8 with CR LF line ends.
// Its headers come from the item (addresses, date, subject, message ids) and from the transport
// headers it was delivered with; its body is one text part, and with attachment files it is a
// multipart/mixed message of the body part and one base64 part per file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

// What the bytes of a body file are. The body routes know it for most bodies; kUnknown is
// decided from the bytes (a byte-order mark, the zero high bytes of UTF-16LE, well-formed
// UTF-8, else Windows-1252), and such a body ends at its first NUL.
enum class BodyFileEncoding {
  kUnknown,
  kUtf16Le,      // the stored text of a Unicode column
  kUtf8,         // converted RTF, inline HTML, fallback body text
  kWindows1252,  // 8-bit text in the ANSI code page
};

struct EmlMessage {
  std::filesystem::path message_path;  // the ".eml" file; its folder is the working folder
  // Address lists in the forms the listing gives ("Name <a@x>", "Name [a@x]", "a@x", a name
  // alone), entries separated by commas or semicolons.
  std::u16string from;
  std::u16string to;
  std::u16string cc;
  std::u16string bcc;
  std::u16string date;       // the listing's date text, "Jan,05 2010 09:03:07" (UTC)
  std::u16string subject;    // exact
  std::u16string body_kind;  // "txt", "html" or "rtf" (RTF converted to text)
  std::filesystem::path body_file;
  BodyFileEncoding body_encoding = BodyFileEncoding::kUnknown;
  // Full paths of attachment files, each followed by ";". Only regular files inside the
  // message file's folder are attached; others are skipped.
  std::u16string attachment_list;
  // The stored transport headers and message ids, each empty when the item has none.
  std::u16string transport_headers;
  std::u16string message_id;
  std::u16string in_reply_to;
  std::u16string references;
  // Names the message when no message id is stored.
  std::u16string item_id;
};

// Writes the message, replacing any file of that name. Failures are silent: when the file
// cannot be created nothing is written, and an unreadable body or attachment is left out.
void WriteEmlFile(const EmlMessage& message);

// The Latin-1 reading of bytes: every non-zero byte becomes the character of the same value,
// zero bytes are skipped. Empty for a null buffer or a length of 0 or less.
std::u16string WidenBytes(const char* bytes, std::int64_t length);

// Cuts the text at every occurrence of the delimiter; the text after the last delimiter is
// always the last piece (empty when the text ends with the delimiter). An empty delimiter
// gives the whole text as one piece.
std::vector<std::string> SplitText(std::string_view text, std::string_view delimiter);

}  // namespace tarvex
