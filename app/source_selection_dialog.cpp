#include "app/source_selection_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>
#include <QVBoxLayout>
#include <system_error>

#include "app/dialog_provider.h"
#include "app/qt_text.h"
#include "base/private_folder.h"

namespace tarvex {

SourceSelectionDialog::SourceSelectionDialog(SourceSelection& selection, DialogProvider& dialogs,
                                             QWidget* parent)
    : QDialog(parent),
      selection_(selection),
      dialogs_(dialogs),
      database_edit_(new QLineEdit(this)),
      working_folder_edit_(new QLineEdit(this)),
      quick_scan_(new QRadioButton(QStringLiteral("Quick: what the tables hold"), this)),
      deep_scan_(new QRadioButton(
          QStringLiteral("Deep: every page, also damaged and deleted items (slower)"), this)) {
  setWindowTitle(QStringLiteral("File Open Dialog"));
  auto* heading =
      new QLabel(QStringLiteral("Please select an Exchange database (*.edb) file"), this);
  QFont heading_font = heading->font();
  heading_font.setBold(true);
  heading->setFont(heading_font);

  database_edit_->setPlaceholderText(QStringLiteral("Type, paste or browse for the .edb file"));
  working_folder_edit_->setPlaceholderText(QStringLiteral("The default folder"));
  auto* browse = new QPushButton(QStringLiteral("Browse"), this);
  auto* select_folder = new QPushButton(QStringLiteral("Select temp folder"), this);
  auto* next = new QPushButton(QStringLiteral("Next..."), this);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  next->setDefault(true);
  browse->setObjectName(QStringLiteral("browseDatabase"));
  select_folder->setObjectName(QStringLiteral("selectTempFolder"));
  next->setObjectName(QStringLiteral("next"));
  cancel->setObjectName(QStringLiteral("cancel"));

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Select Exchange Database"), this), 0, 0);
  grid->addWidget(database_edit_, 0, 1);
  grid->addWidget(browse, 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("Temp file location"), this), 1, 0);
  grid->addWidget(working_folder_edit_, 1, 1);
  grid->addWidget(select_folder, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Scan"), this), 2, 0);
  auto* scans = new QVBoxLayout;
  scans->addWidget(quick_scan_);
  scans->addWidget(deep_scan_);
  grid->addLayout(scans, 2, 1);
  quick_scan_->setObjectName(QStringLiteral("quickScan"));
  deep_scan_->setObjectName(QStringLiteral("deepScan"));
  (selection_.deep_scan ? deep_scan_ : quick_scan_)->setChecked(true);
  grid->setColumnStretch(1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(next);
  buttons->addWidget(cancel);
  auto* column = new QVBoxLayout(this);
  column->addWidget(heading);
  column->addSpacing(8);
  column->addLayout(grid);
  column->addSpacing(8);
  column->addLayout(buttons);
  resize(620, 240);

  connect(browse, &QPushButton::clicked, this, &SourceSelectionDialog::OnBrowse);
  connect(select_folder, &QPushButton::clicked, this, &SourceSelectionDialog::OnSelectTempFolder);
  connect(next, &QPushButton::clicked, this, &SourceSelectionDialog::OnNext);
  connect(cancel, &QPushButton::clicked, this, &SourceSelectionDialog::reject);
}

void UseDefaultWorkingFolder(SourceSelection& selection) {
  selection.working_folder_parent = UserWorkingFolderParent();
  selection.working_folder = selection.working_folder_parent / "Tarvex";
}

std::filesystem::path TypedPath(const QString& text) {
  QString path = text.trimmed();
  for (const QChar quote : {QLatin1Char('"'), QLatin1Char('\'')}) {
    if (path.size() >= 2 && path.startsWith(quote) && path.endsWith(quote)) {
      path = path.mid(1, path.size() - 2);
    }
  }
  if (path.startsWith(QStringLiteral("file:"))) path = QUrl(path).toLocalFile();
  return ToPath(path);
}

void SourceSelectionDialog::OnBrowse() {
  std::optional<QString> chosen = dialogs_.ChooseDatabaseFile(this);
  if (!chosen) return;
  selection_.database = ToPath(*chosen);
  database_edit_->setText(*chosen);
  UseDefaultWorkingFolder(selection_);
  working_folder_edit_->setText(PathToQString(selection_.working_folder));
}

void SourceSelectionDialog::OnSelectTempFolder() {
  std::optional<QString> chosen =
      dialogs_.ChooseFolder(this, QStringLiteral("Select the Temp Path"));
  if (!chosen) return;
  if (chosen->isEmpty()) {
    UseDefaultWorkingFolder(selection_);
  } else {
    selection_.working_folder = ToPath(*chosen) / "TarvexTemp";
  }
  working_folder_edit_->setText(PathToQString(selection_.working_folder));
}

void SourceSelectionDialog::OnNext() {
  selection_.accepted = true;
  selection_.deep_scan = deep_scan_->isChecked();
  // What the fields hold now, typed or chosen; an empty field keeps the previous choice.
  if (!database_edit_->text().trimmed().isEmpty()) {
    selection_.database = TypedPath(database_edit_->text());
  }
  if (!working_folder_edit_->text().trimmed().isEmpty()) {
    selection_.working_folder = TypedPath(working_folder_edit_->text());
  }
  std::error_code error;
  if (selection_.database.empty() ||
      !std::filesystem::is_regular_file(selection_.database, error)) {
    dialogs_.ShowMessage(this, QStringLiteral("Please select a valid file"), MessageKind::kError);
    return;
  }
  // Nothing was ever chosen for the pages: they still need a home.
  if (selection_.working_folder.empty()) UseDefaultWorkingFolder(selection_);
  accept();
}

void SourceSelectionDialog::reject() {
  selection_.accepted = false;
  QDialog::reject();
}

}  // namespace tarvex
