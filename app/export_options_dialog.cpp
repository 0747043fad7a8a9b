#include "app/export_options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tarvex {

ExportOptionsDialog::ExportOptionsDialog(QWidget* parent)
    : QDialog(parent),
      mail_(new QRadioButton(QStringLiteral("  Export Email Items"), this)),
      contacts_(new QRadioButton(QStringLiteral("  Export Contact Items"), this)),
      calendar_(new QRadioButton(QStringLiteral("  Export Calendar Items"), this)),
      all_(new QRadioButton(QStringLiteral("  Export All Items (Email, Contact && Calendar)"),
                            this)),
      include_deleted_(new QCheckBox(QStringLiteral("Include deleted items"), this)),
      mail_format_(new QComboBox(this)) {
  mail_format_->setObjectName(QStringLiteral("mailFormat"));
  // The data is the format's name, as `tarvex export --format` takes it.
  mail_format_->addItem(QStringLiteral("mbox (one mail.mbox per folder)"), QStringLiteral("mbox"));
  mail_format_->addItem(QStringLiteral("Maildir (a folder tree for mutt, Dovecot)"),
                        QStringLiteral("maildir"));
  mail_format_->addItem(QStringLiteral(".eml (one file per message)"), QStringLiteral("eml"));
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
  auto* format_row = new QHBoxLayout;
  auto* format_label = new QLabel(QStringLiteral("Save mail as:"), this);
  format_label->setBuddy(mail_format_);
  format_row->addWidget(format_label);
  format_row->addWidget(mail_format_, 1);
  column->addLayout(format_row);
  column->addLayout(buttons);
}

ExportMailFormat ExportOptionsDialog::ChosenMailFormat() const {
  return ExportMailFormatFromText(mail_format_->currentData().toString().toStdString())
      .value_or(ExportMailFormat::kMbox);
}


bool ExportOptionsDialog::IncludeDeleted() const { return include_deleted_->isChecked(); }

unsigned ExportOptionsDialog::ChosenKinds() const {
  if (mail_->isChecked()) return kExportMail;
  if (contacts_->isChecked()) return kExportContacts;
  if (calendar_->isChecked()) return kExportCalendar;
  return kExportAll;
}

}  // namespace tarvex
