#pragma once

// The cells of the item list: what they show, how they sort and what the search box matches.
// A cell keeps the core's text of its column (the preview reads it back), even where it shows
// an icon instead, as the "Att" column does.

#include <QIcon>
#include <QString>
#include <QTableWidgetItem>
#include <cstddef>

class QTableWidget;

namespace tarvex {

// The list's visible columns, by position in the core's row.
inline constexpr int kFromColumn = 4;
inline constexpr int kSubjectColumn = 5;
inline constexpr int kDateColumn = 6;
inline constexpr int kAttachmentColumn = 7;
inline constexpr int kToColumn = 8;
inline constexpr int kCcColumn = 9;
inline constexpr int kBccColumn = 10;

class ItemCell : public QTableWidgetItem {
 public:
  // `attachment_icon` marks an item with attachments in the "Att" column.
  ItemCell(int column, const QString& text, const QIcon& attachment_icon);

  // The core's text of the cell.
  QString value() const;

  // Dates as dates, numbers as numbers, the rest as words in the user's language.
  bool operator<(const QTableWidgetItem& other) const override;
};

// The core's text of a cell; empty for a missing one.
QString CellValue(const QTableWidget& list, int row, int column);

// True when the sender, subject or a recipient of the row holds `needle` in any letter case.
// `needle` is case-folded already (QString::toCaseFolded); an empty one matches every row.
bool RowMatches(const QTableWidget& list, int row, const QString& folded_needle);

// Marks every row with its place in the list as the core filled it (1-based, as `tarvex list`
// numbers the items), which sorting the list does not change.
void MarkListPositions(QTableWidget& list);
// The row marked with `position`; -1 when there is none.
int RowAtListPosition(const QTableWidget& list, std::size_t position);

// The paper clip of the icon theme, or one drawn here when the theme has none.
QIcon AttachmentIcon();

}  // namespace tarvex
