#include "cli/database_run.h"

#include <unistd.h>

#include <cstdio>
#include <system_error>

#include "base/file_names.h"
#include "base/utf_conversion.h"
#include "ese/database.h"
#include "mailbox/analysis.h"
#include "store/recovery_report.h"

namespace tarvex::cli {

void PrintError(const std::string& message) {
  std::fprintf(stderr, "tarvex: %s\n", message.c_str());
}

WorkingFolder::WorkingFolder(const std::optional<std::filesystem::path>& chosen) {
  std::error_code error;
  if (chosen) {
    path_ = *chosen;
  } else {
    path_ = std::filesystem::temp_directory_path(error) /
            ("tarvex-" + std::to_string(getpid()) + "-" +
             std::to_string(reinterpret_cast<std::uintptr_t>(this) & 0xFFFFFF));
    remove_ = true;
  }
  std::filesystem::create_directories(path_, error);
}

WorkingFolder::~WorkingFolder() {
  if (!remove_) return;
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

DatabaseRun::DatabaseRun(std::filesystem::path database,
                         const std::optional<std::filesystem::path>& workdir, bool quiet,
                         ScanDepth depth)
    : database_(std::move(database)),
      window_(stderr, quiet),
      working_folder_(workdir),
      message_pages_(working_folder_.path()),
      recovery_(std::make_unique<Recovery>(window_, pause_gate_, working_folder_.path(),
                                           working_folder_.path(), message_pages_)),
      depth_(depth),
      quiet_(quiet) {}

int DatabaseRun::Analyse() {
  std::error_code error;
  if (!std::filesystem::is_regular_file(database_, error)) {
    PrintError("no such database file: " + database_.string());
    return kExitMissingFile;
  }
  if (!ese::Database::HasSignature(database_)) {
    PrintError("not an ESE database: " + database_.string());
    return kExitNotDatabase;
  }
  root_ = window_.InsertTreeNode(kTopOfTree, TextFromPath(database_), 0);
  recovery_->set_root_node(root_);
  if (RunAnalysis(*recovery_, database_, depth_) == AnalysisOutcome::kCompleted) {
    // The report says what the deep scan added; the quick scan's losses are reported anyway.
    if (!quiet_ && depth_ == ScanDepth::kDeep) {
      std::fputs(Utf16ToUtf8(RecoveryReportText(recovery_->session().database())).c_str(),
                 stderr);
    }
    return kExitOk;
  }
  PrintError("the store cannot be read: " + database_.string());
  return kExitUnreadableStore;
}

std::optional<TreeNodeHandle> DatabaseRun::FindBelow(TreeNodeHandle node,
                                                     std::u16string_view rest) const {
  for (TreeNodeHandle child : window_.Node(node).children) {
    const std::u16string& name = window_.Node(child).text;
    if (!rest.starts_with(name)) continue;
    const std::u16string_view after = rest.substr(name.size());
    if (after.empty()) return child;
    if (after.front() != u'/') continue;
    if (std::optional<TreeNodeHandle> found = FindBelow(child, after.substr(1))) return found;
  }
  return std::nullopt;
}

std::optional<TreeNodeHandle> DatabaseRun::FindFolder(std::u16string_view path) const {
  // A mailbox name may itself start or end with "/": the path as given wins over the path
  // with its outer slashes taken away.
  if (!path.empty()) {
    if (std::optional<TreeNodeHandle> found = FindBelow(root_, path)) return found;
  }
  while (path.starts_with(u"/")) path.remove_prefix(1);
  while (path.ends_with(u"/")) path.remove_suffix(1);
  if (path.empty()) return std::nullopt;
  return FindBelow(root_, path);
}

std::u16string DatabaseRun::FolderKindOf(TreeNodeHandle node) const {
  if (!folder_kinds_) {
    // The first link or node of a tree node names its kind, links before nodes.
    const MailboxModel& model = recovery_->model();
    folder_kinds_.emplace();
    for (const FolderLink& link : model.folder_links) {
      folder_kinds_->try_emplace(link.tree_item, link.folder_kind);
    }
    for (const FolderNode& folder : model.folder_nodes) {
      folder_kinds_->try_emplace(folder.tree_item, folder.folder_kind);
    }
  }
  const auto found = folder_kinds_->find(node);
  return found == folder_kinds_->end() ? std::u16string() : found->second;
}

}  // namespace tarvex::cli
