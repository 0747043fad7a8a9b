#include "app/export_options_dialog.h"

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
                            this)) {
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
  column->addLayout(buttons);
}

unsigned ExportOptionsDialog::ChosenKinds() const {
  if (mail_->isChecked()) return kExportMail;
  if (contacts_->isChecked()) return kExportContacts;
  if (calendar_->isChecked()) return kExportCalendar;
  return kExportAll;
}

}  // namespace tarvex
