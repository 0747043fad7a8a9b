#pragma once

// "Choose Export Options...": which kinds of items Save Mailbox exports.

#include <QDialog>

class QRadioButton;

namespace tarvex {

class ExportOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ExportOptionsDialog(QWidget* parent = nullptr);

  // The export kinds (output/export_run.h) of the chosen option.
  unsigned ChosenKinds() const;

 private:
  QRadioButton* mail_;
  QRadioButton* contacts_;
  QRadioButton* calendar_;
  QRadioButton* all_;
};

}  // namespace tarvex
