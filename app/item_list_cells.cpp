#include "app/item_list_cells.h"

#include <QCollator>
#include <QDateTime>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTableWidget>
#include <array>

namespace tarvex {
namespace {

constexpr int kValueRole = Qt::UserRole;
constexpr int kSortKeyRole = Qt::UserRole + 1;
constexpr int kListPositionRole = Qt::UserRole + 2;

// The item list's dates, as the core writes them ("Jan,05 2010 09:03:07").
QVariant DateKey(const QString& text) {
  const QDateTime date =
      QDateTime::fromString(text.simplified(), QStringLiteral("MMM,dd yyyy HH:mm:ss"));
  return date.isValid() ? QVariant(date) : QVariant();
}

QVariant NumberKey(const QString& text) {
  bool is_number = false;
  const double number = text.trimmed().toDouble(&is_number);
  return is_number ? QVariant(number) : QVariant();
}

QIcon DrawnPaperClip() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QPen pen(QColor(0x44, 0x44, 0x44), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.setPen(pen);
  QPainterPath clip;
  clip.moveTo(20, 9);
  clip.lineTo(20, 23);
  clip.arcTo(11, 18, 9, 10, 0, -180);
  clip.lineTo(11, 7);
  clip.arcTo(11, 2, 12, 10, 180, -180);
  clip.lineTo(23, 24);
  clip.arcTo(8, 17, 15, 13, 0, -180);
  clip.lineTo(8, 10);
  painter.drawPath(clip);
  return QIcon(pixmap);
}

}  // namespace

ItemCell::ItemCell(int column, const QString& text, const QIcon& attachment_icon) {
  setData(kValueRole, text);
  if (column == kAttachmentColumn) {
    // The flag is the core's "true" or "false"; the list shows a paper clip for items with
    // attachments and nothing for the others.
    const bool attached = text == QStringLiteral("true");
    if (attached) setIcon(attachment_icon);
    setToolTip(attached ? QStringLiteral("Has attachments") : QString());
    setData(kSortKeyRole, attached ? 1 : 0);
    return;
  }
  setText(text);
  QVariant key = column == kDateColumn ? DateKey(text) : NumberKey(text);
  if (key.isValid()) setData(kSortKeyRole, key);
}

QString ItemCell::value() const {
  return data(kValueRole).toString();
}

bool ItemCell::operator<(const QTableWidgetItem& other) const {
  const QVariant key = data(kSortKeyRole);
  const QVariant other_key = other.data(kSortKeyRole);
  if (key.isValid() && other_key.isValid() && key.metaType() == other_key.metaType()) {
    return QVariant::compare(key, other_key) == QPartialOrdering::Less;
  }
  // A cell with a key (a real date) goes before one without (an empty or unreadable date).
  if (key.isValid() != other_key.isValid()) return key.isValid();
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  return collator.compare(text(), other.text()) < 0;
}

QString CellValue(const QTableWidget& list, int row, int column) {
  const QTableWidgetItem* cell = list.item(row, column);
  if (cell == nullptr) return QString();
  const QVariant value = cell->data(kValueRole);
  return value.isValid() ? value.toString() : cell->text();
}

bool RowMatches(const QTableWidget& list, int row, const QString& folded_needle) {
  if (folded_needle.isEmpty()) return true;
  constexpr std::array<int, 5> kSearchedColumns = {kFromColumn, kSubjectColumn, kToColumn,
                                                   kCcColumn, kBccColumn};
  for (int column : kSearchedColumns) {
    if (CellValue(list, row, column).toCaseFolded().contains(folded_needle)) return true;
  }
  return false;
}

void MarkListPositions(QTableWidget& list) {
  for (int row = 0; row < list.rowCount(); ++row) {
    if (QTableWidgetItem* cell = list.item(row, 0)) {
      cell->setData(kListPositionRole, QVariant::fromValue<qulonglong>(row + 1));
    }
  }
}

int RowAtListPosition(const QTableWidget& list, std::size_t position) {
  for (int row = 0; row < list.rowCount(); ++row) {
    const QTableWidgetItem* cell = list.item(row, 0);
    if (cell != nullptr && cell->data(kListPositionRole).toULongLong() == position) return row;
  }
  return -1;
}

QIcon AttachmentIcon() {
  return QIcon::fromTheme(QStringLiteral("mail-attachment"), DrawnPaperClip());
}

}  // namespace tarvex
