#pragma once

// The command line's window: remembers the tree and the item list the core builds, and
// reports on standard error. On a terminal the progress is one line redrawn in place with the
// current step; status texts are shown only when asked for; a log (standard error that is no
// terminal) gets nothing but errors unless progress is asked for.

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "base/window_port.h"

namespace tarvex::cli {

struct TreeNode {
  TreeNodeHandle parent = kTopOfTree;
  std::u16string text;
  int image = 0;
  std::vector<TreeNodeHandle> children;
};

// What goes to standard error besides errors.
struct ErrorStreamOptions {
  bool quiet = false;     // errors only, whatever else is asked for
  bool verbose = false;   // the status texts too
  bool progress = false;  // progress also when standard error is no terminal
};

class TerminalWindow : public WindowPort {
 public:
  TerminalWindow(std::FILE* errors, const ErrorStreamOptions& options);
  ~TerminalWindow() override;

  void SetStatusText(std::u16string_view text) override;
  void SetProgressRange(int lowest, int highest) override;
  void SetProgressPosition(int position) override;
  TreeNodeHandle InsertTreeNode(TreeNodeHandle parent, std::u16string_view text,
                                int image) override;
  int InsertListRow(int row, std::u16string_view first_column) override;
  void SetListCell(int row, int column, std::u16string_view text) override;
  void ClearList() override;
  void EnableControl(WindowControl control, bool enabled) override;
  void EnableMenuCommand(MenuCommand command, bool enabled) override;
  void Navigate(const std::filesystem::path& page) override;
  MessageAnswer ShowMessage(std::u16string_view text, MessageKind kind) override;

  // Takes the progress line off the terminal, so that what is printed next starts a line of
  // its own; the next progress draws it again.
  void ClearProgress();

  const TreeNode& Node(TreeNodeHandle handle) const { return nodes_.at(handle); }
  const std::vector<TreeNodeHandle>& TopNodes() const { return Node(kTopOfTree).children; }
  const std::vector<std::vector<std::u16string>>& ListRows() const { return rows_; }
  const std::filesystem::path& last_page() const { return last_page_; }

 private:
  using Clock = std::chrono::steady_clock;

  // A status text names the step under way; the progress counts that step.
  void StartStep(const std::string& label);
  void DrawProgressLine();
  // Prints one line of text on standard error, under the progress line if one is drawn.
  void PrintLine(const std::string& line);

  std::FILE* errors_;
  bool terminal_;
  bool show_status_;
  bool show_progress_;
  bool progress_drawn_ = false;
  std::string step_;  // the step of the last status text: what the progress counts
  Clock::time_point step_start_;
  int step_start_position_ = 0;
  int step_percent_ = -1;  // the highest shown in this step: progress never goes back
  int lowest_ = 0;
  int highest_ = 100;
  int position_ = 0;
  std::map<TreeNodeHandle, TreeNode> nodes_;
  TreeNodeHandle next_handle_ = 1;
  std::vector<std::vector<std::u16string>> rows_;
  std::filesystem::path last_page_;
};

}  // namespace tarvex::cli
