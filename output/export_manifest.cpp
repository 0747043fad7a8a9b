#include "output/export_manifest.h"

#include <system_error>

#include "base/text_file.h"
#include "base/utf16_file.h"
#include "base/utf16_text.h"

namespace tarvex {

std::u16string SingleLine(std::u16string_view value) {
  std::u16string line(value);
  for (char16_t& unit : line) {
    if (unit == u'\r' || unit == u'\n') unit = u' ';
  }
  return line;
}

std::u16string ManifestList(const std::vector<std::u16string>& pieces) {
  std::u16string list;
  for (const std::u16string& piece : pieces) {
    const std::u16string text = Trim(ReplacedAll(piece, u"\t", u" "));
    if (text.empty()) continue;
    list += text;
    list += u'\t';
  }
  return list;
}

std::u16string ManifestText(const ManifestRecord& record) {
  const std::u16string_view line_end = record.lf_line_ends ? u"\n" : u"\r\n";
  std::u16string text;
  for (const auto& [key, value] : record.lines) {
    text += key;
    text += SingleLine(value);
    text += line_end;
  }
  return text;
}

bool WriteManifestFile(const std::filesystem::path& path, const ManifestRecord& record,
                       bool mail_record) {
  const std::u16string text = ManifestText(record);
  // A new file each time rather than the last one cut to nothing: ext4 writes a file that was
  // truncated and written again through to the disk when it is closed, once per item.
  std::error_code error;
  std::filesystem::remove(path, error);
  constexpr unsigned kCreateForWriting = BinaryFile::kCreate | BinaryFile::kWrite;
  if (mail_record) {
    TextFile file;
    if (!file.Open(path, TextFile::kUtf16Content | kCreateForWriting)) return false;
    const bool written = file.WriteString(text);
    file.Close();
    return written;
  }
  Utf16File file;
  if (!file.Open(path, kCreateForWriting)) return false;
  const bool written = file.WriteString(std::u16string_view(text));
  file.Close();
  return written;
}

}  // namespace tarvex
