#include "app/export_options.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "output/export_run.h"

namespace tarvex {

ExportOptionsDialog::ExportOptionsDialog(QWidget* parent)
    : QDialog(parent),
      m_mail(new QRadioButton(QStringLiteral("  Export Email Items"), this)),
      m_contacts(new QRadioButton(QStringLiteral("  Export Contact Items"), this)),
      m_calendar(new QRadioButton(QStringLiteral("  Export Calendar Items"), this)),
      m_all(new QRadioButton(QStringLiteral("  Export All Items (Email, Contact && Calender)"),
                             this)) {
  setWindowTitle(QStringLiteral("Choose Export Options.."));
  m_all->setChecked(true);
  auto* question = new QLabel(
      QStringLiteral("Please select your appropriate option to export exchange mailbox items.."),
      this);
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
  for (QRadioButton* option : {m_mail, m_contacts, m_calendar, m_all}) column->addWidget(option);
  column->addLayout(buttons);
}

unsigned ExportOptionsDialog::ChosenKinds() const {
  if (m_mail->isChecked()) return kExportMail;
  if (m_contacts->isChecked()) return kExportContacts;
  if (m_calendar->isChecked()) return kExportCalendar;
  return kExportAll;
}

}  // namespace tarvex
