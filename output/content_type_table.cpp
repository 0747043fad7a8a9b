#include "output/content_type_table.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <utility>

#include "base/utf16_text.h"

namespace tarvex {
namespace {

constexpr std::u16string_view kUnknownType = u"application/octet-stream";

// Sorted by extension.
constexpr std::pair<std::string_view, std::string_view> kCommonTypes[] = {
    {"7z", "application/x-7z-compressed"},
    {"avi", "video/x-msvideo"},
    {"bmp", "image/bmp"},
    {"csv", "text/csv"},
    {"doc", "application/msword"},
    {"docm", "application/vnd.ms-word.document.macroEnabled.12"},
    {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
    {"gif", "image/gif"},
    {"gz", "application/gzip"},
    {"htm", "text/html"},
    {"html", "text/html"},
    {"ics", "text/calendar"},
    {"jpeg", "image/jpeg"},
    {"jpg", "image/jpeg"},
    {"js", "text/javascript"},
    {"json", "application/json"},
    {"m4a", "audio/mp4"},
    {"mov", "video/quicktime"},
    {"mp3", "audio/mpeg"},
    {"mp4", "video/mp4"},
    {"mpg", "video/mpeg"},
    {"msg", "application/vnd.ms-outlook"},
    {"odp", "application/vnd.oasis.opendocument.presentation"},
    {"ods", "application/vnd.oasis.opendocument.spreadsheet"},
    {"odt", "application/vnd.oasis.opendocument.text"},
    {"pdf", "application/pdf"},
    {"png", "image/png"},
    {"ppt", "application/vnd.ms-powerpoint"},
    {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
    {"rar", "application/vnd.rar"},
    {"rtf", "application/rtf"},
    {"svg", "image/svg+xml"},
    {"tar", "application/x-tar"},
    {"tif", "image/tiff"},
    {"tiff", "image/tiff"},
    {"txt", "text/plain"},
    {"vcf", "text/vcard"},
    {"wav", "audio/wav"},
    {"webp", "image/webp"},
    {"xls", "application/vnd.ms-excel"},
    {"xlsm", "application/vnd.ms-excel.sheet.macroEnabled.12"},
    {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    {"xml", "application/xml"},
    {"zip", "application/zip"},
};

// The extension in lower case, or nothing when it has characters no table lists.
std::optional<std::string> LowerExtension(std::u16string_view file_name) {
  const std::size_t dot = file_name.rfind(u'.');
  if (dot == std::u16string_view::npos || dot + 1 >= file_name.size()) return std::nullopt;
  std::string extension;
  for (char16_t unit : file_name.substr(dot + 1)) {
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
    const bool allowed = (unit >= u'a' && unit <= u'z') || (unit >= u'0' && unit <= u'9') ||
                         unit == u'-' || unit == u'_' || unit == u'+';
    if (!allowed) return std::nullopt;
    extension.push_back(static_cast<char>(unit));
  }
  return extension;
}

// A type the header can carry as it is: "type/subtype" of token characters, and not a
// composite type.
bool IsUsableType(std::string_view type) {
  const std::size_t slash = type.find('/');
  if (slash == std::string_view::npos || slash == 0 || slash + 1 == type.size() ||
      type.find('/', slash + 1) != std::string_view::npos) {
    return false;
  }
  for (char c : type) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') ||
                         std::string_view("/!#$&^_.+-").find(c) != std::string_view::npos;
    if (!allowed) return false;
  }
  const std::string_view top = type.substr(0, slash);
  return top != "message" && top != "multipart";
}

std::optional<std::string> LookUpSystemTable(const std::filesystem::path& table,
                                             std::string_view extension) {
  std::ifstream in(table);
  if (!in) return std::nullopt;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line.front() == '#') continue;
    std::istringstream words(line);
    std::string type;
    if (!(words >> type)) continue;
    std::string listed;
    while (words >> listed) {
      if (listed == extension) {
        if (IsUsableType(type)) return type;
        return std::nullopt;
      }
    }
  }
  return std::nullopt;
}

}  // namespace

std::u16string ContentTypeForFileName(std::u16string_view file_name,
                                      const std::filesystem::path& system_table) {
  const std::optional<std::string> extension = LowerExtension(file_name);
  if (!extension) return std::u16string(kUnknownType);
  const auto* found = std::lower_bound(
      std::begin(kCommonTypes), std::end(kCommonTypes), *extension,
      [](const auto& entry, const std::string& wanted) { return entry.first < wanted; });
  if (found != std::end(kCommonTypes) && found->first == *extension)
    return FromAscii(found->second);
  if (std::optional<std::string> type = LookUpSystemTable(system_table, *extension)) {
    return FromAscii(*type);
  }
  return std::u16string(kUnknownType);
}

}  // namespace tarvex
