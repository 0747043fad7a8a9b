#include "cli/database_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include "base/file_names.h"
#include "base/terminal_text.h"
#include "base/utf_conversion.h"
#include "ese/database.h"
#include "mailbox/analysis.h"
#include "store/recovery_report.h"

namespace tarvex::cli {

void PrintError(const std::string& message) {
  std::fprintf(stderr, "tarvex: %s\n", TerminalText(message).c_str());
}

std::string CauseOf(int error_number) {
  std::string cause = std::strerror(error_number);
  // "Permission denied" reads as part of our sentence: "cannot read X: permission denied".
  if (!cause.empty() && cause[0] >= 'A' && cause[0] <= 'Z' &&
      (cause.size() < 2 || cause[1] > 'Z')) {
    cause[0] = static_cast<char>(cause[0] - 'A' + 'a');
  }
  return cause;
}

int CheckDatabaseFile(const std::filesystem::path& database) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(database, error);
  if (error && error != std::errc::no_such_file_or_directory) {
    PrintError("cannot read " + database.string() + ": " + CauseOf(error.value()));
    return kExitMissingFile;
  }
  if (!std::filesystem::exists(status)) {
    PrintError("no such database file: " + database.string());
    return kExitMissingFile;
  }
  if (std::filesystem::is_directory(status)) {
    PrintError(database.string() + " is a directory, not a database file");
    return kExitMissingFile;
  }
  if (!std::filesystem::is_regular_file(status)) {
    PrintError(database.string() + " is not a regular file");
    return kExitMissingFile;
  }
  // Opened once here, so that a file that cannot be read is reported for what the system
  // says, not as a file without the database signature.
  const int descriptor = open(database.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    PrintError("cannot read " + database.string() + ": " + CauseOf(errno));
    return kExitMissingFile;
  }
  close(descriptor);
  if (!ese::Database::HasSignature(database)) {
    PrintError("not an ESE database: " + database.string());
    return kExitNotDatabase;
  }
  return kExitOk;
}

std::optional<std::string> WriteProblemIn(const std::filesystem::path& folder) {
  constexpr std::size_t kProbeSize = 64 * 1024;
  const std::filesystem::path probe = folder / ".tarvex-write-check";
  errno = 0;
  std::FILE* file = std::fopen(probe.c_str(), "wb");
  if (file == nullptr) return CauseOf(errno);
  const std::string bytes(kProbeSize, '\0');
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int write_error = errno;
  const bool closed = std::fclose(file) == 0;
  const int close_error = errno;
  std::error_code ignored;
  std::filesystem::remove(probe, ignored);
  if (!written) return CauseOf(write_error);
  if (!closed) return CauseOf(close_error);
  return std::nullopt;
}

WorkingFolder::WorkingFolder(const std::optional<std::filesystem::path>& chosen) {
  if (chosen) {
    path_ = *chosen;
    std::error_code error;
    std::filesystem::create_directories(path_, error);
    if (error) error_ = CauseOf(error.value());
    return;
  }
  // A fresh folder of this run alone: made by mkdtemp, readable by this user only, never
  // one that someone else made in the shared folder first.
  std::error_code error;
  const std::filesystem::path shared = std::filesystem::temp_directory_path(error);
  if (error) {
    const char* named = std::getenv("TMPDIR");
    path_ = named != nullptr ? named : "/tmp";
    error_ = CauseOf(error.value());
    return;
  }
  std::string pattern = (shared / "tarvex-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    error_ = CauseOf(errno);
    path_ = pattern;
    return;
  }
  path_ = pattern;
  remove_ = true;
}

WorkingFolder::~WorkingFolder() {
  if (!remove_) return;
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

DatabaseRun::DatabaseRun(std::filesystem::path database,
                         const std::optional<std::filesystem::path>& workdir,
                         const ErrorStreamOptions& stream, ScanDepth depth)
    : database_(std::move(database)),
      window_(stderr, stream),
      working_folder_(workdir),
      message_pages_(working_folder_.path()),
      recovery_(std::make_unique<Recovery>(window_, pause_gate_, working_folder_.path(),
                                           working_folder_.path(), message_pages_)),
      depth_(depth),
      verbose_(stream.verbose && !stream.quiet) {}

int DatabaseRun::Analyse() {
  if (const int code = CheckDatabaseFile(database_); code != kExitOk) return code;
  if (!working_folder_.error().empty()) {
    PrintError("cannot make the working folder " + working_folder_.path().string() + ": " +
               working_folder_.error());
    return kExitWriteFailed;
  }
  root_ = window_.InsertTreeNode(kTopOfTree, TextFromPath(database_), 0);
  recovery_->set_root_node(root_);
  const AnalysisOutcome outcome = RunAnalysis(*recovery_, database_, depth_);
  window_.ClearProgress();
  if (outcome == AnalysisOutcome::kCompleted) {
    // The report says what the deep scan added; the quick scan's losses are reported anyway.
    if (verbose_ && depth_ == ScanDepth::kDeep) {
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
