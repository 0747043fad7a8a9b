#include "support/recording_window_port.h"

#include <algorithm>

namespace tarvex::testing {

void RecordingWindowPort::SetStatusText(std::u16string_view text) {
  status_texts.emplace_back(text);
}

void RecordingWindowPort::SetProgressRange(int lowest, int highest) {
  progress_range = {lowest, highest};
}

void RecordingWindowPort::SetProgressPosition(int position) {
  progress_positions.push_back(position);
}

TreeNodeHandle RecordingWindowPort::InsertTreeNode(TreeNodeHandle parent, std::u16string_view text,
                                                   int image) {
  const TreeNodeHandle handle = tree_nodes.size() + 1;
  tree_nodes.push_back({handle, parent, std::u16string(text), image});
  return handle;
}

int RecordingWindowPort::InsertListRow(int row, std::u16string_view first_column) {
  const auto index =
      static_cast<std::size_t>(std::clamp<int>(row, 0, static_cast<int>(list_rows.size())));
  list_rows.insert(list_rows.begin() + static_cast<std::ptrdiff_t>(index),
                   std::vector<std::u16string>(11));
  list_rows[index][0] = first_column;
  return static_cast<int>(index);
}

void RecordingWindowPort::SetListCell(int row, int column, std::u16string_view text) {
  if (row < 0 || static_cast<std::size_t>(row) >= list_rows.size() || column < 0) return;
  auto& cells = list_rows[static_cast<std::size_t>(row)];
  if (static_cast<std::size_t>(column) >= cells.size())
    cells.resize(static_cast<std::size_t>(column) + 1);
  cells[static_cast<std::size_t>(column)] = text;
}

void RecordingWindowPort::ClearList() {
  list_rows.clear();
}

void RecordingWindowPort::EnableControl(WindowControl control, bool enabled) {
  control_enabled[control] = enabled;
}

void RecordingWindowPort::EnableMenuCommand(MenuCommand command, bool enabled) {
  menu_enabled[command] = enabled;
}

void RecordingWindowPort::Navigate(const std::filesystem::path& page) {
  navigations.push_back(page);
}

MessageAnswer RecordingWindowPort::ShowMessage(std::u16string_view text, MessageKind kind) {
  messages.push_back({std::u16string(text), kind});
  return kind == MessageKind::kQuestion ? answer_to_questions : MessageAnswer::kOk;
}

std::vector<RecordedTreeNode> RecordingWindowPort::ChildrenOf(TreeNodeHandle parent) const {
  std::vector<RecordedTreeNode> children;
  for (const RecordedTreeNode& node : tree_nodes) {
    if (node.parent == parent) children.push_back(node);
  }
  return children;
}

}  // namespace tarvex::testing
