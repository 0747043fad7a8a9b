#pragma once

// What a URL found in stored HTML or CSS would make a browser do, judged the way a browser
// reads it (blanks and line breaks inside ignored, backslashes taken as slashes).

#include <string>
#include <string_view>

namespace tarvex {

enum class UrlKind {
  kLocal,      // relative, a fragment, or file:
  kPart,       // cid: or mid:, a part of the same message
  kDataImage,  // data:image/...
  kData,       // any other data: URL
  kRemote,     // http, https, ftp, ws, wss, or "//host/..."
  kAddress,    // mailto:, tel:
  kScript,     // javascript:, vbscript:, livescript:
  kOther,      // any other scheme
};

UrlKind KindOfUrl(std::string_view url);

// The host a remote URL names ("" when it names none).
std::string HostOfUrl(std::string_view url);

// Where an image may come from on our pages: its own message, inline data or a local file.
bool IsShowableImageSource(UrlKind kind);

}  // namespace tarvex
