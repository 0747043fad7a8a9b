#pragma once

// The source selection dialog: the database file and the working folder of the next run.

#include <QDialog>
#include <filesystem>

class QLineEdit;
class QRadioButton;
class QPushButton;

namespace tarvex {

class DialogProvider;

// What the dialog chose; kept by the main window from one use of the dialog to the next.
struct SourceSelection {
  std::filesystem::path database;
  std::filesystem::path working_folder;
  // Where the default working folder is made: the user's own cache folder, not a shared one.
  std::filesystem::path working_folder_parent;
  // The deep scan reads every page: slower, and it finds what the tables' trees no longer
  // reach (damaged stores) and deleted items.
  bool deep_scan = false;
  bool accepted = false;
};

// The default working folder: "Tarvex" in the user's own cache folder.
void UseDefaultWorkingFolder(SourceSelection& selection);

// The path a user typed or pasted: blanks and enclosing quotes dropped, a file: URL (as file
// managers paste) made a local path.
std::filesystem::path TypedPath(const QString& text);

class SourceSelectionDialog : public QDialog {
  Q_OBJECT

 public:
  SourceSelectionDialog(SourceSelection& selection, DialogProvider& dialogs,
                        QWidget* parent = nullptr);

  bool accepted_flag() const { return selection_.accepted; }

  // The buttons' commands, public so that the dialog can be driven without a modal loop.
  void OnBrowse();
  void OnSelectTempFolder();
  void OnNext();
  void reject() override;

  QLineEdit* database_edit() const { return database_edit_; }
  QLineEdit* working_folder_edit() const { return working_folder_edit_; }
  QRadioButton* deep_scan_button() const { return deep_scan_; }

 private:
  SourceSelection& selection_;
  DialogProvider& dialogs_;
  QLineEdit* database_edit_;
  QLineEdit* working_folder_edit_;
  QRadioButton* quick_scan_;
  QRadioButton* deep_scan_;
};

}  // namespace tarvex
