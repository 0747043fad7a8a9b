#pragma once

// The only way the core reaches a window. The desktop window, the command line and the tests
// each implement it. Calls are synchronous: when one returns, the window has handled it.

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace tarvex {

// A tree node as the window knows it; kTopOfTree stands for the tree's top (no parent).
using TreeNodeHandle = std::uint64_t;
inline constexpr TreeNodeHandle kTopOfTree = 0;

// Controls the core enables and disables, by their window identifiers.
enum class WindowControl : int {
  kFolderTree = 1000,
  kItemList = 1001,
  kSaveMailboxButton = 1003,
  kBrowseButton = 1007,
  kStopButton = 1043,
};

enum class MenuCommand : int {
  kOpenExchangeEdb = 32771,
  kSaveMailbox = 32772,
  kExit = 32773,
  kAbout = 32774,
  kHelp = 32775,
};

// Information: result notices (OK only). Question: Yes/No confirmations. Error: bad input.
enum class MessageKind { kInformation, kQuestion, kError };
enum class MessageAnswer { kOk, kYes, kNo };

class WindowPort {
 public:
  virtual ~WindowPort() = default;

  // The status text part of the status bar; replaces the previous text.
  virtual void SetStatusText(std::u16string_view text) = 0;

  virtual void SetProgressRange(int lowest, int highest) = 0;
  virtual void SetProgressPosition(int position) = 0;

  // Appends a node after the parent's last child, with `image` (0-15) as its icon.
  virtual TreeNodeHandle InsertTreeNode(TreeNodeHandle parent, std::u16string_view text,
                                        int image) = 0;

  // Inserts a list row at `row` with the text of column 0 and returns the row's index.
  virtual int InsertListRow(int row, std::u16string_view first_column) = 0;
  virtual void SetListCell(int row, int column, std::u16string_view text) = 0;
  virtual void ClearList() = 0;

  virtual void EnableControl(WindowControl control, bool enabled) = 0;
  virtual void EnableMenuCommand(MenuCommand command, bool enabled) = 0;

  // Shows a page file in the preview browser.
  virtual void Navigate(const std::filesystem::path& page) = 0;

  // Captioned with the program's title; returns the user's answer.
  virtual MessageAnswer ShowMessage(std::u16string_view text, MessageKind kind) = 0;
};

// Keeps the folder tree and the item list disabled while it lives, as during an export or while
// a preview is made.
class TreeAndListDisabled {
 public:
  explicit TreeAndListDisabled(WindowPort& window) : window_(window) { Enable(false); }
  ~TreeAndListDisabled() { Enable(true); }
  TreeAndListDisabled(const TreeAndListDisabled&) = delete;
  TreeAndListDisabled& operator=(const TreeAndListDisabled&) = delete;

 private:
  void Enable(bool enabled) {
    window_.EnableControl(WindowControl::kFolderTree, enabled);
    window_.EnableControl(WindowControl::kItemList, enabled);
  }
  WindowPort& window_;
};

}  // namespace tarvex
