#pragma once

// A WindowPort for tests: records every call in order and answers questions as told.

#include <map>
#include <string>
#include <vector>

#include "base/window_port.h"

namespace tarvex::testing {

struct RecordedTreeNode {
  TreeNodeHandle handle = 0;
  TreeNodeHandle parent = 0;
  std::u16string text;
  int image = 0;
};

struct RecordedMessage {
  std::u16string text;
  MessageKind kind = MessageKind::kInformation;
};

class RecordingWindowPort : public WindowPort {
 public:
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

  // The children of `parent` in insertion order.
  std::vector<RecordedTreeNode> ChildrenOf(TreeNodeHandle parent) const;

  std::vector<std::u16string> status_texts;
  std::vector<int> progress_positions;
  std::pair<int, int> progress_range{0, 100};
  std::vector<RecordedTreeNode> tree_nodes;
  std::vector<std::vector<std::u16string>> list_rows;
  std::map<WindowControl, bool> control_enabled;
  std::map<MenuCommand, bool> menu_enabled;
  std::vector<std::filesystem::path> navigations;
  std::vector<RecordedMessage> messages;
  MessageAnswer answer_to_questions = MessageAnswer::kYes;
};

}  // namespace tarvex::testing
