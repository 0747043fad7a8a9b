#pragma once

// One database opened and analysed for a command: the terminal window, the working folder and
// the recovery, with the failures a user must be told about.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/message_pages.h"
#include "base/pause_gate.h"
#include "cli/terminal_window.h"
#include "mailbox/analysis.h"
#include "mailbox/recovery.h"

namespace tarvex::cli {

// Exit codes of the command line.
enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,
  kExitMissingFile = 2,
  kExitNotDatabase = 3,
  kExitUnreadableStore = 4,
  kExitUnknownFolder = 5,
  kExitWriteFailed = 6,
  kExitCompletedWithLosses = 7,  // the store was read, but not all of it
  kExitEarlierExport = 8,        // the output folder holds an earlier export
  kExitAmbiguousFolder = 9,      // a folder argument names several folders
};

// A folder made for one run and removed with it, unless the user named it. A folder that
// cannot be made leaves its cause in error().
class WorkingFolder {
 public:
  // Without a chosen folder, one is made in `temporary_parent` (default: the system's folder
  // for temporary files).
  explicit WorkingFolder(const std::optional<std::filesystem::path>& chosen,
                         const std::filesystem::path& temporary_parent = {});
  ~WorkingFolder();
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  const std::string& error() const { return error_; }

 private:
  std::filesystem::path path_;
  std::string error_;
  bool remove_ = false;
};

class DatabaseRun {
 public:
  DatabaseRun(std::filesystem::path database, const std::optional<std::filesystem::path>& workdir,
              const ErrorStreamOptions& stream, ScanDepth depth = ScanDepth::kQuick);
  // `quiet`: errors only; otherwise what standard error shows by default.
  DatabaseRun(std::filesystem::path database, const std::optional<std::filesystem::path>& workdir,
              bool quiet, ScanDepth depth = ScanDepth::kQuick)
      : DatabaseRun(std::move(database), workdir, ErrorStreamOptions{.quiet = quiet}, depth) {}
  // A run lasts as long as its command, and the command as long as the process: the recovery
  // (the store's model) is left to the process's end; the working folders are still removed.
  ~DatabaseRun();
  DatabaseRun(const DatabaseRun&) = delete;
  DatabaseRun& operator=(const DatabaseRun&) = delete;

  // Checks the file, then runs the whole analysis. On failure prints the reason and returns
  // the exit code; kExitOk when the store was read. The progress line is gone afterwards.
  int Analyse(const AnalysisObserver& observer = {});

  TerminalWindow& window() { return window_; }
  const TerminalWindow& window() const { return window_; }
  Recovery& recovery() { return *recovery_; }
  TreeNodeHandle root() const { return root_; }
  const std::filesystem::path& database() const { return database_; }

  // The nodes a folder argument names: the full path as the tree shows it ("Mailbox/Folder/
  // Subfolder", names may hold "/"); else every node named by the last part below nodes named
  // by the others, in order, levels between them left out ("Inbox", "alice martin/inbox"),
  // compared without regard to case, "\/" standing for a "/" inside a name and "\\" for a
  // backslash; else the folders (and mailboxes) of that id.
  std::vector<TreeNodeHandle> FolderMatches(std::u16string_view given) const;
  // The one node the argument names; none when it names none or several.
  std::optional<TreeNodeHandle> FindFolder(std::u16string_view given) const;

  // Lists the folder's items, as a selection of its node does, and returns the rows.
  std::vector<std::vector<std::u16string>> ListItems(TreeNodeHandle node);

  // "Mailbox/Folder/Subfolder" with "/" and "\" inside names escaped, as FolderMatches takes it.
  std::u16string PathOf(TreeNodeHandle node) const;
  // The folder's id (the mailbox's for a mailbox node); empty for other nodes.
  std::u16string IdOf(TreeNodeHandle node) const;
  // The folder kind of a node ("Folder", "calendar", "IPF.Note", ...), empty for mailbox nodes.
  std::u16string FolderKindOf(TreeNodeHandle node) const;

 private:
  struct NodeFacts {
    std::u16string kind;
    std::u16string id;
  };
  std::optional<TreeNodeHandle> FindBelow(TreeNodeHandle node, std::u16string_view rest) const;
  std::optional<TreeNodeHandle> FindFullPath(std::u16string_view path) const;
  const NodeFacts* FactsOf(TreeNodeHandle node) const;

  // Kinds and ids by node, made on the first question: a tree asks for every node.
  mutable std::optional<std::unordered_map<TreeNodeHandle, NodeFacts>> node_facts_;

  std::filesystem::path database_;
  TerminalWindow window_;
  PauseGate pause_gate_;
  WorkingFolder working_folder_;
  // The notices the window would show ("Analysis Completed"): a folder of the run's own, so
  // that the user's working folder gets only the item's files.
  WorkingFolder notices_folder_;
  MessagePages message_pages_;
  std::unique_ptr<Recovery> recovery_;
  ScanDepth depth_;
  bool verbose_;  // the status texts and reports, not only errors
  TreeNodeHandle root_ = kTopOfTree;
};

// Prints "tarvex: <message>" on standard error, control characters escaped (terminal_text.h).
void PrintError(const std::string& message);

// Says why `folder` names no one folder: it names none (kExitUnknownFolder) or several, which
// are listed (kExitAmbiguousFolder). Returns that exit code.
int ReportFolderMatches(const DatabaseRun& run, const std::string& folder,
                        const std::vector<TreeNodeHandle>& matches);

// The cause of a failed system call as it reads inside a message ("permission denied").
std::string CauseOf(int error_number);

// Whether `database` is a readable file with the database signature; prints why not
// ("no such database file", "is a directory", "permission denied", "not an ESE database") and
// returns the exit code.
int CheckDatabaseFile(const std::filesystem::path& database);

// A folder in memory for files that live a moment each ("/dev/shm"), when the system has a
// writable one; empty otherwise.
std::filesystem::path MemoryBackedFolder();

// Why files cannot be written into `folder` (no space left, permission denied), tried by
// writing one; nothing when they can.
std::optional<std::string> WriteProblemIn(const std::filesystem::path& folder);

}  // namespace tarvex::cli
