#pragma once

// Which character set a working-folder file is written in, so that the browser is told the
// truth: pages carry FF FE, but fallback body files are UTF-16LE without any mark.

#include <string>
#include <string_view>

namespace tarvex {

enum class PageCharset { kUnstated, kUtf16Le, kUtf8, kWindows1252 };

// `head` is the start of the file (a few kilobytes are enough); `is_text` is true for plain
// text files, which have no markup of their own to name a character set.
PageCharset DetectPageCharset(std::string_view head, bool is_text);

// The MIME type for a file name extension, lower-case; unknown extensions are octet streams.
std::string MimeTypeForExtension(std::string_view extension);

// "text/html" plus "; charset=..." when the charset is stated.
std::string ContentTypeWithCharset(const std::string& mime_type, PageCharset charset);

}  // namespace tarvex
