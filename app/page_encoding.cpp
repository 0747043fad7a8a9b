#include "app/page_encoding.h"

#include <array>
#include <cstddef>
#include <utility>

namespace tarvex {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Latin text in UTF-16LE has a zero in most odd bytes and hardly any in even ones; 8-bit text
// has no zero bytes at all.
bool LooksLikeUtf16Le(std::string_view head) {
  const std::size_t pairs = head.size() / 2;
  if (pairs == 0) return false;
  std::size_t odd_zeros = 0;
  std::size_t even_zeros = 0;
  for (std::size_t i = 0; i < pairs; ++i) {
    if (head[2 * i] == '\0') ++even_zeros;
    if (head[2 * i + 1] == '\0') ++odd_zeros;
  }
  return odd_zeros * 4 >= pairs && even_zeros * 4 < pairs;
}

// Accepts a sequence cut at the end of `head`, which is only the start of the file.
bool IsUtf8(std::string_view head) {
  std::size_t i = 0;
  while (i < head.size()) {
    const auto lead = static_cast<unsigned char>(head[i]);
    std::size_t length = 1;
    if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
    } else if (lead >= 0xE0) {
      length = lead <= 0xEF ? 3 : 0;
    } else if (lead >= 0xC2) {
      length = 2;
    } else if (lead >= 0x80) {
      length = 0;
    }
    if (length == 0) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if (i + k >= head.size()) return true;
      if ((static_cast<unsigned char>(head[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

PageCharset DetectPageCharset(std::string_view head, bool is_text) {
  if (StartsWith(head, "\xFF\xFE")) return PageCharset::kUtf16Le;
  if (StartsWith(head, "\xEF\xBB\xBF")) return PageCharset::kUtf8;
  if (LooksLikeUtf16Le(head)) return PageCharset::kUtf16Le;
  // An HTML page may name its own charset in a meta tag; the browser reads that.
  if (!is_text) return PageCharset::kUnstated;
  return IsUtf8(head) ? PageCharset::kUtf8 : PageCharset::kWindows1252;
}

std::string MimeTypeForExtension(std::string_view extension) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 14> kTypes = {{
      {"html", "text/html"},
      {"htm", "text/html"},
      {"txt", "text/plain"},
      {"css", "text/css"},
      {"png", "image/png"},
      {"jpg", "image/jpeg"},
      {"jpeg", "image/jpeg"},
      {"gif", "image/gif"},
      {"bmp", "image/bmp"},
      {"svg", "image/svg+xml"},
      {"ico", "image/x-icon"},
      {"webp", "image/webp"},
      {"eml", "text/plain"},
      {"rtf", "text/plain"},
  }};
  for (const auto& [known, type] : kTypes) {
    if (known == extension) return std::string(type);
  }
  return "application/octet-stream";
}

std::string ContentTypeWithCharset(const std::string& mime_type, PageCharset charset) {
  switch (charset) {
    case PageCharset::kUtf16Le:
      return mime_type + ";charset=utf-16le";
    case PageCharset::kUtf8:
      return mime_type + ";charset=utf-8";
    case PageCharset::kWindows1252:
      return mime_type + ";charset=windows-1252";
    case PageCharset::kUnstated:
      break;
  }
  return mime_type;
}

}  // namespace tarvex
