#pragma once

// "Choose Export Options...": which kinds of items Save Mailbox exports.

#include <QDialog>

#include "output/export_run.h"

class QCheckBox;
class QComboBox;
class QRadioButton;

namespace tarvex {

class ExportOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ExportOptionsDialog(QWidget* parent = nullptr);

  // The export kinds (output/export_run.h) of the chosen option.
  unsigned ChosenKinds() const;
  // Whether the items a deep scan found deleted are exported too.
  bool IncludeDeleted() const;
  // How mail is stored: an mbox per folder, a Maildir tree or .eml files.
  ExportMailFormat ChosenMailFormat() const;

 private:
  QRadioButton* mail_;
  QRadioButton* contacts_;
  QRadioButton* calendar_;
  QRadioButton* all_;
  QCheckBox* include_deleted_;
  QComboBox* mail_format_;
};

}  // namespace tarvex
