#pragma once

// The content type an attachment part declares, found from its file name's extension.

#include <filesystem>
#include <string>
#include <string_view>

namespace tarvex {

// A built-in list of the common types answers first, so that messages are the same on every
// machine; other extensions are looked up in the system's table (the mime.types format) when
// it exists. "application/octet-stream" when neither knows the extension. Composite types
// (message/..., multipart/...) are never given, since such parts may not be base64-encoded.
std::u16string ContentTypeForFileName(
    std::u16string_view file_name, const std::filesystem::path& system_table = "/etc/mime.types");

}  // namespace tarvex
