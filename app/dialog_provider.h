#pragma once

// Every modal question the window asks goes through this provider, so that the window can be
// driven without real modal loops: the program uses QtDialogProvider, tests answer themselves.

#include <QString>
#include <optional>

#include "base/window_port.h"
#include "output/export_run.h"

class QWidget;

namespace tarvex {

class SourceSelectionDialog;

// What "Choose Export Options..." chose.
struct ExportChoice {
  unsigned kinds = 0;            // export kinds (output/export_run.h)
  bool include_deleted = false;  // the deep scan's deleted items too
  ExportMailFormat mail_format = ExportMailFormat::kMbox;
};

class DialogProvider {
 public:
  virtual ~DialogProvider() = default;

  // Captioned with the program's title; Yes/No for questions, OK otherwise.
  virtual MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageKind kind) = 0;

  // Runs the source selection dialog; true when it ended with "Next...".
  virtual bool RunSourceSelection(SourceSelectionDialog& dialog) = 0;

  // The file-open dialog for the database; nothing when cancelled.
  virtual std::optional<QString> ChooseDatabaseFile(QWidget* parent) = 0;

  // The folder picker for the working folder; nothing when cancelled.
  virtual std::optional<QString> ChooseFolder(QWidget* parent, const QString& title) = 0;

  // Where to save an attachment, suggesting `file_name`; nothing when cancelled.
  virtual std::optional<QString> ChooseSaveFile(QWidget* parent, const QString& file_name) = 0;

  virtual void ShowAbout(QWidget* parent) = 0;

  // "Choose Export Options...": what was chosen, nothing when cancelled.
  virtual std::optional<ExportChoice> ChooseExport(QWidget* parent) = 0;

  // The output folder holds an earlier export: replace it or add to it; nothing when cancelled.
  virtual std::optional<EarlierExportChoice> ChooseEarlierExport(QWidget* parent,
                                                                 const QString& folder) = 0;
};

class QtDialogProvider : public DialogProvider {
 public:
  MessageAnswer ShowMessage(QWidget* parent, const QString& text, MessageKind kind) override;
  bool RunSourceSelection(SourceSelectionDialog& dialog) override;
  std::optional<QString> ChooseDatabaseFile(QWidget* parent) override;
  std::optional<QString> ChooseFolder(QWidget* parent, const QString& title) override;
  std::optional<QString> ChooseSaveFile(QWidget* parent, const QString& file_name) override;
  void ShowAbout(QWidget* parent) override;
  std::optional<ExportChoice> ChooseExport(QWidget* parent) override;
  std::optional<EarlierExportChoice> ChooseEarlierExport(QWidget* parent,
                                                         const QString& folder) override;
};

}  // namespace tarvex
