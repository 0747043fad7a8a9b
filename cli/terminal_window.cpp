#include "cli/terminal_window.h"

#include <unistd.h>

#include <algorithm>

#include "base/terminal_text.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"

namespace tarvex::cli {

TerminalWindow::TerminalWindow(std::FILE* errors, bool quiet)
    : errors_(errors), quiet_(quiet), terminal_(isatty(fileno(errors)) != 0) {
  nodes_[kTopOfTree] = TreeNode{};
}

TerminalWindow::~TerminalWindow() {
  EndProgressLine();
}

void TerminalWindow::EndProgressLine() {
  if (progress_shown_) std::fputc('\n', errors_);
  progress_shown_ = false;
}

void TerminalWindow::SetStatusText(std::u16string_view text) {
  const std::u16string trimmed = Trim(text);
  if (quiet_ || trimmed.empty()) return;
  EndProgressLine();
  std::fprintf(errors_, "%s\n", TerminalText(trimmed).c_str());
  std::fflush(errors_);
}

void TerminalWindow::SetProgressRange(int lowest, int highest) {
  lowest_ = lowest;
  highest_ = std::max(highest, lowest + 1);
}

void TerminalWindow::SetProgressPosition(int position) {
  if (quiet_) return;
  const int percent = std::clamp((position - lowest_) * 100 / (highest_ - lowest_), 0, 100);
  if (percent == last_reported_percent_) return;
  last_reported_percent_ = percent;
  if (terminal_) {
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    std::fprintf(errors_, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, ' ').c_str(), percent);
    progress_shown_ = true;
    std::fflush(errors_);
  } else if (percent % 25 == 0 && percent > 0) {
    // A log gets a line per quarter, not a line per record.
    std::fprintf(errors_, "progress %d%%\n", percent);
  }
}

TreeNodeHandle TerminalWindow::InsertTreeNode(TreeNodeHandle parent, std::u16string_view text,
                                              int image) {
  if (!nodes_.contains(parent)) parent = kTopOfTree;
  const TreeNodeHandle handle = next_handle_++;
  nodes_[handle] = TreeNode{parent, std::u16string(text), image, {}};
  nodes_[parent].children.push_back(handle);
  return handle;
}

int TerminalWindow::InsertListRow(int row, std::u16string_view first_column) {
  const auto index = static_cast<std::size_t>(std::clamp(row, 0, static_cast<int>(rows_.size())));
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index),
               std::vector<std::u16string>{std::u16string(first_column)});
  return static_cast<int>(index);
}

void TerminalWindow::SetListCell(int row, int column, std::u16string_view text) {
  if (row < 0 || column < 0 || static_cast<std::size_t>(row) >= rows_.size()) return;
  std::vector<std::u16string>& cells = rows_[static_cast<std::size_t>(row)];
  if (cells.size() <= static_cast<std::size_t>(column))
    cells.resize(static_cast<std::size_t>(column) + 1);
  cells[static_cast<std::size_t>(column)] = text;
}

void TerminalWindow::ClearList() {
  rows_.clear();
}

void TerminalWindow::EnableControl(WindowControl, bool) {}
void TerminalWindow::EnableMenuCommand(MenuCommand, bool) {}

void TerminalWindow::Navigate(const std::filesystem::path& page) {
  last_page_ = page;
}

MessageAnswer TerminalWindow::ShowMessage(std::u16string_view text, MessageKind kind) {
  if (!quiet_ || kind == MessageKind::kError) {
    EndProgressLine();
    std::fprintf(errors_, "%s\n", TerminalText(Trim(text), LineBreaks::kKept).c_str());
  }
  return kind == MessageKind::kQuestion ? MessageAnswer::kYes : MessageAnswer::kOk;
}

}  // namespace tarvex::cli
