#include "app/dezidevud_dlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <array>
#include <system_error>

#include "app/dialog_provider.h"
#include "app/explorer.h"
#include "app/folder_tree_ctrl.h"
#include "app/qt_text.h"
#include "mailbox/analysis.h"
#include "mailbox/item_extraction.h"
#include "mailbox/mailbox_loading.h"
#include "mailbox/recovery.h"
#include "output/export_run.h"
#include "output/preview.h"

namespace tarvex {

namespace {

struct ListColumn {
  const char* title;
  int width;
};

// Zero-width columns carry what the preview needs; they stay hidden. "Date" is a little wider
// than the classic 135 pixels so that a full date fits in the default font.
constexpr std::array<ListColumn, kItemListColumnCount> kListColumns = {{
    {"", 0},
    {"Type", 0},
    {"S.No", 0},
    {" ", 0},
    {"From", 300},
    {"Subject", 300},
    {"Date", 150},
    {"Att", 50},
    {"To", 0},
    {"Cc", 0},
    {"Bcc", 0},
}};

constexpr char16_t kStopQuestion[] = u"Do you want to sure stop recovery process ?";
constexpr char16_t kResumeQuestion[] = u"Do you want to sure resume recovery process ?";
constexpr char16_t kCloseQuestion[] = u"Are you sure, you want to close..                       ";
constexpr char kHelpFile[] = "tarvex-mailbox-rescue.html";

std::filesystem::path CurrentDirectory() {
  std::error_code error;
  std::filesystem::path current = std::filesystem::current_path(error);
  return error ? std::filesystem::path() : current;
}

}  // namespace

CDEZIdevudDlg::CDEZIdevudDlg(DialogProvider& dialogs, std::function<void()> end_program,
                             QWidget* parent)
    : QMainWindow(parent),
      m_dialogs(dialogs),
      m_end_program(std::move(end_program)),
      m_message_folder(QDir::temp().filePath(QStringLiteral("tarvex-pages-XXXXXX"))),
      m_message_folder_path(ToPath(m_message_folder.path())),
      m_startup_directory(CurrentDirectory()),
      m_program_folder(ToPath(QCoreApplication::applicationDirPath())),
      m_message_pages(m_message_folder_path) {
  setWindowTitle(ToQString(kApplicationTitle));
  setWindowIcon(QIcon(QStringLiteral(":/icons/program.png")));
  BuildControls();
  BuildMenus();
  BuildStatusBar();
  m_browser->AllowFolder(m_message_folder_path);
  resize(1100, 720);
}

CDEZIdevudDlg::~CDEZIdevudDlg() {
  m_closing = true;
  if (m_run) m_run->gate.Cancel();
  m_workers.WaitAll();
}

void CDEZIdevudDlg::BuildControls() {
  auto* central = new QWidget(this);
  auto* banner = new QLabel(central);
  banner->setObjectName(QStringLiteral("banner"));
  banner->setText(QStringLiteral("<span style='font-size:17pt; font-weight:600;'>%1</span>"
                                 "<br><span style='font-size:9pt;'>Read-only recovery of "
                                 "mailboxes, folders and items from Exchange databases</span>")
                      .arg(ToQString(kApplicationTitle)));
  banner->setStyleSheet(QStringLiteral(
      "QLabel#banner { color: white; padding: 10px 16px; background: qlineargradient(x1:0, "
      "y1:0, x2:1, y2:0, stop:0 #1f4e79, stop:1 #3f88c5); }"));
  banner->setMinimumHeight(64);

  auto* caption = new QLabel(QStringLiteral("Select Exchange EDB file: "), central);
  m_path_edit = new QLineEdit(central);
  m_path_edit->setReadOnly(true);
  m_browse_button = new QPushButton(QStringLiteral("Browse"), central);
  m_save_button = new QPushButton(QStringLiteral("Save Mailbox"), central);
  m_save_button->setEnabled(false);
  m_stop_button = new QPushButton(QStringLiteral("Stop"), central);
  m_exit_button = new QPushButton(QStringLiteral("Exit"), central);
  for (QPushButton* button : {m_browse_button, m_save_button, m_stop_button, m_exit_button}) {
    button->setMinimumWidth(90);
    button->setAutoDefault(false);
  }
  auto* command_row = new QHBoxLayout;
  command_row->setContentsMargins(8, 6, 8, 6);
  command_row->addWidget(caption);
  command_row->addWidget(m_path_edit, 1);
  command_row->addWidget(m_browse_button);
  command_row->addWidget(m_save_button);
  command_row->addSpacing(12);
  command_row->addWidget(m_stop_button);
  command_row->addWidget(m_exit_button);

  m_tree = new CFolderTreeCtrl1(central);
  m_list = new QTableWidget(0, kItemListColumnCount, central);
  QStringList titles;
  for (const ListColumn& column : kListColumns) titles << QString::fromLatin1(column.title);
  m_list->setHorizontalHeaderLabels(titles);
  for (int i = 0; i < kItemListColumnCount; ++i) {
    const int width = kListColumns[static_cast<std::size_t>(i)].width;
    if (width == 0) {
      m_list->setColumnHidden(i, true);
    } else {
      m_list->setColumnWidth(i, width);
    }
  }
  m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  m_list->horizontalHeader()->setStretchLastSection(false);
  m_list->verticalHeader()->hide();
  m_list->verticalHeader()->setDefaultSectionSize(22);
  m_list->setShowGrid(true);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_list->setWordWrap(false);
  m_browser = new CExplorer1(central);

  // The list above the browser, and the tree beside both.
  m_horizontal_splitter = new QSplitter(Qt::Vertical, central);
  m_horizontal_splitter->addWidget(m_list);
  m_horizontal_splitter->addWidget(m_browser);
  m_horizontal_splitter->setStretchFactor(0, 2);
  m_horizontal_splitter->setStretchFactor(1, 3);
  m_horizontal_splitter->setChildrenCollapsible(false);
  m_list->setMinimumHeight(80);
  m_browser->setMinimumHeight(120);
  m_horizontal_splitter->setSizes({260, 420});
  m_horizontal_splitter->setStyleSheet(
      QStringLiteral("QSplitter::handle:vertical { background: #3f88c5; height: 4px; }"));
  m_vertical_splitter = new QSplitter(Qt::Horizontal, central);
  m_vertical_splitter->addWidget(m_tree);
  m_vertical_splitter->addWidget(m_horizontal_splitter);
  m_vertical_splitter->setStretchFactor(0, 1);
  m_vertical_splitter->setStretchFactor(1, 3);
  m_vertical_splitter->setChildrenCollapsible(false);
  m_vertical_splitter->setStyleSheet(
      QStringLiteral("QSplitter::handle:horizontal { background: #a0a0a0; width: 4px; }"));
  m_vertical_splitter->setSizes({280, 820});

  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(banner);
  column->addLayout(command_row);
  column->addWidget(m_vertical_splitter, 1);
  setCentralWidget(central);

  connect(m_browse_button, &QPushButton::clicked, this, &CDEZIdevudDlg::OnBrowse);
  connect(m_save_button, &QPushButton::clicked, this, &CDEZIdevudDlg::OnSaveMailbox);
  connect(m_stop_button, &QPushButton::clicked, this, &CDEZIdevudDlg::OnStopResume);
  connect(m_exit_button, &QPushButton::clicked, this, &CDEZIdevudDlg::OnExit);
  connect(m_tree, &QTreeWidget::itemSelectionChanged, this, &CDEZIdevudDlg::OnTreeSelectionChanged);
  connect(m_list, &QTableWidget::cellClicked, this,
          [this](int row, int /*column*/) { OnListClicked(row); });
}

void CDEZIdevudDlg::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  m_open_action = file->addAction(QStringLiteral("Open Exchange EDB"));
  m_save_action = file->addAction(QStringLiteral("Save Mailbox"));
  m_save_action->setEnabled(false);
  file->addSeparator();
  m_exit_action = file->addAction(QStringLiteral("Exit"));
  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  m_help_action = help->addAction(QStringLiteral("Software help topic"));
  help->addSeparator();
  m_about_action = help->addAction(QStringLiteral("About Tarvex Mailbox Rescue"));
  connect(m_open_action, &QAction::triggered, this, &CDEZIdevudDlg::OnBrowse);
  connect(m_exit_action, &QAction::triggered, this, &CDEZIdevudDlg::OnExit);
  connect(m_save_action, &QAction::triggered, this, &CDEZIdevudDlg::OnSaveMailbox);
  connect(m_help_action, &QAction::triggered, this, &CDEZIdevudDlg::OnHelp);
  connect(m_about_action, &QAction::triggered, this, &CDEZIdevudDlg::OnAbout);
}

void CDEZIdevudDlg::BuildStatusBar() {
  m_progress = new QProgressBar(this);
  m_progress->setRange(0, 100);
  m_progress->setValue(0);
  m_progress->setTextVisible(false);
  m_progress->setFixedWidth(296);
  m_progress->setMaximumHeight(16);
  auto* read_only_note = new QLabel(QStringLiteral("Read-only access"), this);
  read_only_note->setFixedWidth(150);
  auto* divider = new QLabel(this);
  divider->setFixedWidth(1);
  m_status_text = new QLabel(ToQString(kApplicationTitle) + QLatin1Char(' '), this);
  m_status_text->setTextFormat(Qt::PlainText);
  statusBar()->addWidget(m_progress);
  statusBar()->addWidget(read_only_note);
  statusBar()->addWidget(divider);
  statusBar()->addWidget(m_status_text, 1);
  statusBar()->setSizeGripEnabled(true);
}

PauseGate* CDEZIdevudDlg::pause_gate() {
  return m_run ? &m_run->gate : nullptr;
}

void CDEZIdevudDlg::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (m_shown_once) return;
  m_shown_once = true;
  // The source selection comes right after the window is up.
  QTimer::singleShot(0, this, [this] { StartAnalysis(true); });
}

void CDEZIdevudDlg::closeEvent(QCloseEvent* event) {
  event->ignore();
  OnExit();
}

void CDEZIdevudDlg::EndRun() {
  if (!m_run) return;
  // Workers of the old run end at their next checkpoint, even when paused.
  m_run->gate.Cancel();
  m_workers.WaitAll();
  m_run.reset();
}

void CDEZIdevudDlg::DeleteWorkingFolderFiles() {
  std::error_code error;
  std::filesystem::directory_iterator entries(m_selection.working_folder, error);
  if (error) return;
  for (const std::filesystem::directory_entry& entry : entries) {
    std::error_code entry_error;
    if (entry.is_directory(entry_error)) continue;
    std::filesystem::remove(entry.path(), entry_error);
  }
}

void CDEZIdevudDlg::OnBrowse() {
  StartAnalysis(false);
}

void CDEZIdevudDlg::StartAnalysis(bool at_start_up) {
  browsefile dialog(m_selection, m_dialogs, this);
  if (!m_dialogs.RunSourceSelection(dialog)) return;

  // No second Browse while the previous run's workers are wound down.
  m_browse_button->setEnabled(false);
  m_open_action->setEnabled(false);
  EndRun();
  m_tree->DeleteAllNodes();
  m_list->setRowCount(0);
  ShowMessagePage(kRecoveryStartedPage);
  m_path_edit->setText(PathToQString(m_selection.database));
  std::error_code error;
  std::filesystem::create_directories(m_selection.working_folder, error);
  // A new session starts from an empty working folder; later runs overwrite file by file.
  if (at_start_up) DeleteWorkingFolderFiles();
  m_browser->AllowFolder(m_selection.working_folder);
  m_stop_button->setText(QStringLiteral("Stop"));

  m_run = std::make_unique<Run>();
  m_run->recovery = std::make_unique<Recovery>(*this, m_run->gate, m_selection.working_folder,
                                               m_program_folder, m_message_pages);
  Recovery& recovery = *m_run->recovery;
  recovery.set_root_node(InsertTreeNode(kTopOfTree, ToU16String(m_path_edit->text()), 0));
  // Nothing else may start until the analysis hands the commands back.
  m_tree->setEnabled(false);
  StartWorker([&recovery, database = m_selection.database] { RunAnalysis(recovery, database); });
}

namespace {

void CollectChecked(const CFolderTreeCtrl1& tree, QTreeWidgetItem* item,
                    std::vector<TreeNodeHandle>& folders) {
  if (CFolderTreeCtrl1::IsChecked(item)) folders.push_back(tree.Handle(item));
  for (int i = 0; i < item->childCount(); ++i) CollectChecked(tree, item->child(i), folders);
}

}  // namespace

void CDEZIdevudDlg::OnSaveMailbox() {
  if (!m_run || !m_run->recovery->has_session() || m_workers.AnyRunning()) return;
  ExportRequest request;
  for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
    CollectChecked(*m_tree, m_tree->topLevelItem(i), request.folders);
  }
  // Without checked folders, the selected one is exported.
  if (request.folders.empty() && !m_tree->selectedItems().isEmpty()) {
    request.folders.push_back(m_tree->Handle(m_tree->selectedItems().front()));
  }
  if (request.folders.empty()) {
    m_dialogs.ShowMessage(this, QStringLiteral("Please select or check the folders to export"),
                          MessageKind::kInformation);
    return;
  }
  std::optional<unsigned> kinds = m_dialogs.ChooseExportKinds(this);
  if (!kinds) return;
  std::optional<QString> output =
      m_dialogs.ChooseFolder(this, QStringLiteral("Select the output folder"));
  if (!output || output->isEmpty()) return;
  request.kinds = *kinds;
  request.output_folder = ToPath(*output);

  Recovery& recovery = *m_run->recovery;
  m_tree->setEnabled(false);
  m_list->setEnabled(false);
  m_browse_button->setEnabled(false);
  m_open_action->setEnabled(false);
  m_save_button->setEnabled(false);
  m_save_action->setEnabled(false);
  StartWorker([this, &recovery, request = std::move(request)] {
    const ExportOutcome outcome = RunExport(recovery, request);
    EnableControl(WindowControl::kFolderTree, true);
    EnableControl(WindowControl::kItemList, true);
    EnableControl(WindowControl::kBrowseButton, true);
    EnableControl(WindowControl::kSaveMailboxButton, true);
    EnableMenuCommand(MenuCommand::kOpenExchangeEdb, true);
    EnableMenuCommand(MenuCommand::kSaveMailbox, true);
    std::u16string text = outcome.error;
    if (text.empty()) {
      const std::string summary = "Export Completed: " + std::to_string(outcome.items_saved) +
                                  " items saved, " + std::to_string(outcome.items_skipped) +
                                  " skipped, " + std::to_string(outcome.saver_failures) +
                                  " not accepted by the saver";
      text = ToU16String(QString::fromStdString(summary));
    }
    ShowMessage(text, outcome.error.empty() ? MessageKind::kInformation : MessageKind::kError);
  });
}

void CDEZIdevudDlg::OnStopResume() {
  const bool stopping = m_stop_button->text() == QStringLiteral("Stop");
  const MessageAnswer answer = m_dialogs.ShowMessage(
      this, ToQString(stopping ? kStopQuestion : kResumeQuestion), MessageKind::kQuestion);
  if (answer != MessageAnswer::kYes) return;
  if (stopping) {
    m_stop_button->setText(QStringLiteral("Resume"));
    if (m_run) m_run->gate.Pause();
    ShowMessagePage(kStoppedPage);
  } else {
    m_stop_button->setText(QStringLiteral("Stop"));
    if (m_run) m_run->gate.Resume();
    ShowMessagePage(kResumedPage);
  }
}

void CDEZIdevudDlg::OnExit() {
  if (m_dialogs.ShowMessage(this, ToQString(kCloseQuestion), MessageKind::kQuestion) !=
      MessageAnswer::kYes) {
    return;
  }
  m_closing = true;
  if (m_end_program) m_end_program();
}

void CDEZIdevudDlg::OnHelp() {
  QDesktopServices::openUrl(QUrl::fromLocalFile(PathToQString(m_program_folder / kHelpFile)));
}

void CDEZIdevudDlg::OnAbout() {
  m_dialogs.ShowAbout(this);
}

void CDEZIdevudDlg::OnTreeSelectionChanged() {
  const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
  if (selected.isEmpty() || !m_run) return;
  const TreeNodeHandle node = m_tree->Handle(selected.front());
  Recovery& recovery = *m_run->recovery;
  // Disabled here already, so that no second click slips in before the loader starts; the
  // list too, as no preview may read the model while the loader changes it.
  m_tree->setEnabled(false);
  m_list->setEnabled(false);
  StartWorker([this, &recovery, node] {
    LoadMailbox(recovery, node);
    EnableControl(WindowControl::kItemList, true);
    EnableControl(WindowControl::kFolderTree, true);
  });
}

void CDEZIdevudDlg::OnListClicked(int row) {
  if (!m_run || row < 0 || row >= m_list->rowCount()) return;
  ItemListRow texts;
  for (int column = 0; column < kItemListColumnCount; ++column) {
    const QTableWidgetItem* cell = m_list->item(row, column);
    if (cell != nullptr) texts[static_cast<std::size_t>(column)] = ToU16String(cell->text());
  }
  Recovery& recovery = *m_run->recovery;
  m_tree->setEnabled(false);
  m_list->setEnabled(false);
  StartWorker([&recovery, texts = std::move(texts)] { ShowItemPreview(recovery, texts); });
}

void CDEZIdevudDlg::StartWorker(std::function<void()> work) {
  m_workers.Start(std::move(work));
}

void CDEZIdevudDlg::ShowMessagePage(std::u16string_view html) {
  m_message_pages.Show(*this, html);
}

void CDEZIdevudDlg::OnWindowThread(const std::function<void()>& call) {
  if (QThread::currentThread() == thread()) {
    call();
    return;
  }
  if (m_closing) return;
  QMetaObject::invokeMethod(this, call, Qt::BlockingQueuedConnection);
}

void CDEZIdevudDlg::SetStatusText(std::u16string_view text) {
  OnWindowThread([this, text] { m_status_text->setText(ToQString(text)); });
}

void CDEZIdevudDlg::SetProgressRange(int lowest, int highest) {
  OnWindowThread([this, lowest, highest] { m_progress->setRange(lowest, highest); });
}

void CDEZIdevudDlg::SetProgressPosition(int position) {
  OnWindowThread([this, position] { m_progress->setValue(position); });
}

TreeNodeHandle CDEZIdevudDlg::InsertTreeNode(TreeNodeHandle parent, std::u16string_view text,
                                             int image) {
  TreeNodeHandle node = kTopOfTree;
  OnWindowThread([&] { node = m_tree->AddNode(parent, ToQString(text), image); });
  return node;
}

int CDEZIdevudDlg::InsertListRow(int row, std::u16string_view first_column) {
  int inserted = -1;
  OnWindowThread([&] {
    const int count = m_list->rowCount();
    inserted = row < 0 || row > count ? count : row;
    m_list->insertRow(inserted);
    m_list->setItem(inserted, 0, new QTableWidgetItem(ToQString(first_column)));
  });
  return inserted;
}

void CDEZIdevudDlg::SetListCell(int row, int column, std::u16string_view text) {
  OnWindowThread([&] {
    if (row < 0 || row >= m_list->rowCount() || column < 0 || column >= kItemListColumnCount) {
      return;
    }
    m_list->setItem(row, column, new QTableWidgetItem(ToQString(text)));
  });
}

void CDEZIdevudDlg::ClearList() {
  OnWindowThread([this] { m_list->setRowCount(0); });
}

void CDEZIdevudDlg::EnableControl(WindowControl control, bool enabled) {
  OnWindowThread([this, control, enabled] {
    switch (control) {
      case WindowControl::kFolderTree:
        m_tree->setEnabled(enabled);
        break;
      case WindowControl::kItemList:
        m_list->setEnabled(enabled);
        break;
      case WindowControl::kBrowseButton:
        m_browse_button->setEnabled(enabled);
        break;
      case WindowControl::kStopButton:
        m_stop_button->setEnabled(enabled);
        break;
      case WindowControl::kSaveMailboxButton:
        m_save_button->setEnabled(enabled);
        break;
    }
  });
}

void CDEZIdevudDlg::EnableMenuCommand(MenuCommand command, bool enabled) {
  OnWindowThread([this, command, enabled] {
    switch (command) {
      case MenuCommand::kOpenExchangeEdb:
        m_open_action->setEnabled(enabled);
        break;
      case MenuCommand::kExit:
        m_exit_action->setEnabled(enabled);
        break;
      case MenuCommand::kAbout:
        m_about_action->setEnabled(enabled);
        break;
      case MenuCommand::kHelp:
        m_help_action->setEnabled(enabled);
        break;
      case MenuCommand::kSaveMailbox:
        m_save_action->setEnabled(enabled);
        break;
    }
  });
}

void CDEZIdevudDlg::Navigate(const std::filesystem::path& page) {
  OnWindowThread([this, &page] { m_browser->Navigate(page); });
}

MessageAnswer CDEZIdevudDlg::ShowMessage(std::u16string_view text, MessageKind kind) {
  MessageAnswer answer = kind == MessageKind::kQuestion ? MessageAnswer::kNo : MessageAnswer::kOk;
  OnWindowThread([&] { answer = m_dialogs.ShowMessage(this, ToQString(text), kind); });
  return answer;
}

}  // namespace tarvex
