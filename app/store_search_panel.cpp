#include "app/store_search_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <array>

#include "app/item_list_cells.h"
#include "app/qt_text.h"
#include "mailbox/item_extraction.h"

namespace tarvex {
namespace {

// The kinds `list` shows, as a reader names them.
struct KindChoice {
  const char* shown;
  const char* kind;
};
constexpr std::array<KindChoice, 9> kKindChoices = {{
    {"Any kind", ""},
    {"Mail", "mail"},
    {"Appointment", "appointment"},
    {"Contact", "contact"},
    {"Distribution list", "distlist"},
    {"Task", "task"},
    {"Note", "notes"},
    {"Journal entry", "activity"},
    {"RSS item", "rss"},
}};

// A kind as the kind box names it; an unmapped message class as it is.
QString KindName(const QString& kind) {
  for (const KindChoice& choice : kKindChoices) {
    if (!kind.isEmpty() && kind == QLatin1String(choice.kind)) {
      return QString::fromLatin1(choice.shown);
    }
  }
  return kind;
}

enum ResultColumn {
  kFolderResult,
  kNumberResult,
  kKindResult,
  kFromResult,
  kSubjectResult,
  kDateResult,
  kResultColumnCount
};

QLineEdit* TextCondition(QWidget* parent, const QString& placeholder) {
  auto* edit = new QLineEdit(parent);
  edit->setPlaceholderText(placeholder);
  edit->setClearButtonEnabled(true);
  return edit;
}

// A label and its field in the form's grid; the label's shortcut moves to the field. The field
// goes into the grid inside `box` when one is given.
void AddField(QGridLayout& grid, int row, int column, const QString& label, QWidget* field,
              QLayout* box = nullptr) {
  auto* caption = new QLabel(label);
  caption->setBuddy(field);
  grid.addWidget(caption, row, column, Qt::AlignRight | Qt::AlignVCenter);
  if (box != nullptr) {
    grid.addLayout(box, row, column + 1);
  } else {
    grid.addWidget(field, row, column + 1);
  }
}

// A date bound: a check box that turns it on and the date, picked from a calendar.
QDateEdit* DateCondition(QWidget* parent, QCheckBox* box) {
  auto* edit = new QDateEdit(QDate::currentDate(), parent);
  edit->setCalendarPopup(true);
  edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  edit->setEnabled(false);
  QObject::connect(box, &QCheckBox::toggled, edit, &QWidget::setEnabled);
  return edit;
}

}  // namespace

std::optional<SearchConditions> SearchConditionsOf(const StoreSearchForm& form, QString* problem) {
  SearchConditions conditions;
  const TextMatchMode mode = form.regex ? TextMatchMode::kRegex : TextMatchMode::kPart;
  const std::pair<const QString*, std::optional<TextMatch>*> texts[] = {
      {&form.from, &conditions.from},
      {&form.to, &conditions.to},
      {&form.subject, &conditions.subject},
      {&form.body, &conditions.body}};
  for (const auto& [given, match] : texts) {
    if (given->isEmpty()) continue;
    std::u16string error;
    *match = TextMatch::Make(ToU16String(*given), mode, &error);
    if (!*match) {
      *problem =
          QStringLiteral("\"%1\" is not a regular expression: %2").arg(*given, ToQString(error));
      return std::nullopt;
    }
  }
  if (!form.kind.isEmpty()) {
    conditions.kind = TextMatch::Make(ToU16String(form.kind), TextMatchMode::kWholeText);
  }
  // The form's dates are whole days, which the core takes as they are.
  if (!form.after.isEmpty())
    conditions.after = SearchDateBound(form.after.toStdString()).value_or("");
  if (!form.before.isEmpty()) {
    conditions.before = SearchDateBound(form.before.toStdString()).value_or("");
  }
  conditions.has_attachment = form.has_attachment;
  return conditions;
}

StoreSearchPanel::StoreSearchPanel(QWidget* parent) : QWidget(parent) {
  BuildForm();
  UpdateButtons();
}

void StoreSearchPanel::BuildForm() {
  from_edit_ = TextCondition(this, QStringLiteral("Sender's name or address"));
  to_edit_ = TextCondition(this, QStringLiteral("Any recipient: To, Cc or Bcc"));
  subject_edit_ = TextCondition(this, QStringLiteral("Words in the subject"));
  body_edit_ = TextCondition(this, QStringLiteral("Words in the message text"));
  after_box_ = new QCheckBox(QStringLiteral("On or after"), this);
  after_edit_ = DateCondition(this, after_box_);
  before_box_ = new QCheckBox(QStringLiteral("Before"), this);
  before_edit_ = DateCondition(this, before_box_);
  kind_box_ = new QComboBox(this);
  for (const KindChoice& choice : kKindChoices) {
    kind_box_->addItem(QString::fromLatin1(choice.shown), QString::fromLatin1(choice.kind));
  }
  attachment_box_ = new QCheckBox(QStringLiteral("Has attachments"), this);
  regex_box_ = new QCheckBox(QStringLiteral("Regular expressions"), this);
  regex_box_->setToolTip(
      QStringLiteral("Take the texts as regular expressions instead of words to find"));

  search_button_ = new QPushButton(QStringLiteral("Search"), this);
  search_button_->setIcon(QIcon::fromTheme(
      QStringLiteral("edit-find"), style()->standardIcon(QStyle::SP_FileDialogContentsView)));
  search_button_->setDefault(true);
  stop_button_ = new QPushButton(QStringLiteral("Stop"), this);
  stop_button_->setIcon(QIcon::fromTheme(QStringLiteral("process-stop"),
                                         style()->standardIcon(QStyle::SP_BrowserStop)));

  // Two columns of conditions, the dates and switches under the texts, the buttons at the end.
  auto* form = new QGridLayout;
  form->setColumnStretch(1, 1);
  form->setColumnStretch(3, 1);
  form->setHorizontalSpacing(8);
  AddField(*form, 0, 0, QStringLiteral("&From:"), from_edit_);
  AddField(*form, 0, 2, QStringLiteral("&To:"), to_edit_);
  AddField(*form, 1, 0, QStringLiteral("&Subject:"), subject_edit_);
  AddField(*form, 1, 2, QStringLiteral("&Body:"), body_edit_);
  auto* dates = new QHBoxLayout;
  dates->addWidget(after_box_);
  dates->addWidget(after_edit_);
  dates->addSpacing(16);
  dates->addWidget(before_box_);
  dates->addWidget(before_edit_);
  dates->addStretch(1);
  form->addLayout(dates, 2, 0, 1, 2);
  auto* kind = new QHBoxLayout;
  kind->addWidget(kind_box_);
  kind->addStretch(1);
  AddField(*form, 2, 2, QStringLiteral("&Kind:"), kind_box_, kind);
  auto* switches = new QHBoxLayout;
  switches->addWidget(attachment_box_);
  switches->addSpacing(16);
  switches->addWidget(regex_box_);
  switches->addStretch(1);
  form->addLayout(switches, 3, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(search_button_);
  buttons->addWidget(stop_button_);
  form->addLayout(buttons, 3, 2, 1, 2);

  result_list_ = new QTreeWidget(this);
  result_list_->setColumnCount(kResultColumnCount);
  result_list_->setHeaderLabels({QStringLiteral("Folder"), QStringLiteral("No"),
                                 QStringLiteral("Kind"), QStringLiteral("From"),
                                 QStringLiteral("Subject"), QStringLiteral("Date")});
  result_list_->setRootIsDecorated(false);
  result_list_->setUniformRowHeights(true);
  result_list_->setAlternatingRowColors(true);
  result_list_->setSelectionMode(QAbstractItemView::SingleSelection);
  // Long folder paths keep their ends: the mailbox and the folder itself.
  result_list_->setTextElideMode(Qt::ElideMiddle);
  result_list_->header()->setStretchLastSection(false);
  result_list_->header()->setSectionResizeMode(kSubjectResult, QHeaderView::Stretch);
  const std::array<int, kResultColumnCount> widths = {300, 50, 90, 220, 0, 150};
  for (int column = 0; column < kResultColumnCount; ++column) {
    if (widths[static_cast<std::size_t>(column)] > 0) {
      result_list_->setColumnWidth(column, widths[static_cast<std::size_t>(column)]);
    }
  }
  result_list_->headerItem()->setTextAlignment(kNumberResult, Qt::AlignRight | Qt::AlignVCenter);
  summary_ = new QLabel(this);
  summary_->setTextFormat(Qt::PlainText);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(8, 4, 8, 4);
  column->addLayout(form);
  column->addWidget(result_list_, 1);
  column->addWidget(summary_);

  connect(search_button_, &QPushButton::clicked, this, [this] {
    if (allowed_ && !searching_) emit SearchRequested();
  });
  connect(stop_button_, &QPushButton::clicked, this, &StoreSearchPanel::StopRequested);
  // Enter in a text field searches, as the default button would in a dialog.
  for (QLineEdit* edit : {from_edit_, to_edit_, subject_edit_, body_edit_}) {
    connect(edit, &QLineEdit::returnPressed, search_button_, &QPushButton::click);
  }
  connect(result_list_, &QTreeWidget::itemActivated, this,
          [this](QTreeWidgetItem* item, int /*column*/) {
            emit ResultActivated(result_list_->indexOfTopLevelItem(item));
          });
}

StoreSearchForm StoreSearchPanel::form() const {
  StoreSearchForm form;
  form.from = from_edit_->text().trimmed();
  form.to = to_edit_->text().trimmed();
  form.subject = subject_edit_->text().trimmed();
  form.body = body_edit_->text().trimmed();
  if (after_box_->isChecked()) form.after = after_edit_->date().toString(Qt::ISODate);
  if (before_box_->isChecked()) form.before = before_edit_->date().toString(Qt::ISODate);
  form.kind = kind_box_->currentData().toString();
  form.has_attachment = attachment_box_->isChecked();
  form.regex = regex_box_->isChecked();
  return form;
}

void StoreSearchPanel::Clear() {
  results_.clear();
  result_list_->clear();
  summary_->clear();
}

void StoreSearchPanel::OnSearchStarted() {
  results_.clear();
  result_list_->clear();
  searching_ = true;
  ShowCount(QStringLiteral("Searching..."));
  UpdateButtons();
}

void StoreSearchPanel::AddResult(const StoreSearchResult& result, const QString& folder_path,
                                 const std::vector<QString>& cells) {
  auto cell = [&cells](int column) {
    return static_cast<std::size_t>(column) < cells.size() ? cells[static_cast<std::size_t>(column)]
                                                           : QString();
  };
  auto* item = new QTreeWidgetItem;
  item->setText(kFolderResult, folder_path);
  item->setToolTip(kFolderResult, folder_path);
  item->setText(kNumberResult, QString::number(result.position));
  item->setTextAlignment(kNumberResult, Qt::AlignRight | Qt::AlignVCenter);
  item->setText(kKindResult, KindName(cell(1)));
  item->setText(kFromResult, cell(kFromColumn));
  item->setText(kSubjectResult, cell(kSubjectColumn));
  item->setToolTip(kSubjectResult, cell(kSubjectColumn));
  item->setText(kDateResult, cell(kDateColumn));
  const QString state = cell(kItemStateColumn);
  if (!state.isEmpty() && state != ToQString(ItemStateText(ese::RecordState::kLive))) {
    // A deleted or recovered item, greyed as the item list shows it.
    const QColor grey = palette().color(QPalette::Disabled, QPalette::Text);
    for (int column = 0; column < kResultColumnCount; ++column) item->setForeground(column, grey);
  }
  results_.push_back(result);
  result_list_->addTopLevelItem(item);
  ShowCount(QStringLiteral("Searching..."));
}

void StoreSearchPanel::OnSearchFinished(bool stopped) {
  searching_ = false;
  ShowCount(stopped ? QStringLiteral("Stopped:") : QString());
  UpdateButtons();
  emit SearchFinished(static_cast<int>(results_.size()));
}

void StoreSearchPanel::SetSearchAllowed(bool allowed) {
  if (allowed == allowed_) return;
  allowed_ = allowed;
  UpdateButtons();
  emit SearchAllowedChanged(allowed);
}

void StoreSearchPanel::UpdateButtons() {
  search_button_->setEnabled(allowed_ && !searching_);
  stop_button_->setEnabled(searching_);
}

void StoreSearchPanel::ShowCount(const QString& state) {
  const std::size_t found = results_.size();
  const QString count = found == 0   ? QStringLiteral("no items found")
                        : found == 1 ? QStringLiteral("1 item found")
                                     : QStringLiteral("%1 items found").arg(found);
  summary_->setText(state.isEmpty() ? count.left(1).toUpper() + count.mid(1)
                                    : state + QLatin1Char(' ') + count);
}

}  // namespace tarvex
