#include "app/folder_tree_widget.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

namespace tarvex {

namespace {

constexpr int kHandleRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;
// The node's own check mark as this control last set it; the box may already show a click.
constexpr int kCheckedRole = Qt::UserRole + 2;

// The image list in its fixed order; ChooseFolderIcon's indexes point into it.
constexpr std::array<const char*, FolderTreeWidget::kImageCount> kImageFiles = {
    ":/icons/folder.png",        ":/icons/database.png", ":/icons/mailbox.png",
    ":/icons/calendar.png",      ":/icons/contacts.png", ":/icons/deleted.png",
    ":/icons/drafts.png",        ":/icons/inbox.png",    ":/icons/journal.png",
    ":/icons/junk.png",          ":/icons/notes.png",    ":/icons/outbox.png",
    ":/icons/sent.png",          ":/icons/tasks.png",    ":/icons/sync-issues.png",
    ":/icons/search-folder.png",
};

constexpr int kItemCountRole = Qt::UserRole + 3;

// Draws a folder's item count in bold after its name, as mail programs do. The name's own bold
// stays the check mark of the branch.
class ItemCountDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    const QString count = CountText(index);
    if (count.isEmpty()) return;
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* widget = item.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    const QRect text_rect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    QFont bold = item.font;
    bold.setBold(true);
    const int name_width = QFontMetrics(item.font).horizontalAdvance(item.text);
    QRect count_rect =
        text_rect.adjusted(name_width + QFontMetrics(bold).horizontalAdvance(u' '), 0, 0, 0);
    count_rect.setWidth(QFontMetrics(bold).horizontalAdvance(count) + 2);
    painter->save();
    painter->setFont(bold);
    const bool selected = (item.state & QStyle::State_Selected) != 0;
    painter->setPen(item.palette.color(selected ? QPalette::HighlightedText : QPalette::Link));
    painter->drawText(count_rect, Qt::AlignLeft | Qt::AlignVCenter, count);
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString count = CountText(index);
    if (count.isEmpty()) return size;
    QFont bold = option.font;
    bold.setBold(true);
    size.rwidth() += QFontMetrics(bold).horizontalAdvance(u' ' + count) + 4;
    return size;
  }

 private:
  static QString CountText(const QModelIndex& index) {
    const qulonglong count = index.data(kItemCountRole).toULongLong();
    return count == 0 ? QString() : QStringLiteral("(%1)").arg(count);
  }
};

}  // namespace

FolderTreeWidget::FolderTreeWidget(QWidget* parent) : QTreeWidget(parent) {
  for (std::size_t i = 0; i < images_.size(); ++i) {
    images_[i] = QIcon(QString::fromLatin1(kImageFiles[i]));
  }
  setColumnCount(1);
  header()->hide();
  setItemDelegate(new ItemCountDelegate(this));
  setIconSize(QSize(16, 16));
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QTreeWidget::itemChanged, this, &FolderTreeWidget::OnItemChanged);
}

TreeNodeHandle FolderTreeWidget::AddNode(TreeNodeHandle parent, const QString& text, int image) {
  QTreeWidgetItem* parent_item = parent == kTopOfTree ? nullptr : Item(parent);
  if (parent != kTopOfTree && parent_item == nullptr) parent_item = root_;
  if (image < 0 || image >= kImageCount) image = 0;
  const TreeNodeHandle handle = next_handle_++;
  auto* item = new QTreeWidgetItem;
  item->setText(0, text);
  item->setIcon(0, images_[static_cast<std::size_t>(image)]);
  item->setData(0, kHandleRole, QVariant::fromValue<qulonglong>(handle));
  item->setData(0, kImageRole, image);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  settling_ = true;
  item->setData(0, kCheckedRole, false);
  item->setCheckState(0, Qt::Unchecked);
  if (parent_item == nullptr) {
    addTopLevelItem(item);
    root_ = item;
  } else {
    parent_item->addChild(item);
  }
  settling_ = false;
  nodes_.emplace(handle, item);
  if (root_ != nullptr) root_->setExpanded(true);
  return handle;
}

void FolderTreeWidget::DeleteAllNodes() {
  settling_ = true;
  clear();
  settling_ = false;
  nodes_.clear();
  root_ = nullptr;
}

QTreeWidgetItem* FolderTreeWidget::Item(TreeNodeHandle node) const {
  auto found = nodes_.find(node);
  return found == nodes_.end() ? nullptr : found->second;
}

TreeNodeHandle FolderTreeWidget::Handle(const QTreeWidgetItem* item) const {
  return item == nullptr ? kTopOfTree : item->data(0, kHandleRole).value<qulonglong>();
}

int FolderTreeWidget::ImageOf(const QTreeWidgetItem* item) const {
  return item->data(0, kImageRole).toInt();
}

void FolderTreeWidget::SetItemCount(TreeNodeHandle node, std::size_t count) {
  QTreeWidgetItem* item = Item(node);
  if (item == nullptr) return;
  settling_ = true;
  item->setData(0, kItemCountRole, QVariant::fromValue<qulonglong>(count));
  settling_ = false;
}

std::size_t FolderTreeWidget::ItemCountOf(const QTreeWidgetItem* item) {
  return item->data(0, kItemCountRole).toULongLong();
}

bool FolderTreeWidget::IsChecked(const QTreeWidgetItem* item) {
  return item->data(0, kCheckedRole).toBool();
}

bool FolderTreeWidget::IsBold(const QTreeWidgetItem* item) {
  return item->font(0).bold();
}

void FolderTreeWidget::SetBold(QTreeWidgetItem* item, bool bold) {
  QFont font = item->font(0);
  if (font.bold() == bold) return;
  font.setBold(bold);
  item->setFont(0, font);
}

void FolderTreeWidget::SetChecked(QTreeWidgetItem* item, bool checked) {
  item->setData(0, kCheckedRole, checked);
  item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
  SetBold(item, checked);
}

void FolderTreeWidget::SetCheckedWithDescendants(QTreeWidgetItem* item, bool checked) {
  SetChecked(item, checked);
  for (int i = 0; i < item->childCount(); ++i) SetCheckedWithDescendants(item->child(i), checked);
}

void FolderTreeWidget::ToggleCheck(QTreeWidgetItem* item) {
  if (item == nullptr) return;
  settling_ = true;
  const bool was_checked = IsChecked(item);
  SetCheckedWithDescendants(item, !was_checked);
  for (QTreeWidgetItem* ancestor = item->parent(); ancestor != nullptr;
       ancestor = ancestor->parent()) {
    bool all_checked = true;
    for (int i = 0; i < ancestor->childCount(); ++i) all_checked &= IsChecked(ancestor->child(i));
    SetChecked(ancestor, all_checked);
  }
  for (QTreeWidgetItem* ancestor = item->parent(); ancestor != nullptr;
       ancestor = ancestor->parent()) {
    bool bold_child = false;
    for (int i = 0; i < ancestor->childCount(); ++i) bold_child |= IsBold(ancestor->child(i));
    SetBold(ancestor, bold_child);
  }
  settling_ = false;
}

void FolderTreeWidget::OnItemChanged(QTreeWidgetItem* item, int column) {
  if (settling_ || column != 0) return;
  // Only the user's click on the box gets here; every change of ours is made while settling.
  if ((item->checkState(0) == Qt::Checked) == IsChecked(item)) return;
  ToggleCheck(item);
}

}  // namespace tarvex
