#include "app/dialog_provider.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "app/export_options_dialog.h"
#include "app/qt_text.h"
#include "app/source_selection_dialog.h"
#include "mailbox/analysis.h"

namespace tarvex {

MessageAnswer QtDialogProvider::ShowMessage(QWidget* parent, const QString& text,
                                            MessageKind kind) {
  QMessageBox box(parent);
  box.setWindowTitle(ToQString(kApplicationTitle));
  box.setText(text);
  box.setWindowModality(Qt::ApplicationModal);
  switch (kind) {
    case MessageKind::kQuestion:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::No);
      return box.exec() == QMessageBox::Yes ? MessageAnswer::kYes : MessageAnswer::kNo;
    case MessageKind::kError:
      box.setIcon(QMessageBox::Critical);
      break;
    case MessageKind::kInformation:
      box.setIcon(QMessageBox::Information);
      break;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return MessageAnswer::kOk;
}

bool QtDialogProvider::RunSourceSelection(SourceSelectionDialog& dialog) {
  dialog.exec();
  return dialog.accepted_flag();
}

std::optional<QString> QtDialogProvider::ChooseDatabaseFile(QWidget* parent) {
  QFileDialog dialog(parent, QStringLiteral("Select Microsoft Exchange Database File..."));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(QStringLiteral("Microsoft Exchange Database File (*.edb)"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front();
}

std::optional<QString> QtDialogProvider::ChooseFolder(QWidget* parent, const QString& title) {
  QString folder = QFileDialog::getExistingDirectory(parent, title);
  if (folder.isEmpty()) return std::nullopt;
  return folder;
}

std::optional<QString> QtDialogProvider::ChooseSaveFile(QWidget* parent, const QString& file_name) {
  const QString start =
      QDir(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation)).filePath(file_name);
  QString target = QFileDialog::getSaveFileName(parent, QStringLiteral("Save Attachment"), start);
  if (target.isEmpty()) return std::nullopt;
  return target;
}

void QtDialogProvider::ShowAbout(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("About ") + ToQString(kApplicationTitle));
  auto* picture = new QLabel(&dialog);
  picture->setPixmap(QPixmap(QStringLiteral(":/icons/about.png")));
  auto* text = new QLabel(&dialog);
  text->setText(QStringLiteral("<b>%1</b> %2<br><br>Recovers mailboxes, folders and items from "
                               "Exchange database files (*.edb), read-only.")
                    .arg(ToQString(kApplicationTitle), QStringLiteral(TARVEX_VERSION)));
  text->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addWidget(picture, 0, Qt::AlignTop);
  row->addWidget(text, 1);
  auto* column = new QVBoxLayout(&dialog);
  column->addLayout(row);
  column->addWidget(buttons);
  dialog.setMinimumWidth(360);
  dialog.exec();
}

std::optional<ExportChoice> QtDialogProvider::ChooseExport(QWidget* parent) {
  ExportOptionsDialog dialog(parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return ExportChoice{dialog.ChosenKinds(), dialog.IncludeDeleted(), dialog.ChosenMailFormat()};
}

std::optional<EarlierExportChoice> QtDialogProvider::ChooseEarlierExport(QWidget* parent,
                                                                         const QString& folder) {
  QMessageBox box(parent);
  box.setWindowTitle(ToQString(kApplicationTitle));
  box.setIcon(QMessageBox::Question);
  box.setText(QStringLiteral("The folder %1 holds an earlier export.").arg(folder));
  box.setInformativeText(
      QStringLiteral("Replace removes the files of the earlier export first; Add adds the items "
                     "to them. Other files in the folder are left as they are."));
  QPushButton* replace = box.addButton(QStringLiteral("Replace"), QMessageBox::DestructiveRole);
  QPushButton* add = box.addButton(QStringLiteral("Add"), QMessageBox::AcceptRole);
  box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(QMessageBox::Cancel);
  box.exec();
  if (box.clickedButton() == replace) return EarlierExportChoice::kReplace;
  if (box.clickedButton() == add) return EarlierExportChoice::kAppend;
  return std::nullopt;
}

}  // namespace tarvex
