#pragma once

// The command line's window: remembers the tree and the item list the core builds, and
// reports status texts and progress on standard error.

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

class TerminalWindow : public WindowPort {
 public:
  // `quiet` keeps standard error silent but for errors.
  TerminalWindow(std::FILE* errors, bool quiet);
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

  const TreeNode& Node(TreeNodeHandle handle) const { return nodes_.at(handle); }
  const std::vector<TreeNodeHandle>& TopNodes() const { return Node(kTopOfTree).children; }
  const std::vector<std::vector<std::u16string>>& ListRows() const { return rows_; }
  const std::filesystem::path& last_page() const { return last_page_; }

 private:
  void EndProgressLine();

  std::FILE* errors_;
  bool quiet_;
  bool terminal_;
  bool progress_shown_ = false;
  int lowest_ = 0;
  int highest_ = 100;
  int last_reported_percent_ = -1;
  std::map<TreeNodeHandle, TreeNode> nodes_;
  TreeNodeHandle next_handle_ = 1;
  std::vector<std::vector<std::u16string>> rows_;
  std::filesystem::path last_page_;
};

}  // namespace tarvex::cli
