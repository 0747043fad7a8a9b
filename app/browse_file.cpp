#include "app/browse_file.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <system_error>

#include "app/dialog_provider.h"
#include "app/qt_text.h"

namespace tarvex {

browsefile::browsefile(SourceSelection& selection, DialogProvider& dialogs, QWidget* parent)
    : QDialog(parent),
      m_selection(selection),
      m_dialogs(dialogs),
      m_database_edit(new QLineEdit(this)),
      m_working_folder_edit(new QLineEdit(this)) {
  setWindowTitle(QStringLiteral("File Open Dialog"));
  auto* heading = new QLabel(QStringLiteral("Please Select Exchange Database (*.edb) File"), this);
  QFont heading_font = heading->font();
  heading_font.setBold(true);
  heading->setFont(heading_font);

  m_database_edit->setReadOnly(true);
  m_database_edit->setEnabled(false);
  m_working_folder_edit->setReadOnly(true);
  m_working_folder_edit->setEnabled(false);
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
  grid->addWidget(m_database_edit, 0, 1);
  grid->addWidget(browse, 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("Temp file location"), this), 1, 0);
  grid->addWidget(m_working_folder_edit, 1, 1);
  grid->addWidget(select_folder, 1, 2);
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
  resize(620, 190);

  connect(browse, &QPushButton::clicked, this, &browsefile::OnBrowse);
  connect(select_folder, &QPushButton::clicked, this, &browsefile::OnSelectTempFolder);
  connect(next, &QPushButton::clicked, this, &browsefile::OnNext);
  connect(cancel, &QPushButton::clicked, this, &browsefile::reject);
}

void browsefile::UseDefaultWorkingFolder() {
  std::error_code error;
  m_selection.system_temporary_folder = std::filesystem::temp_directory_path(error);
  if (error) m_selection.system_temporary_folder = "/tmp";
  m_selection.working_folder = m_selection.system_temporary_folder / "Tarvex";
}

void browsefile::OnBrowse() {
  std::optional<QString> chosen = m_dialogs.ChooseDatabaseFile(this);
  if (!chosen) return;
  m_selection.database = ToPath(*chosen);
  m_database_edit->setText(*chosen);
  UseDefaultWorkingFolder();
  m_working_folder_edit->setText(PathToQString(m_selection.working_folder));
}

void browsefile::OnSelectTempFolder() {
  std::optional<QString> chosen =
      m_dialogs.ChooseFolder(this, QStringLiteral("Select the Temp Path"));
  if (!chosen) return;
  if (chosen->isEmpty()) {
    UseDefaultWorkingFolder();
  } else {
    m_selection.working_folder = ToPath(*chosen) / "TarvexTemp";
  }
  m_working_folder_edit->setText(PathToQString(m_selection.working_folder));
}

void browsefile::OnNext() {
  m_selection.accepted = true;
  std::error_code error;
  if (m_selection.database.empty() || !std::filesystem::exists(m_selection.database, error)) {
    m_dialogs.ShowMessage(this, QStringLiteral("Please select valid file"), MessageKind::kError);
    return;
  }
  // Nothing was ever chosen for the pages: they still need a home.
  if (m_selection.working_folder.empty()) UseDefaultWorkingFolder();
  accept();
}

void browsefile::reject() {
  m_selection.accepted = false;
  QDialog::reject();
}

}  // namespace tarvex
