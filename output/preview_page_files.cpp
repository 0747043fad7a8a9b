#include "output/preview_page_files.h"

#include <string>

#include "base/file_names.h"
#include "base/page_policy.h"
#include "base/utf16_file.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"

namespace tarvex {
namespace {

constexpr unsigned kCreateWrite = BinaryFile::kCreate | BinaryFile::kWrite;

constexpr std::u16string_view kFramesetEnd = u"'></frameset></html>";

std::u16string_view FramesetOpening(FramesetLayout layout) {
  switch (layout) {
    case FramesetLayout::kMail:
      return u"<frameset rows='28%,*' border='0'><frame src='header.html'  "
             u"scrolling='auto' frameborder='1'><frame src='";
    case FramesetLayout::kNotes:
      return u"<frameset rows='30%,*' border='0'><frame src='header.html'  "
             u"scrolling='auto' frameborder='1'><frame src='";
    case FramesetLayout::kActivity:
      return u"<frameset rows='20%,*' border='0'><frame src='header.html'  "
             u"scrolling='auto' frameborder='1'><frame src='";
    case FramesetLayout::kSideBySide:
      break;
  }
  return u"<frameset cols='*,*' border='0'><frame src='header.html'  "
         u"scrolling='auto' frameborder='1'><frame src='";
}

// Keeps letters, digits, "-", ".", "_", "~" and (when asked) "/"; every other byte of the
// UTF-8 form becomes %XX, so that quotes, "#", "?" and blanks cannot end or redirect the source.
std::u16string PercentEncoded(const std::string& utf8, bool keep_slashes) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (char byte : utf8) {
    const auto value = static_cast<unsigned char>(byte);
    const bool unreserved = (value >= 'A' && value <= 'Z') || (value >= 'a' && value <= 'z') ||
                            (value >= '0' && value <= '9') || value == '-' || value == '.' ||
                            value == '_' || value == '~' || (keep_slashes && value == '/');
    if (unreserved) {
      encoded.push_back(byte);
    } else {
      encoded.push_back('%');
      encoded.push_back(kHex[value >> 4]);
      encoded.push_back(kHex[value & 0x0F]);
    }
  }
  return FromAscii(encoded);
}

}  // namespace

std::u16string BodyFrameSource(const std::filesystem::path& body_file,
                               const std::filesystem::path& working_folder) {
  if (body_file.empty()) return std::u16string();
  const std::filesystem::path folder = body_file.parent_path();
  // Compared with a trailing separator on both, so that "work" and "work/" are one folder.
  if (!folder.empty() &&
      (folder / "").lexically_normal() == (working_folder / "").lexically_normal()) {
    return PercentEncoded(body_file.filename().string(), false);
  }
  const std::filesystem::path absolute = std::filesystem::absolute(body_file);
  return u"file://" + PercentEncoded(absolute.generic_string(), true);
}

std::u16string FramesetPage(FramesetLayout layout, std::u16string_view body_source) {
  std::u16string page = u"<html><head>";
  page += kPagePolicyMeta16;
  page += u"</head>";
  page += FramesetOpening(layout);
  page += body_source;
  page += kFramesetEnd;
  return page;
}

bool WritePageFile(const std::filesystem::path& path, std::u16string_view document) {
  Utf16File file;
  if (!file.Open(path, kCreateWrite)) return false;
  return file.WriteString(document, true);
}

bool WriteUnmarkedUtf16File(const std::filesystem::path& path, std::u16string_view text) {
  BinaryFile file;
  if (!file.Open(path, kCreateWrite)) return false;
  const std::string bytes = EncodeUtf16Le(text);
  return file.Write(bytes.data(), bytes.size());
}

void ShowPageSet(Recovery& recovery, const HeaderPage& header, FramesetLayout layout) {
  const std::filesystem::path& folder = recovery.working_folder();
  // A header page that cannot be written leaves the frame empty; the body is still shown.
  WritePageFile(folder / "header.html", header.Document());
  const std::filesystem::path frameset = folder / "strEmlPath.html";
  const std::u16string source = BodyFrameSource(recovery.body().file_path, folder);
  if (!WritePageFile(frameset, FramesetPage(layout, source))) return;
  recovery.window().Navigate(frameset);
}

}  // namespace tarvex
