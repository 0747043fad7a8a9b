// The report an earlier export left in its output folder, as a replacing export reads it: no
// path it lists may lead the removal out of the output folder.

#include <string_view>

#include "fuzz/checks.h"
#include "fuzz/targets.h"
#include "output/export_report.h"

namespace tarvex::fuzz {

int FuzzExportReport(const std::uint8_t* data, std::size_t size) {
  const ExportedFiles listed =
      ExportedFilesFromReport(std::string_view(reinterpret_cast<const char*>(data), size));
  Require(listed.runs >= 0, "the count of runs is not negative");
  const std::filesystem::path output_folder = "/out";
  for (const std::set<std::u16string>* texts : {&listed.files, &listed.folders}) {
    for (const std::u16string& text : *texts) {
      const std::optional<std::filesystem::path> path = ListedPathBelow(output_folder, text);
      if (!path) continue;
      const std::filesystem::path inside = path->lexically_normal().lexically_relative("/out");
      Require(!inside.empty() && *inside.begin() != ".." && *inside.begin() != ".",
              "a listed path stays below the output folder");
    }
  }
  return 0;
}

}  // namespace tarvex::fuzz
