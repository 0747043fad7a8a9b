#pragma once

// The encodings a message file needs to carry any text and any bytes through 7-bit mail
// headers: base64 bodies, RFC 2047 encoded-words in header values and RFC 2231 file-name
// parameters. ASCII values pass unchanged, so plain messages keep their exact bytes.

#include <string>
#include <string_view>

namespace tarvex {

// Base64 in lines of at most 76 characters, each ended by CR LF. Input whose size is a
// multiple of 57 gives only full lines, so a stream can be encoded chunk by chunk.
std::string Base64Lines(std::string_view bytes);

// True when a header may carry the text as it is: printable ASCII, blanks and tabs only.
bool IsPlainHeaderText(std::u16string_view text);

// Unstructured values (subject, date): the words from the first one that is not plain ASCII
// to the last such word become one run of UTF-8 B encoded-words, so the blanks between the
// words survive; the other words stay as they are. Plain text is returned unchanged.
std::u16string EncodeHeaderText(std::u16string_view value);

// Address lists (from, to, cc, bcc): each comma-separated entry is encoded on its own; in an
// entry with an address in angle brackets only the display name before it is encoded, since
// an encoded-word may not stand for an address.
std::u16string EncodeAddressHeader(std::u16string_view value);

// One parameter line of a part header, tab-indented and without line end: name="value" for
// plain names (quotes and backslashes escaped), else the RFC 2231 UTF-8 form, split into
// numbered continuation lines when long.
std::u16string FileNameParameter(std::u16string_view attribute, std::u16string_view file_name);

// The same value as a quoted parameter holding RFC 2047 encoded-words where it is not plain;
// the form many mail programs read the Content-Type name from.
std::u16string EncodedWordParameter(std::u16string_view attribute, std::u16string_view file_name);

}  // namespace tarvex
