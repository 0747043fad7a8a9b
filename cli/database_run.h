#pragma once

// One database opened and analysed for a command: the terminal window, the working folder and
// the recovery, with the failures a user must be told about.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

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
};

// A folder made for one run and removed with it, unless the user named it. A folder that
// cannot be made leaves its cause in error().
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::optional<std::filesystem::path>& chosen);
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
              bool quiet, ScanDepth depth = ScanDepth::kQuick);

  // Checks the file, then runs the whole analysis. On failure prints the reason and returns
  // the exit code; kExitOk when the store was read.
  int Analyse();

  TerminalWindow& window() { return window_; }
  Recovery& recovery() { return *recovery_; }
  TreeNodeHandle root() const { return root_; }
  const std::filesystem::path& database() const { return database_; }

  // The tree node at "Mailbox/Folder/Subfolder" below the root, if any. Folder names may
  // themselves hold "/".
  std::optional<TreeNodeHandle> FindFolder(std::u16string_view path) const;

  // The folder kind of a node ("Folder", "calendar", "IPF.Note", ...), empty for mailbox nodes.
  std::u16string FolderKindOf(TreeNodeHandle node) const;

 private:
  std::optional<TreeNodeHandle> FindBelow(TreeNodeHandle node, std::u16string_view rest) const;

  // The folder kinds by node, made on the first question: a tree asks for every node.
  mutable std::optional<std::unordered_map<TreeNodeHandle, std::u16string>> folder_kinds_;

  std::filesystem::path database_;
  TerminalWindow window_;
  PauseGate pause_gate_;
  WorkingFolder working_folder_;
  MessagePages message_pages_;
  std::unique_ptr<Recovery> recovery_;
  ScanDepth depth_;
  bool quiet_;
  TreeNodeHandle root_ = kTopOfTree;
};

// Prints "tarvex: <message>" on standard error, control characters escaped (terminal_text.h).
void PrintError(const std::string& message);

// The cause of a failed system call as it reads inside a message ("permission denied").
std::string CauseOf(int error_number);

// Whether `database` is a readable file with the database signature; prints why not
// ("no such database file", "is a directory", "permission denied", "not an ESE database") and
// returns the exit code.
int CheckDatabaseFile(const std::filesystem::path& database);

// Why files cannot be written into `folder` (no space left, permission denied), tried by
// writing one; nothing when they can.
std::optional<std::string> WriteProblemIn(const std::filesystem::path& folder);

}  // namespace tarvex::cli
