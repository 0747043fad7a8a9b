#pragma once

// Conversions between UTF-16 (the program's text) and UTF-8 / UTF-16LE bytes.

#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

// Ill-formed input (lone surrogates, bad UTF-8 sequences) becomes U+FFFD; nothing is dropped
// silently.
std::string Utf16ToUtf8(std::u16string_view text);
// Utf16ToUtf8 appended to `out`.
void AppendAsUtf8(std::u16string_view text, std::string& out);
std::u16string Utf8ToUtf16(std::string_view bytes);

// Decodes UTF-8 and fails on any ill-formed sequence (overlong, surrogate, truncated).
std::optional<std::u16string> DecodeUtf8Strict(std::string_view bytes);

// Decodes little-endian UTF-16 bytes. Fails on an odd byte count or an unpaired surrogate.
std::optional<std::u16string> DecodeUtf16LeStrict(std::string_view bytes);

// Whether any unit is a surrogate (paired or not).
bool HasSurrogate(std::u16string_view text);

// The text's units as little-endian bytes.
std::string EncodeUtf16Le(std::u16string_view text);

}  // namespace tarvex
