#include "output/export_report.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
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

std::optional<std::filesystem::path> ListedPathBelow(const std::filesystem::path& output_folder,
                                                     std::u16string_view relative) {
  const std::filesystem::path path = PathFromText(relative);
  if (relative.empty() || path.is_absolute()) return std::nullopt;
  for (const std::filesystem::path& part : path) {
    if (part == ".." || part == ".") return std::nullopt;
  }
  return output_folder / path;
}

ExportedFiles ExportedFilesFromReport(std::string_view text) {
  ExportedFiles listed;
  const json report = json::parse(text, nullptr, false);
  if (!report.is_object()) return listed;
  auto read_list = [&report](const char* key, std::set<std::u16string>& texts) {
    const auto list = report.find(key);
    if (list == report.end() || !list->is_array()) return;
    for (const json& entry : *list) {
      if (entry.is_string()) texts.insert(Utf8ToUtf16(entry.get<std::string>()));
    }
  };
  read_list("files", listed.files);
  read_list("folders", listed.folders);
  const auto run = report.find("export");
  if (run != report.end() && run->is_object()) {
    const auto runs = run->find("runs");
    if (runs != run->end() && runs->is_number_integer()) {
      listed.runs = static_cast<int>(std::clamp<std::int64_t>(runs->get<std::int64_t>(), 0, 1 << 20));
    }
  }
  return listed;
}

std::optional<ExportedFiles> EarlierExport(const std::filesystem::path& output_folder) {
  const std::filesystem::path path = output_folder / kExportReportFileName;
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return ExportedFilesFromReport(text);
}

bool RemoveEarlierExport(const std::filesystem::path& output_folder, const ExportedFiles& earlier) {
  bool removed_all = true;
  std::error_code canonical_error;
  const std::filesystem::path real_folder =
      std::filesystem::weakly_canonical(output_folder, canonical_error);
  for (const std::u16string& file : earlier.files) {
    const std::optional<std::filesystem::path> path = ListedPathBelow(output_folder, file);
    if (!path) continue;
    // A link inside the folder must not lead the removal out of it.
    const std::filesystem::path real_file =
        std::filesystem::weakly_canonical(*path, canonical_error);
    const std::filesystem::path inside = real_file.lexically_relative(real_folder);
    if (canonical_error || inside.empty() || *inside.begin() == "..") continue;
    std::error_code error;
    if (std::filesystem::is_regular_file(*path, error)) {
      std::filesystem::remove(*path, error);
      if (error) removed_all = false;
    }
  }
  // Deepest first, so that a folder's sub-folders are gone before it is tried.
  for (auto folder = earlier.folders.rbegin(); folder != earlier.folders.rend(); ++folder) {
    const std::optional<std::filesystem::path> path = ListedPathBelow(output_folder, *folder);
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
