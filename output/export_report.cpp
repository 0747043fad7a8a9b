#include "output/export_report.h"

#include <fstream>
#include <system_error>

#include "base/file_names.h"
#include "base/utf_conversion.h"

namespace tarvex {
namespace {

using nlohmann::json;

std::string Utf8(std::u16string_view text) {
  return Utf16ToUtf8(text);
}

json ItemJson(const ExportItemResult& item) {
  json entry = {{"folder", Utf8(item.folder)},
                {"id", Utf8(item.item_id)},
                {"kind", Utf8(item.kind)},
                {"subject", Utf8(item.subject)},
                {"result", item.written ? "written" : "skipped"}};
  if (item.written) {
    entry["file"] = Utf8(item.file);
    json warnings = json::array();
    for (const std::u16string& warning : item.warnings) warnings.push_back(Utf8(warning));
    entry["warnings"] = warnings;
  } else {
    entry["reason"] = Utf8(item.reason);
  }
  return entry;
}

json TextList(const std::set<std::u16string>& texts) {
  json list = json::array();
  for (const std::u16string& text : texts) list.push_back(Utf8(text));
  return list;
}

// A listed path is used only when it stays below the output folder.
std::optional<std::filesystem::path> BelowFolder(const std::filesystem::path& output_folder,
                                                 std::u16string_view relative) {
  const std::filesystem::path path = PathFromText(relative);
  if (relative.empty() || path.is_absolute()) return std::nullopt;
  for (const std::filesystem::path& part : path) {
    if (part == ".." || part == ".") return std::nullopt;
  }
  return output_folder / path;
}

}  // namespace

json ExportReportJson(const std::vector<ExportItemResult>& items, const ExportedFiles& exported,
                      std::string_view mail_format, bool complete) {
  json list = json::array();
  int written = 0;
  std::map<std::string, int> skipped_by_reason;
  for (const ExportItemResult& item : items) {
    list.push_back(ItemJson(item));
    if (item.written) {
      ++written;
    } else {
      ++skipped_by_reason[Utf8(item.reason)];
    }
  }
  const int total = static_cast<int>(items.size());
  return {{"export",
           {{"mail_format", std::string(mail_format)},
            {"complete", complete},
            {"runs", exported.runs}}},
          {"items", list},
          {"totals",
           {{"items", total},
            {"written", written},
            {"skipped", total - written},
            {"skipped_by_reason", skipped_by_reason}}},
          {"files", TextList(exported.files)},
          {"folders", TextList(exported.folders)}};
}

bool WriteExportReport(const std::filesystem::path& output_folder, const json& report) {
  const std::filesystem::path path = output_folder / kExportReportFileName;
  const std::filesystem::path temporary = output_folder / ".tarvex-export.json.tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << report.dump(1, ' ', false, json::error_handler_t::replace) << '\n';
    if (!file.flush()) return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  return !error;
}

std::optional<ExportedFiles> EarlierExport(const std::filesystem::path& output_folder) {
  const std::filesystem::path path = output_folder / kExportReportFileName;
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return std::nullopt;
  ExportedFiles earlier;
  std::ifstream file(path, std::ios::binary);
  const json report = json::parse(file, nullptr, false);
  if (!report.is_object()) return earlier;
  auto read_list = [&report](const char* key, std::set<std::u16string>& texts) {
    const auto list = report.find(key);
    if (list == report.end() || !list->is_array()) return;
    for (const json& text : *list) {
      if (text.is_string()) texts.insert(Utf8ToUtf16(text.get<std::string>()));
    }
  };
  read_list("files", earlier.files);
  read_list("folders", earlier.folders);
  const json runs = report.value("export", json::object()).value("runs", json(0));
  if (runs.is_number_integer()) earlier.runs = runs.get<int>();
  return earlier;
}

bool RemoveEarlierExport(const std::filesystem::path& output_folder, const ExportedFiles& earlier) {
  bool removed_all = true;
  for (const std::u16string& file : earlier.files) {
    const std::optional<std::filesystem::path> path = BelowFolder(output_folder, file);
    if (!path) continue;
    std::error_code error;
    if (std::filesystem::is_regular_file(*path, error)) {
      std::filesystem::remove(*path, error);
      if (error) removed_all = false;
    }
  }
  // Deepest first, so that a folder's sub-folders are gone before it is tried.
  for (auto folder = earlier.folders.rbegin(); folder != earlier.folders.rend(); ++folder) {
    const std::optional<std::filesystem::path> path = BelowFolder(output_folder, *folder);
    if (!path) continue;
    std::error_code error;
    for (const char* maildir_part : {"cur", "new", "tmp"}) {
      std::filesystem::remove(*path / maildir_part, error);  // only when empty
    }
    std::filesystem::remove(*path, error);  // only when empty
  }
  std::error_code error;
  std::filesystem::remove(output_folder / kExportReportFileName, error);
  return removed_all && !error;
}

std::u16string PathBelow(const std::filesystem::path& output_folder,
                         const std::filesystem::path& path) {
  const std::filesystem::path relative = path.lexically_relative(output_folder);
  if (relative.empty() || *relative.begin() == "..") return TextFromPath(path);
  return TextFromPath(relative);
}

}  // namespace tarvex
