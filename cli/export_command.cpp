// `tarvex export`: the export of the window's Save Mailbox command, without a window.

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <vector>

#include "base/file_names.h"
#include "base/program_files.h"
#include "base/terminal_text.h"
#include "base/utf_conversion.h"
#include "cli/commands.h"
#include "cli/database_run.h"
#include "cli/read_outcome.h"
#include "output/export_report.h"
#include "output/export_run.h"

namespace tarvex::cli {
namespace {

// Every folder node of the store, in the order the tree got them.
std::vector<TreeNodeHandle> EveryFolder(Recovery& recovery) {
  std::vector<TreeNodeHandle> nodes;
  auto add = [&nodes](TreeNodeHandle node) {
    if (node != kTopOfTree && std::find(nodes.begin(), nodes.end(), node) == nodes.end()) {
      nodes.push_back(node);
    }
  };
  const MailboxModel& model = recovery.model();
  if (recovery.layout() == StoreLayout::k2010) {
    std::vector<const FolderNode*> folders;
    for (const FolderNode& folder : model.folder_nodes) folders.push_back(&folder);
    // The list keeps the newest first; the tree got the oldest first.
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
      add((*folder)->tree_item);
    }
  } else {
    for (const FolderLink& link : model.folder_links) add(link.tree_item);
  }
  return nodes;
}

}  // namespace

int RunExportCommand(const std::filesystem::path& database, const std::vector<std::string>& folders,
                     const ExportOptions& export_options, const CommonOptions& options) {
  const unsigned kinds = ExportKindsFromText(Utf8ToUtf16(export_options.kinds));
  if (kinds == 0) {
    PrintError("unknown --kinds \"" + export_options.kinds +
               "\" (use mail, contact, calendar, task, note, journal, distlist or all, "
               "separated by commas)");
    return kExitUsage;
  }
  const std::filesystem::path saver =
      export_options.saver.empty() ? SaverProgram(RunningProgramFolder()) : export_options.saver;
  std::error_code error;
  if (!std::filesystem::is_regular_file(saver, error)) {
    PrintError("the saver program was not found: " + saver.string() +
               " (name it with --saver PATH)");
    return kExitMissingFile;
  }

  DatabaseRun run(database, std::nullopt, StreamOf(options),
                  options.deep ? ScanDepth::kDeep : ScanDepth::kQuick);
  if (const int code = run.Analyse(); code != kExitOk) return code;
  ExportRequest request;
  request.kinds = kinds;
  // The saver runs in this program's current folder, but the path goes into the manifest.
  request.output_folder = std::filesystem::absolute(export_options.output_folder, error);
  request.saver = saver;
  request.include_deleted = export_options.include_deleted;
  request.mail_format =
      ExportMailFormatFromText(export_options.mail_format).value_or(ExportMailFormat::kMbox);
  request.earlier_export = export_options.replace  ? EarlierExportChoice::kReplace
                           : export_options.append ? EarlierExportChoice::kAppend
                                                   : EarlierExportChoice::kRefuse;
  for (const std::string& folder : folders) {
    const std::optional<TreeNodeHandle> node = run.FindFolder(Utf8ToUtf16(folder));
    if (!node) {
      PrintError("no folder \"" + folder + "\" in " + database.string() +
                 " (see `tarvex tree` for the folder paths)");
      return kExitUnknownFolder;
    }
    request.folders.push_back(*node);
  }
  if (folders.empty()) request.folders = EveryFolder(run.recovery());

  // The manifest goes to a folder of this run alone, never beside the installed program.
  const WorkingFolder manifest_folder(std::nullopt);
  if (!manifest_folder.error().empty()) {
    PrintError("cannot make a folder for the manifest in " + manifest_folder.path().string() +
               ": " + manifest_folder.error());
    return kExitWriteFailed;
  }
  request.manifest_folder = manifest_folder.path();
  const ExportOutcome outcome = RunExport(run.recovery(), request);
  if (outcome.refused_earlier_export) {
    PrintError(Utf16ToUtf8(outcome.error) + " (--replace removes it first, --append adds to it)");
    return kExitEarlierExport;
  }
  if (!outcome.error.empty() && outcome.report.is_null()) {
    PrintError(Utf16ToUtf8(outcome.error));
    return kExitWriteFailed;
  }
  if (options.json) {
    nlohmann::json document = outcome.report;
    document["losses"] = LossesJson(run.recovery().session().database());
    std::printf("%s\n", TerminalSafeJson(document.dump(2)).c_str());
  } else {
    std::printf("exported %d item(s) from %d folder(s) to %s; %d skipped, %d not saved\n",
                outcome.items_saved, outcome.folders_exported,
                TerminalText(export_options.output_folder.string()).c_str(), outcome.items_skipped,
                outcome.saver_failures);
    // Why items were left out, so that none is left out unnoticed; each item is in the report.
    for (const auto& [reason, count] : outcome.report["totals"]["skipped_by_reason"].items()) {
      std::printf("  %d skipped: %s\n", count.get<int>(), TerminalText(reason).c_str());
    }
    if (outcome.deleted_left_out > 0) {
      std::printf("%d deleted item(s) left out (--include-deleted exports them)\n",
                  outcome.deleted_left_out);
    }
    std::printf("report: %s\n",
                TerminalText((request.output_folder / kExportReportFileName).string()).c_str());
  }
  if (!outcome.error.empty()) {
    PrintError(Utf16ToUtf8(outcome.error));
    return kExitWriteFailed;
  }
  if (outcome.saver_failures != 0) return kExitWriteFailed;
  return FinishRead(run.recovery().session().database(), options.quiet);
}

}  // namespace tarvex::cli
