#include "cli/database_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <system_error>

#include "base/file_names.h"
#include "base/process_end.h"
#include "base/terminal_text.h"
#include "base/utf_conversion.h"
#include "ese/database.h"
#include "mailbox/analysis.h"
#include "mailbox/mailbox_loading.h"
#include "mailbox/text_match.h"
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

std::filesystem::path MemoryBackedFolder() {
  std::error_code error;
  const std::filesystem::path shared_memory = "/dev/shm";
  if (std::filesystem::is_directory(shared_memory, error) &&
      access(shared_memory.c_str(), W_OK | X_OK) == 0) {
    return shared_memory;
  }
  return {};
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

WorkingFolder::WorkingFolder(const std::optional<std::filesystem::path>& chosen,
                             const std::filesystem::path& temporary_parent) {
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
  const std::filesystem::path shared =
      temporary_parent.empty() ? std::filesystem::temp_directory_path(error) : temporary_parent;
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
      notices_folder_(std::nullopt),
      message_pages_(notices_folder_.path()),
      recovery_(std::make_unique<Recovery>(window_, pause_gate_, working_folder_.path(),
                                           working_folder_.path(), message_pages_)),
      depth_(depth),
      verbose_(stream.verbose && !stream.quiet) {}

DatabaseRun::~DatabaseRun() {
  LeaveToProcessEnd(std::move(recovery_));
}

int DatabaseRun::Analyse(const AnalysisObserver& observer) {
  if (const int code = CheckDatabaseFile(database_); code != kExitOk) return code;
  if (!working_folder_.error().empty()) {
    PrintError("cannot make the working folder " + working_folder_.path().string() + ": " +
               working_folder_.error());
    return kExitWriteFailed;
  }
  root_ = window_.InsertTreeNode(kTopOfTree, TextFromPath(database_), 0);
  recovery_->set_root_node(root_);
  const AnalysisOutcome outcome = RunAnalysis(*recovery_, database_, depth_, observer);
  window_.ClearProgress();
  if (outcome == AnalysisOutcome::kCompleted) {
    // The report says what the deep scan added; the quick scan's losses are reported anyway.
    if (verbose_ && depth_ == ScanDepth::kDeep) {
      std::fputs(Utf16ToUtf8(RecoveryReportText(recovery_->session().database())).c_str(), stderr);
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

std::optional<TreeNodeHandle> DatabaseRun::FindFullPath(std::u16string_view path) const {
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

namespace {

// "a\/b/c" -> {"a/b", "c"}: a backslash takes the next character as it is; empty parts go.
std::vector<std::u16string> PathParts(std::u16string_view path) {
  std::vector<std::u16string> parts(1);
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] == u'\\' && i + 1 < path.size()) {
      parts.back().push_back(path[++i]);
    } else if (path[i] == u'/') {
      parts.emplace_back();
    } else {
      parts.back().push_back(path[i]);
    }
  }
  std::erase_if(parts, [](const std::u16string& part) { return part.empty(); });
  return parts;
}

// Whether the last part names the node itself and the others name nodes above it, in order,
// with levels left out between them ("Alice Martin/Inbox").
bool EndsWithParts(const std::vector<std::u16string_view>& names,
                   const std::vector<TextMatch>& parts) {
  if (!parts.back().Matches(names.back())) return false;
  std::size_t wanted = parts.size() - 1;
  for (std::size_t level = names.size() - 1; wanted > 0 && level > 0; --level) {
    if (parts[wanted - 1].Matches(names[level - 1])) --wanted;
  }
  return wanted == 0;
}

}  // namespace

std::vector<TreeNodeHandle> DatabaseRun::FolderMatches(std::u16string_view given) const {
  if (std::optional<TreeNodeHandle> exact = FindFullPath(given)) return {*exact};
  std::vector<TextMatch> wanted;
  for (const std::u16string& part : PathParts(given)) {
    if (std::optional<TextMatch> match = TextMatch::Make(part, TextMatchMode::kWholeText)) {
      wanted.push_back(std::move(*match));
    }
  }
  std::vector<TreeNodeHandle> found;
  if (wanted.empty()) return found;
  const std::optional<TextMatch> id = TextMatch::Make(given, TextMatchMode::kWholeText);
  std::vector<TreeNodeHandle> by_id;
  // Every node below the root in tree order, with the names from its mailbox down.
  std::vector<std::u16string_view> names;
  std::function<void(TreeNodeHandle)> visit = [&](TreeNodeHandle node) {
    names.push_back(window_.Node(node).text);
    if (EndsWithParts(names, wanted)) found.push_back(node);
    if (const NodeFacts* facts = FactsOf(node);
        facts != nullptr && id && !facts->id.empty() && id->Matches(facts->id)) {
      by_id.push_back(node);
    }
    for (TreeNodeHandle child : window_.Node(node).children) visit(child);
    names.pop_back();
  };
  for (TreeNodeHandle child : window_.Node(root_).children) visit(child);
  return found.empty() ? by_id : found;
}

std::optional<TreeNodeHandle> DatabaseRun::FindFolder(std::u16string_view given) const {
  const std::vector<TreeNodeHandle> matches = FolderMatches(given);
  if (matches.size() != 1) return std::nullopt;
  return matches.front();
}

std::vector<std::vector<std::u16string>> DatabaseRun::ListItems(TreeNodeHandle node) {
  window_.SetStatusText(u"Reading the items of " + window_.Node(node).text);
  window_.ClearList();
  LoadMailbox(*recovery_, node);
  window_.ClearProgress();
  return window_.ListRows();
}

int ReportFolderMatches(const DatabaseRun& run, const std::string& folder,
                        const std::vector<TreeNodeHandle>& matches) {
  if (matches.empty()) {
    PrintError("no folder \"" + folder + "\" in " + run.database().string() +
               " (see `tarvex tree` for the folder paths)");
    return kExitUnknownFolder;
  }
  std::string candidates;
  for (TreeNodeHandle match : matches) candidates += "\n  " + TerminalText(run.PathOf(match));
  std::fprintf(stderr, "tarvex: folder \"%s\" is ambiguous; it names:%s\n",
               TerminalText(folder).c_str(), candidates.c_str());
  return kExitAmbiguousFolder;
}

std::u16string DatabaseRun::PathOf(TreeNodeHandle node) const {
  return recovery_->folder_tree().PathOf(node);
}

const DatabaseRun::NodeFacts* DatabaseRun::FactsOf(TreeNodeHandle node) const {
  if (!node_facts_) {
    // The first link or node of a tree node names its kind and id, links before nodes.
    const MailboxModel& model = recovery_->model();
    node_facts_.emplace();
    for (const FolderLink& link : model.folder_links) {
      node_facts_->try_emplace(link.tree_item, NodeFacts{link.folder_kind, link.content_key});
    }
    for (const FolderNode& folder : model.folder_nodes) {
      node_facts_->try_emplace(folder.tree_item, NodeFacts{folder.folder_kind, folder.folder_key});
    }
    for (const MailboxEntry& mailbox : model.mailboxes) {
      node_facts_->try_emplace(mailbox.tree_item, NodeFacts{u"", mailbox.mailbox_key});
    }
  }
  const auto found = node_facts_->find(node);
  return found == node_facts_->end() ? nullptr : &found->second;
}

std::u16string DatabaseRun::IdOf(TreeNodeHandle node) const {
  const NodeFacts* facts = FactsOf(node);
  return facts == nullptr ? std::u16string() : facts->id;
}

std::u16string DatabaseRun::FolderKindOf(TreeNodeHandle node) const {
  const NodeFacts* facts = FactsOf(node);
  return facts == nullptr ? std::u16string() : facts->kind;
}

}  // namespace tarvex::cli
