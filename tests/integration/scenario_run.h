#pragma once

// A ready scenario built into a scratch folder and analysed through a recording window, as a
// front end would: root node first, then the whole analysis, then folder selections.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/message_pages.h"
#include "base/pause_gate.h"
#include "mailbox/analysis.h"
#include "mailbox/recovery.h"
#include "support/recording_window_port.h"
#include "support/test_files.h"

namespace tarvex::testing {

std::filesystem::path ScenarioFile(const std::string& name);

// The argument in single quotes for the shell.
std::string Quoted(const std::string& argument);

// One run of the `tarvex` program.
struct ProgramRun {
  int exit_code = -1;      // -1 when it did not exit by itself (a signal, the time limit)
  bool timed_out = false;  // killed at the time limit
  std::string out;
  std::string err;
};

// Runs `tarvex` with the arguments, its output kept in files of `scratch`; killed after
// `time_limit_seconds` when that is not 0. `prefix` goes before the program in the shell's
// command: variables to set, or a command that runs it as another user.
ProgramRun RunTarvex(const std::vector<std::string>& arguments,
                     const std::filesystem::path& scratch, int time_limit_seconds = 0,
                     const std::string& prefix = "");

// Writes the named ready scenario ("2010-private", ...) to `database`.
void BuildScenario(const std::string& name, const std::filesystem::path& database);

class AnalysedStore {
 public:
  explicit AnalysedStore(std::filesystem::path database);

  // Inserts the root node and runs the analysis.
  AnalysisOutcome Analyse(ScanDepth depth = ScanDepth::kQuick);
  // Selects a node and returns the rows the loader listed.
  std::vector<std::vector<std::u16string>> Select(TreeNodeHandle node);
  // The node at "Mailbox/Folder/..." below the root, or 0.
  TreeNodeHandle Find(const std::vector<std::u16string>& path) const;

  RecordingWindowPort window;
  TreeNodeHandle root = kTopOfTree;
  Recovery& recovery() { return *recovery_; }
  const std::filesystem::path& database() const { return database_; }

 private:
  std::filesystem::path database_;
  ScratchFolder work_;
  PauseGate gate_;
  MessagePages pages_;
  std::unique_ptr<Recovery> recovery_;
};

}  // namespace tarvex::testing
