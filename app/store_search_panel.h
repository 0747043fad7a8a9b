#pragma once

// The store-wide search: the conditions `tarvex search` takes, in a form, and the items found,
// listed as they come. The panel only asks; the main window runs the search on a worker and
// opens an activated result in its folder.

#include <QString>
#include <QWidget>
#include <cstddef>
#include <optional>
#include <vector>

#include "base/window_port.h"
#include "mailbox/item_search.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace tarvex {

// The conditions as the user gave them: texts as typed, dates as "YYYY-MM-DD" (empty when not
// given), the kind as `list` names it (empty for any kind).
struct StoreSearchForm {
  QString from;
  QString to;
  QString subject;
  QString body;
  QString after;
  QString before;
  QString kind;
  bool has_attachment = false;
  bool regex = false;
};

// The core's conditions for the form; none when a text is not a regular expression (with the
// regular-expression box checked), `problem` then says which and why.
std::optional<SearchConditions> SearchConditionsOf(const StoreSearchForm& form, QString* problem);

// One item found: where it is and how the folder's list numbers it.
struct StoreSearchResult {
  TreeNodeHandle folder = kTopOfTree;
  std::size_t position = 0;  // 1-based, in the order a selection of the folder lists it
  QString message_id;        // the list row's first column, to check the row found is this one
};

class StoreSearchPanel : public QWidget {
  Q_OBJECT

 public:
  explicit StoreSearchPanel(QWidget* parent = nullptr);

  StoreSearchForm form() const;

  // Forgets the results (of a store no longer open).
  void Clear();
  // A new search starts with an empty result list.
  void OnSearchStarted();
  // `folder_path` as `tarvex search` prints it; `cells` the item's list row.
  void AddResult(const StoreSearchResult& result, const QString& folder_path,
                 const std::vector<QString>& cells);
  // `stopped`: ended by the Stop button before it had looked everywhere.
  void OnSearchFinished(bool stopped);
  // Search is offered only while the window can run it (a store is open and no other work runs).
  void SetSearchAllowed(bool allowed);
  bool searching() const { return searching_; }

  const std::vector<StoreSearchResult>& results() const { return results_; }
  // The result shown in the list's row `row`.
  const StoreSearchResult& result(int row) const {
    return results_.at(static_cast<std::size_t>(row));
  }

  QLineEdit* from_edit() const { return from_edit_; }
  QLineEdit* to_edit() const { return to_edit_; }
  QLineEdit* subject_edit() const { return subject_edit_; }
  QLineEdit* body_edit() const { return body_edit_; }
  QCheckBox* after_box() const { return after_box_; }
  QDateEdit* after_edit() const { return after_edit_; }
  QCheckBox* before_box() const { return before_box_; }
  QDateEdit* before_edit() const { return before_edit_; }
  QComboBox* kind_box() const { return kind_box_; }
  QCheckBox* attachment_box() const { return attachment_box_; }
  QCheckBox* regex_box() const { return regex_box_; }
  QPushButton* search_button() const { return search_button_; }
  QPushButton* stop_button() const { return stop_button_; }
  QTreeWidget* result_list() const { return result_list_; }
  QLabel* summary_label() const { return summary_; }

 signals:
  void SearchRequested();
  void StopRequested();
  // The user activated (double-click or Enter, as the desktop has it) the result of `row`.
  void ResultActivated(int row);
  void SearchFinished(int found);
  void SearchAllowedChanged(bool allowed);

 private:
  void BuildForm();
  void UpdateButtons();
  void ShowCount(const QString& state);

  QLineEdit* from_edit_ = nullptr;
  QLineEdit* to_edit_ = nullptr;
  QLineEdit* subject_edit_ = nullptr;
  QLineEdit* body_edit_ = nullptr;
  QCheckBox* after_box_ = nullptr;
  QDateEdit* after_edit_ = nullptr;
  QCheckBox* before_box_ = nullptr;
  QDateEdit* before_edit_ = nullptr;
  QComboBox* kind_box_ = nullptr;
  QCheckBox* attachment_box_ = nullptr;
  QCheckBox* regex_box_ = nullptr;
  QPushButton* search_button_ = nullptr;
  QPushButton* stop_button_ = nullptr;
  QTreeWidget* result_list_ = nullptr;
  QLabel* summary_ = nullptr;

  std::vector<StoreSearchResult> results_;
  bool searching_ = false;
  bool allowed_ = false;
};

}  // namespace tarvex
