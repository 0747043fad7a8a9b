#pragma once

// Answers the window's dialogs without modal loops and remembers what was asked.

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "app/dialog_provider.h"
#include "app/source_selection_dialog.h"

namespace tarvex::testing {

struct AskedMessage {
  QString text;
  MessageKind kind;
};

class FakeDialogs : public DialogProvider {
 public:
  MessageAnswer ShowMessage(QWidget*, const QString& text, MessageKind kind) override {
    messages.push_back({text, kind});
    if (kind != MessageKind::kQuestion) return MessageAnswer::kOk;
    if (answers.empty()) return MessageAnswer::kYes;
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }

  bool RunSourceSelection(SourceSelectionDialog& dialog) override {
    ++source_selections;
    if (!select_source) {
      dialog.reject();
    } else {
      select_source(dialog);
    }
    return dialog.accepted_flag();
  }

  std::optional<QString> ChooseDatabaseFile(QWidget*) override { return database_choice; }
  std::optional<QString> ChooseFolder(QWidget*, const QString&) override { return folder_choice; }
  std::optional<QString> ChooseSaveFile(QWidget*, const QString& file_name) override {
    save_suggestions.push_back(file_name);
    return save_choice;
  }
  void ShowAbout(QWidget*) override {}
  std::optional<ExportChoice> ChooseExport(QWidget*) override {
    if (!export_kinds) return std::nullopt;
    return ExportChoice{*export_kinds, include_deleted, mail_format};
  }
  std::optional<EarlierExportChoice> ChooseEarlierExport(QWidget*, const QString& folder) override {
    earlier_export_folders.push_back(folder);
    return earlier_export;
  }

  bool WasShown(const QString& text) const {
    for (const AskedMessage& message : messages) {
      if (message.text == text) return true;
    }
    return false;
  }

  std::vector<AskedMessage> messages;
  std::deque<MessageAnswer> answers;
  // Drives the source selection dialog; without it the dialog is cancelled.
  std::function<void(SourceSelectionDialog&)> select_source;
  int source_selections = 0;
  std::optional<QString> database_choice;
  std::optional<QString> folder_choice;
  std::optional<QString> save_choice;
  std::vector<QString> save_suggestions;
  std::optional<unsigned> export_kinds;
  bool include_deleted = false;
  ExportMailFormat mail_format = ExportMailFormat::kMbox;
  // The answer when the output folder holds an earlier export; none cancels.
  std::optional<EarlierExportChoice> earlier_export;
  std::vector<QString> earlier_export_folders;  // the folders it was asked about
};

}  // namespace tarvex::testing
