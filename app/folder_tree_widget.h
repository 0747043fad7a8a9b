#pragma once

// The folder tree: the database, its mailboxes and folders, with check boxes that carry down to
// every descendant and up to the ancestors. A checked node is bold, and so is every node with a
// bold child, which marks a partly checked branch.

#include <QIcon>
#include <QTreeWidget>
#include <array>
#include <unordered_map>

#include "base/window_port.h"

namespace tarvex {

class FolderTreeWidget : public QTreeWidget {
  Q_OBJECT

 public:
  static constexpr int kImageCount = 16;

  explicit FolderTreeWidget(QWidget* parent = nullptr);

  // Appends a node after the parent's last child; the root goes under the tree's top.
  TreeNodeHandle AddNode(TreeNodeHandle parent, const QString& text, int image);
  void DeleteAllNodes();

  QTreeWidgetItem* Item(TreeNodeHandle node) const;
  TreeNodeHandle Handle(const QTreeWidgetItem* item) const;
  // The icon index a node was given.
  int ImageOf(const QTreeWidgetItem* item) const;
  static bool IsChecked(const QTreeWidgetItem* item);
  static bool IsBold(const QTreeWidgetItem* item);

  // Shows the number of items a folder holds beside its name (nothing for none).
  void SetItemCount(TreeNodeHandle node, std::size_t count);
  // The count shown beside a node's name; 0 when none is.
  static std::size_t ItemCountOf(const QTreeWidgetItem* item);

  // Applies a check box click on `item`: toggles it with its descendants, then settles the
  // ancestors' check marks and bold marks.
  void ToggleCheck(QTreeWidgetItem* item);

 private:
  void OnItemChanged(QTreeWidgetItem* item, int column);
  void SetChecked(QTreeWidgetItem* item, bool checked);
  void SetCheckedWithDescendants(QTreeWidgetItem* item, bool checked);
  static void SetBold(QTreeWidgetItem* item, bool bold);

  std::array<QIcon, kImageCount> images_;
  std::unordered_map<TreeNodeHandle, QTreeWidgetItem*> nodes_;
  TreeNodeHandle next_handle_ = 1;
  QTreeWidgetItem* root_ = nullptr;
  bool settling_ = false;
};

}  // namespace tarvex
