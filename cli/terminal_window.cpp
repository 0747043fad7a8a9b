#include "cli/terminal_window.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "base/terminal_text.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"
#include "cli/display_width.h"

namespace tarvex::cli {
namespace {

// Work shorter than this shows no rate: the first figures of a step say little.
constexpr std::chrono::seconds kRateAfter{1};

std::size_t TerminalColumns(std::FILE* stream) {
  winsize size{};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) return size.ws_col;
  return 80;
}

std::string Duration(std::chrono::seconds time) {
  const long long seconds = time.count();
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
  return text;
}

// The status text without its "Status:" label, which says nothing on a line of its own.
std::string WithoutStatusLabel(const std::string& text) {
  for (const std::string_view label : {"Status:", "Status :"}) {
    if (text.starts_with(label)) {
      const std::size_t start = text.find_first_not_of(' ', label.size());
      return start == std::string::npos ? std::string() : text.substr(start);
    }
  }
  return text;
}

// The step a status text belongs to: texts that differ only in a closing part in brackets
// ("... information ( Inbox)") report on one step.
std::string StepOf(const std::string& label) {
  if (!label.ends_with(')')) return label;
  const std::size_t open = label.rfind(" (");
  return open == std::string::npos || open == 0 ? label : label.substr(0, open);
}

}  // namespace

TerminalWindow::TerminalWindow(std::FILE* errors, const ErrorStreamOptions& options)
    : errors_(errors),
      terminal_(isatty(fileno(errors)) != 0),
      show_status_(options.verbose && !options.quiet),
      show_progress_(!options.quiet && (terminal_ || options.progress)),
      step_start_(Clock::now()) {
  nodes_[kTopOfTree] = TreeNode{};
}

TerminalWindow::~TerminalWindow() {
  ClearProgress();
}

void TerminalWindow::ClearProgress() {
  if (!progress_drawn_) return;
  std::fputs("\r\x1b[K", errors_);
  std::fflush(errors_);
  progress_drawn_ = false;
}

void TerminalWindow::PrintLine(const std::string& line) {
  const bool redraw = progress_drawn_;
  ClearProgress();
  std::fprintf(errors_, "%s\n", line.c_str());
  if (redraw) DrawProgressLine();
  std::fflush(errors_);
}

void TerminalWindow::StartStep(const std::string& label) {
  std::string step = StepOf(label);
  if (step == step_) return;
  step_ = std::move(step);
  step_start_ = Clock::now();
  step_start_position_ = position_;
  step_percent_ = -1;
}

void TerminalWindow::SetStatusText(std::u16string_view text) {
  const std::u16string trimmed = Trim(text);
  if (trimmed.empty()) return;
  const std::string line = WithoutStatusLabel(TerminalText(trimmed));
  if (line.empty()) return;
  StartStep(line);
  if (show_status_) PrintLine(line);
}

void TerminalWindow::SetProgressRange(int lowest, int highest) {
  lowest_ = lowest;
  highest_ = std::max(highest, lowest + 1);
  position_ = lowest;
  step_start_position_ = lowest;
}

void TerminalWindow::SetProgressPosition(int position) {
  position_ = position;
  if (!show_progress_) return;
  const long long span = static_cast<long long>(highest_) - lowest_;
  const int percent = static_cast<int>(
      std::clamp((static_cast<long long>(position) - lowest_) * 100 / span, 0LL, 100LL));
  // Within a step the figure only grows: a reset to 0 at the end of a table is not news.
  if (percent <= step_percent_) return;
  const int previous = std::max(step_percent_, 0);
  step_percent_ = percent;
  if (terminal_) {
    DrawProgressLine();
  } else if (percent / 25 > previous / 25) {
    // A log gets a line per quarter passed, not a line per record.
    std::fprintf(errors_, "%s: %d%%\n", step_.empty() ? "progress" : step_.c_str(), percent);
    std::fflush(errors_);
  }
}

void TerminalWindow::DrawProgressLine() {
  if (step_percent_ < 0) return;
  constexpr int kBarWidth = 20;
  const int filled = step_percent_ * kBarWidth / 100;
  std::string figures = " [" + std::string(static_cast<std::size_t>(filled), '#') +
                        std::string(static_cast<std::size_t>(kBarWidth - filled), '-') + "] " +
                        std::to_string(step_percent_) + "%";
  const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - step_start_);
  const int done = position_ - step_start_position_;
  if (elapsed >= kRateAfter && done > 0 && step_percent_ > 0) {
    figures += " " + std::to_string(done / elapsed.count()) + "/s";
    if (step_percent_ < 100) {
      figures += " ETA " + Duration(elapsed * (100 - step_percent_) / step_percent_);
    }
  }
  const std::size_t columns = TerminalColumns(errors_) - 1;
  const std::size_t room = columns > figures.size() ? columns - figures.size() : 0;
  std::fprintf(errors_, "\r%s%s\x1b[K", FitToWidth(step_, room).c_str(), figures.c_str());
  std::fflush(errors_);
  progress_drawn_ = true;
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
  // A message box that reports (the analysis completed) is a status text; errors always show.
  if (kind == MessageKind::kError || show_status_) {
    PrintLine(TerminalText(Trim(text), LineBreaks::kKept));
  }
  return kind == MessageKind::kQuestion ? MessageAnswer::kYes : MessageAnswer::kOk;
}

}  // namespace tarvex::cli
