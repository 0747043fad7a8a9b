#include <fstream>
#include <optional>
#include <system_error>

#include "base/code_page_1252.h"
#include "base/file_names.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "content/text_transformations.h"
#include "output/export_item_record.h"
#include "output/export_manifest.h"
#include "output/export_writers.h"

namespace tarvex {
namespace {

// The saver takes a note body of this many characters at most in the manifest's "Body:" line.
constexpr std::size_t kNoteBodyLimit = 65000;

// A body file of this many bytes or more may hold more characters than the line carries.
constexpr std::size_t kMaxBodyFileBytes = 4 * kNoteBodyLimit + 4096;

// The body file as text. Body files carry no mark as a rule, and a Unicode body is UTF-16LE:
// reading it as 8-bit text would garble it, so the form is told from the bytes. Only as many
// bytes are read as can give the characters a note keeps.
std::u16string ReadBodyFileText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return u"";
  std::string bytes(kMaxBodyFileBytes, '\0');
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(file.gcount()));
  const auto byte_at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() >= 2 && byte_at(0) == 0xFF && byte_at(1) == 0xFE) {
    return DecodeUtf16LeStrict(std::string_view(bytes).substr(2, (bytes.size() - 2) & ~1u))
        .value_or(u"");
  }
  if (bytes.size() >= 3 && byte_at(0) == 0xEF && byte_at(1) == 0xBB && byte_at(2) == 0xBF) {
    bytes.erase(0, 3);
  }
  // UTF-16LE text of Latin letters has a zero in most odd bytes.
  std::size_t odd_zeros = 0;
  for (std::size_t i = 1; i < bytes.size(); i += 2) odd_zeros += byte_at(i) == 0 ? 1 : 0;
  if (bytes.size() >= 2 && odd_zeros * 4 >= bytes.size()) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      text.push_back(static_cast<char16_t>(byte_at(i) | byte_at(i + 1) << 8));
    }
    return text;
  }
  if (std::optional<std::u16string> utf8 = DecodeUtf8Strict(bytes)) return *utf8;
  return Windows1252ToUtf16(bytes);
}

// Lines joined by "<newlinebreak>"; none when the total of line lengths reaches the limit.
std::optional<std::u16string> NoteBodyText(std::u16string_view text) {
  std::u16string body;
  std::size_t total = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string_view::npos) end = text.size();
    const std::u16string_view line = text.substr(start, end - start);
    // A CR LF (or LF CR) pair ends one line.
    start = end + 1;
    if (start < text.size() && end < text.size() && text[start] != text[end] &&
        (text[start] == u'\r' || text[start] == u'\n')) {
      ++start;
    }
    total += line.size();
    if (total >= kNoteBodyLimit) return std::nullopt;
    body += line;
    body += u"<newlinebreak>";
  }
  // What is left are NULs of a text cut short; they end nothing.
  ReplaceAll(body, std::u16string_view(u"\0", 1), u"");
  return body;
}

}  // namespace

void SaveNoteItem(ExportSession& session, SaveQueueEntry& item, const ExportItemValues& values) {
  Recovery& recovery = session.recovery;
  ExportItemRecord item_record(session, values);
  if (!item_record.record()) return;
  PreviewRecord& record = *item_record.record();
  SenderFallback(record, item);
  SubjectFallback(record, item);
  FindExportBody(recovery, record, u"blank.html", values.plain_body);
  const BodyState& body = recovery.body();
  const std::u16string date = MonthNamesToNumbers(item.date);
  // A body too long for the manifest's line goes to the saver in its body file, whole.
  std::error_code error;
  const std::uintmax_t file_bytes = std::filesystem::file_size(body.file_path, error);
  std::optional<std::u16string> lines;
  if (error || file_bytes < kMaxBodyFileBytes) {
    lines = NoteBodyText(ReadBodyFileText(body.file_path));
  }
  const std::u16string body_text =
      lines ? ReplacedAll(*lines, u",", u"\\cama")
            : std::u16string(kNoteBodyFileMarker) + TextFromPath(body.file_path);

  ManifestRecord manifest;
  manifest.Add(u"exFolderPath:", session.folder_path);
  manifest.Add(u"FolderPath:", session.folder_path);
  manifest.Add(u"SUBJECT:", item.subject);
  manifest.Add(u"FROM:", item.sender);
  manifest.Add(u"DATE:", date);
  manifest.Add(u"TYPE:", BodyKindText(body));
  manifest.Add(u"Body:", body_text);
  manifest.Add(u"UID:", item.item_id);
  HandOver(session, manifest, false, u"notes", item.subject);
}

}  // namespace tarvex
