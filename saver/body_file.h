#pragma once

// The body file a manifest names (BPATH: or Body:) and its TYPE: ("txt", "html" or "rtf").
// The recovery program leaves bodies in several encodings without a mark: "textbody.txt",
// "blank.txt" and "blank.html" hold UTF-16LE, "rtfbody.txt", "tempbody.txt" and
// "htmlbody.html" UTF-8 or the stored bytes.

#include <filesystem>
#include <string>
#include <string_view>

namespace tarvex {

enum class BodyType { kText, kHtml, kRtf };

// "html" and "rtf" as written; anything else is text, as the recovery program treats it.
BodyType BodyTypeFromManifest(std::u16string_view type);

// The text of a body file's bytes. Order: a byte-order mark; for the files known to be
// UTF-16LE, UTF-16LE unless the bytes cannot be (odd length) or are plainly 8-bit (no zero
// byte and well-formed UTF-8); else UTF-16LE by the zero high bytes, well-formed UTF-8, and
// Windows-1252. An RTF body that is still RTF (a compressed stream or "{\rtf") is turned into
// its plain text. A trailing NUL terminator is not text.
std::u16string DecodeBodyFileBytes(std::string_view bytes, std::u16string_view file_name,
                                   BodyType type);

// A path text from a manifest. The recovery program's texts may still use "\" between
// folders; when the path as given does not exist, the same path with "/" is tried. A text
// holding a NUL names no file (empty path).
std::filesystem::path ResolveManifestPath(std::u16string_view text);

struct BodyContent {
  std::u16string text;
  bool html = false;
};

// A missing, empty or not regular file is an empty body (the recovery program writes none when it
// found none). False only for a file that exists but cannot be read or is unreasonably large.
bool ReadBodyFile(std::u16string_view path_text, BodyType type, BodyContent& body,
                  std::string& error);

// The body as plain text: HTML bodies give their visible text.
std::u16string BodyPlainText(const BodyContent& body);

}  // namespace tarvex
