#pragma once

// The report of an export: every item with its result, the totals, and the files and folders
// the export wrote. It is kept in the output folder, where it also marks the folder as holding
// an export, so that the next export into it is refused, replaces it or adds to it.

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tarvex {

inline constexpr std::string_view kExportReportFileName = "tarvex-export.json";

struct ExportItemResult {
  std::u16string folder;  // the folder's path below the output folder
  std::u16string item_id;
  std::u16string kind;
  std::u16string subject;
  bool written = false;
  std::u16string file;                   // written: the file below the output folder it went to
  std::u16string reason;                 // skipped: why
  std::vector<std::u16string> warnings;  // what a written item was saved without
};

// What the output folder holds of exports, as the report lists it.
struct ExportedFiles {
  std::set<std::u16string> files;    // below the output folder
  std::set<std::u16string> folders;  // below the output folder
  int runs = 0;                      // exports that went into the folder
};

// The report document: the run's settings, its items, the totals (items, written, skipped and
// the skipped ones by reason) and what the folder holds of this and earlier runs.
nlohmann::json ExportReportJson(const std::vector<ExportItemResult>& items,
                                const ExportedFiles& exported, std::string_view mail_format,
                                bool complete);

// Writes the report into the output folder, replacing an earlier one in one step.
bool WriteExportReport(const std::filesystem::path& output_folder, const nlohmann::json& report);

// What an earlier export left in the folder; none when the folder holds no report. A report
// that cannot be read still marks the folder, with nothing listed.
std::optional<ExportedFiles> EarlierExport(const std::filesystem::path& output_folder);

// The files, folders and runs a report's text lists; what is not of the report's form is left
// out.
ExportedFiles ExportedFilesFromReport(std::string_view text);

// A path a report lists, below the output folder; none when it is absolute or climbs out of it
// ("..", or "." parts), so that removing an earlier export never reaches beyond the folder.
std::optional<std::filesystem::path> ListedPathBelow(const std::filesystem::path& output_folder,
                                                     std::u16string_view relative);

// Removes the files an earlier export listed, then its folders that are left empty, then the
// report. Only paths below the output folder are touched; a file of the user's that sits in
// an exported folder keeps the folder. False when a listed file could not be removed.
bool RemoveEarlierExport(const std::filesystem::path& output_folder, const ExportedFiles& earlier);

// `path` below `output_folder` as a relative text; `path` itself when it is not below it.
std::u16string PathBelow(const std::filesystem::path& output_folder,
                         const std::filesystem::path& path);

}  // namespace tarvex
