#include "output/page_urls.h"

#include <algorithm>
#include <array>

namespace tarvex {
namespace {

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsAsciiAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// As a browser's URL parser sees the text: C0 controls and blanks cut from both ends, tabs and
// line breaks dropped anywhere, backslashes as slashes.
std::string Normalised(std::string_view url) {
  auto is_edge = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  while (!url.empty() && is_edge(url.front())) url.remove_prefix(1);
  while (!url.empty() && is_edge(url.back())) url.remove_suffix(1);
  std::string normal;
  normal.reserve(url.size());
  for (char c : url) {
    if (c == '\t' || c == '\n' || c == '\r') continue;
    normal.push_back(c == '\\' ? '/' : c);
  }
  return normal;
}

// The lower-case scheme, or "" for a relative URL.
std::string SchemeOf(std::string_view url) {
  if (url.empty() || !IsAsciiAlpha(url.front())) return {};
  for (std::size_t i = 1; i < url.size(); ++i) {
    const char c = url[i];
    if (c == ':') {
      std::string scheme(url.substr(0, i));
      std::transform(scheme.begin(), scheme.end(), scheme.begin(), LowerAscii);
      return scheme;
    }
    if (!IsAsciiAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') break;
  }
  return {};
}

bool IsOneOf(std::string_view value, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), value) != names.end();
}

}  // namespace

UrlKind KindOfUrl(std::string_view url) {
  const std::string normal = Normalised(url);
  if (normal.starts_with("//")) return UrlKind::kRemote;
  const std::string scheme = SchemeOf(normal);
  if (scheme.empty()) return UrlKind::kLocal;
  // "file://host/..." reaches another machine where file URLs are network paths.
  if (scheme == "file") {
    const std::string_view rest = std::string_view(normal).substr(5);
    if (!rest.starts_with("//")) return UrlKind::kLocal;
    const std::size_t end = rest.find('/', 2);
    const std::string_view host =
        rest.substr(2, end == std::string_view::npos ? std::string_view::npos : end - 2);
    return host.empty() || host == "localhost" ? UrlKind::kLocal : UrlKind::kRemote;
  }
  if (IsOneOf(scheme, {"http", "https", "ftp", "ws", "wss"})) return UrlKind::kRemote;
  if (IsOneOf(scheme, {"cid", "mid"})) return UrlKind::kPart;
  if (IsOneOf(scheme, {"mailto", "tel"})) return UrlKind::kAddress;
  if (IsOneOf(scheme, {"javascript", "vbscript", "livescript"})) return UrlKind::kScript;
  if (scheme == "data") {
    std::string_view media = std::string_view(normal).substr(5);
    while (!media.empty() && media.front() == ' ') media.remove_prefix(1);
    std::string prefix(media.substr(0, 6));
    std::transform(prefix.begin(), prefix.end(), prefix.begin(), LowerAscii);
    return prefix == "image/" ? UrlKind::kDataImage : UrlKind::kData;
  }
  return UrlKind::kOther;
}

std::string HostOfUrl(std::string_view url) {
  const std::string normal = Normalised(url);
  std::size_t start = normal.find("//");
  if (start == std::string::npos) return {};
  start += 2;
  while (start < normal.size() && normal[start] == '/') ++start;
  std::size_t end = normal.find_first_of("/?#", start);
  if (end == std::string::npos) end = normal.size();
  std::string host = normal.substr(start, end - start);
  if (const std::size_t at = host.rfind('@'); at != std::string::npos) host.erase(0, at + 1);
  return host;
}

bool IsShowableImageSource(UrlKind kind) {
  return kind == UrlKind::kLocal || kind == UrlKind::kPart || kind == UrlKind::kDataImage;
}

}  // namespace tarvex
