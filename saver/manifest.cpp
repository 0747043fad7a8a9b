#include "saver/manifest.h"

#include <algorithm>
#include <array>
#include <fstream>

#include "base/utf_conversion.h"

namespace tarvex {
namespace {

// A note body is cut at 65000 units by the writer; the rest are paths and short texts.
constexpr std::size_t kMaxManifestBytes = 4 * 1024 * 1024;

bool IsFreeTextKey(SavedItemKind kind, std::u16string_view key) {
  static constexpr std::array<std::u16string_view, 6> kFreeText = {
      u"SUBJECT:", u"LOCATION:", u"FROM:", u"OWNER:", u"NAME:", u"EXACTSUBJECT:"};
  if (kind == SavedItemKind::kNote && key == u"Body:") return true;
  return std::find(kFreeText.begin(), kFreeText.end(), key) != kFreeText.end();
}

std::string Quoted(std::u16string_view text) {
  return "\"" + Utf16ToUtf8(text) + "\"";
}

std::string LineError(std::size_t line, const std::string& what) {
  return "line " + std::to_string(line) + ": " + what;
}

// Each kind's keys in line order, and how many of them the first records already had.
struct KindKeys {
  std::vector<std::u16string_view> keys;
  std::size_t required;
};

// UID: the item's identifier in the store, from which the entry's UID is made.
const KindKeys& KeysOf(SavedItemKind kind) {
  // EXACTSUBJECT: the subject as stored; MESSAGEFILE: the whole message the export composed.
  static const KindKeys kMail = {{u"exFolderPath:", u"FolderPath:", u"ATTA:", u"SUBJECT:", u"TO:",
                                  u"CC:", u"BCC:", u"TYPE:", u"DATE:", u"PATH:", u"BPATH:",
                                  u"EXACTSUBJECT:", u"MESSAGEFILE:"},
                                 11};
  // CATEGORIES, ATTENDEES: each category or address followed by a tab.
  static const KindKeys kContact = {
      {u"xxFolderPath:", u"FolderPath:", u"Body:", u"TYPE:", u"UID:", u"CATEGORIES:"}, 4};
  static const KindKeys kAppointment = {
      {u"exFolderPath:", u"FolderPath:", u"SUBJECT:", u"LOCATION:", u"STARTDATE:", u"ENDDATE:",
       u"ATTACHMENT:", u"TYPE:", u"timezone:", u"Body:", u"UID:", u"ATTENDEES:"},
      10};
  // STATUS: the stored flag status, "1" for a completed task; DONEDATE: when it was completed.
  static const KindKeys kTask = {
      {u"FolderPath:", u"SUBJECT:", u"FROM:", u"STARTDATE:", u"DUEDATE:", u"OWNER:", u"TYPE:",
       u"Body:", u"UID:", u"STATUS:", u"DONEDATE:", u"CATEGORIES:"},
      8};
  static const KindKeys kNote = {{u"exFolderPath:", u"FolderPath:", u"SUBJECT:", u"FROM:", u"DATE:",
                                  u"TYPE:", u"Body:", u"UID:"},
                                 7};
  // MEMBERS: each member as "name <address>" (or the address alone), followed by a tab.
  static const KindKeys kDistList = {
      {u"FolderPath:", u"NAME:", u"MEMBERS:", u"TYPE:", u"Body:", u"UID:"}, 6};
  static const KindKeys kJournal = {{u"FolderPath:", u"SUBJECT:", u"FROM:", u"DATE:",
                                     u"ATTACHMENT:", u"TYPE:", u"Body:", u"UID:"},
                                    8};
  switch (kind) {
    case SavedItemKind::kMail:
      return kMail;
    case SavedItemKind::kContact:
      return kContact;
    case SavedItemKind::kAppointment:
      return kAppointment;
    case SavedItemKind::kTask:
      return kTask;
    case SavedItemKind::kNote:
      return kNote;
    case SavedItemKind::kDistList:
      return kDistList;
    case SavedItemKind::kJournal:
      return kJournal;
  }
  return kMail;
}

}  // namespace

std::optional<SavedItemKind> SavedItemKindFromParameter(std::string_view parameter) {
  if (parameter == "mailimport") return SavedItemKind::kMail;
  if (parameter == "contact") return SavedItemKind::kContact;
  if (parameter == "appointment") return SavedItemKind::kAppointment;
  if (parameter == "task") return SavedItemKind::kTask;
  if (parameter == "notes") return SavedItemKind::kNote;
  if (parameter == "distlist") return SavedItemKind::kDistList;
  if (parameter == "journal") return SavedItemKind::kJournal;
  return std::nullopt;
}

const std::vector<std::u16string_view>& ManifestKeys(SavedItemKind kind) {
  return KeysOf(kind).keys;
}

std::size_t RequiredKeyCount(SavedItemKind kind) {
  return KeysOf(kind).required;
}

const std::u16string& Manifest::Value(std::u16string_view key) const {
  static const std::u16string kEmpty;
  const auto& keys = ManifestKeys(kind_);
  const auto found = std::find(keys.begin(), keys.end(), key);
  if (found == keys.end()) return kEmpty;
  return values_[static_cast<std::size_t>(found - keys.begin())];
}

ManifestResult ParseManifest(std::string_view bytes, SavedItemKind kind) {
  ManifestResult result;
  if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
      static_cast<unsigned char>(bytes[1]) != 0xFE) {
    result.error = "the manifest does not start with the UTF-16LE mark FF FE";
    return result;
  }
  if (bytes.size() % 2 != 0) {
    result.error = "the manifest has an odd number of bytes, so it is not UTF-16 text";
    return result;
  }
  // Unit by unit: a lone surrogate from the database is kept and becomes U+FFFD on output.
  std::u16string text;
  text.reserve(bytes.size() / 2 - 1);
  for (std::size_t i = 2; i < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         static_cast<unsigned char>(bytes[i + 1]) << 8));
  }

  const bool lf_lines = kind == SavedItemKind::kTask;
  const std::u16string_view line_end = lf_lines ? u"\n" : u"\r\n";
  if (text.empty()) {
    result.error = "the manifest holds no record";
    return result;
  }
  if (!std::u16string_view(text).ends_with(line_end)) {
    const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), u'\n'));
    if (!lf_lines && text.back() == u'\n') {
      result.error = LineError(1, "lines end with LF where CR LF is expected");
    } else {
      result.error = LineError(lines + 1, "the last line has no line end (truncated record?)");
    }
    return result;
  }

  const auto& keys = ManifestKeys(kind);
  std::vector<std::u16string> values;
  std::size_t line_number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find(line_end, start);
    const std::u16string_view line = std::u16string_view(text).substr(start, end - start);
    start = end + line_end.size();
    ++line_number;
    if (lf_lines && line.ends_with(u'\r')) {
      result.error = LineError(line_number, "ends with CR LF; a task record ends lines with LF");
      return result;
    }
    if (values.size() < keys.size() && line.starts_with(keys[values.size()])) {
      values.emplace_back(line.substr(keys[values.size()].size()));
      continue;
    }
    const auto other_key = std::find_if(keys.begin(), keys.end(), [line](std::u16string_view key) {
      return line.starts_with(key);
    });
    const bool continues =
        !values.empty() && other_key == keys.end() && IsFreeTextKey(kind, keys[values.size() - 1]);
    if (continues) {
      values.back().append(line_end);
      values.back().append(line);
      continue;
    }
    if (values.size() == keys.size()) {
      result.error = LineError(line_number, "text after the last key " + Quoted(keys.back()));
    } else if (other_key != keys.end()) {
      result.error = LineError(line_number, "key " + Quoted(*other_key) + " where " +
                                                Quoted(keys[values.size()]) + " is expected");
    } else {
      result.error = LineError(line_number, "expected the key " + Quoted(keys[values.size()]));
    }
    return result;
  }
  if (values.size() < RequiredKeyCount(kind)) {
    result.error =
        LineError(line_number + 1, "the record ends before the key " + Quoted(keys[values.size()]));
    return result;
  }
  values.resize(keys.size());
  result.manifest.emplace(kind, std::move(values));
  return result;
}

bool ReadFileBytes(const std::filesystem::path& path, std::size_t max_bytes, std::string& bytes,
                   std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot open " + path.string();
    return false;
  }
  bytes.clear();
  char buffer[65536];
  while (file) {
    file.read(buffer, sizeof buffer);
    const auto count = static_cast<std::size_t>(file.gcount());
    if (bytes.size() + count > max_bytes) {
      error = path.string() + " is larger than " + std::to_string(max_bytes) + " bytes";
      return false;
    }
    bytes.append(buffer, count);
  }
  if (file.bad()) {
    error = "cannot read " + path.string();
    return false;
  }
  return true;
}

ManifestResult ReadManifestFile(const std::filesystem::path& path, SavedItemKind kind) {
  ManifestResult result;
  std::string bytes;
  if (!ReadFileBytes(path, kMaxManifestBytes, bytes, result.error)) return result;
  result = ParseManifest(bytes, kind);
  if (!result.manifest) result.error = path.string() + ": " + result.error;
  return result;
}

}  // namespace tarvex
