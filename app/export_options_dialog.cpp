#include "app/export_options_dialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "output/export_run.h"

namespace tarvex {

ExportOptionsDialog::ExportOptionsDialog(QWidget* parent)
    : QDialog(parent),
      mail_(new QRadioButton(QStringLiteral("  Export Email Items"), this)),
      contacts_(new QRadioButton(QStringLiteral("  Export Contact Items"), this)),
      calendar_(new QRadioButton(QStringLiteral("  Export Calendar Items"), this)),
      all_(new QRadioButton(QStringLiteral("  Export All Items (Email, Contact && Calendar)"),
                            this)),
      include_deleted_(new QCheckBox(QStringLiteral("Include deleted items"), this)) {
  include_deleted_->setObjectName(QStringLiteral("includeDeleted"));
  include_deleted_->setToolTip(
      QStringLiteral("Items a deep scan found deleted are left out of the export unless checked"));
  setWindowTitle(QStringLiteral("Choose Export Options..."));
  all_->setChecked(true);
  auto* question =
      new QLabel(QStringLiteral("Please choose which Exchange mailbox items to export."), this);
  auto* export_button = new QPushButton(QStringLiteral("Export"), this);
  auto* cancel_button = new QPushButton(QStringLiteral("Cancel"), this);
  export_button->setDefault(true);
  connect(export_button, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_button, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(export_button);
  buttons->addWidget(cancel_button);
  auto* column = new QVBoxLayout(this);
  column->addWidget(question);
  for (QRadioButton* option : {mail_, contacts_, calendar_, all_}) column->addWidget(option);
  column->addSpacing(6);
  column->addWidget(include_deleted_);
  column->addLayout(buttons);
}

bool ExportOptionsDialog::IncludeDeleted() const { return include_deleted_->isChecked(); }

unsigned ExportOptionsDialog::ChosenKinds() const {
  if (mail_->isChecked()) return kExportMail;
  if (contacts_->isChecked()) return kExportContacts;
  if (calendar_->isChecked()) return kExportCalendar;
  return kExportAll;
}

}  // namespace tarvex
