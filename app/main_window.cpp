#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <array>
#include <system_error>

#include "app/dialog_provider.h"
#include "app/folder_tree_widget.h"
#include "app/item_list_cells.h"
#include "app/preview_browser.h"
#include "app/qt_text.h"
#include "base/private_folder.h"
#include "base/program_files.h"
#include "mailbox/analysis.h"
#include "mailbox/item_extraction.h"
#include "mailbox/item_search.h"
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
    {"State", 80},
}};

constexpr char16_t kStopQuestion[] = u"Do you really want to stop the recovery process?";
constexpr char16_t kResumeQuestion[] = u"Do you really want to resume the recovery process?";
constexpr char16_t kCloseQuestion[] =
    u"Are you sure you want to close the program?                       ";

// A theme icon, or the style's own when the desktop has no icon theme.
QIcon ThemeIcon(const QWidget& widget, const char* name, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(QString::fromLatin1(name), widget.style()->standardIcon(fallback));
}

// The local database file among dropped URLs, if there is one.
std::optional<std::filesystem::path> DroppedDatabase(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return std::nullopt;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile() &&
        url.toLocalFile().endsWith(QStringLiteral(".edb"), Qt::CaseInsensitive)) {
      return ToPath(url.toLocalFile());
    }
  }
  return std::nullopt;
}

std::filesystem::path CurrentDirectory() {
  std::error_code error;
  std::filesystem::path current = std::filesystem::current_path(error);
  return error ? std::filesystem::path() : current;
}

}  // namespace

MainWindow::MainWindow(DialogProvider& dialogs, std::function<void()> end_program, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs),
      end_program_(std::move(end_program)),
      message_folder_(QDir::temp().filePath(QStringLiteral("tarvex-pages-XXXXXX"))),
      message_folder_path_(ToPath(message_folder_.path())),
      startup_directory_(CurrentDirectory()),
      program_folder_(ToPath(QCoreApplication::applicationDirPath())),
      message_pages_(message_folder_path_) {
  setWindowTitle(ToQString(kApplicationTitle));
  setWindowIcon(QIcon(QStringLiteral(":/icons/program.png")));
  BuildControls();
  BuildStoreSearch();
  BuildMenus();
  BuildStatusBar();
  browser_->AllowFolder(message_folder_path_);
  resize(1100, 720);
}

MainWindow::~MainWindow() {
  closing_ = true;
  if (run_) run_->gate.Cancel();
  workers_.WaitAll();
}

void MainWindow::BuildControls() {
  auto* central = new QWidget(this);
  auto* banner = new QLabel(central);
  banner->setObjectName(QStringLiteral("banner"));
  // In the palette's colours and the desktop's font, only larger: no colours of its own.
  banner->setText(QStringLiteral("<span style='font-size:x-large; font-weight:600;'>%1</span>"
                                 "<br>Read-only recovery of mailboxes, folders and items from "
                                 "Exchange databases")
                      .arg(ToQString(kApplicationTitle)));
  banner->setContentsMargins(16, 8, 16, 4);

  auto* caption = new QLabel(QStringLiteral("Select Exchange EDB file: "), central);
  path_edit_ = new QLineEdit(central);
  path_edit_->setPlaceholderText(
      QStringLiteral("Type or paste the path of an .edb file, or drop one here"));
  path_edit_->setClearButtonEnabled(true);
  browse_button_ = new QPushButton(QStringLiteral("Browse"), central);
  save_button_ = new QPushButton(QStringLiteral("Save Mailbox"), central);
  save_button_->setEnabled(false);
  stop_button_ = new QPushButton(QStringLiteral("Stop"), central);
  exit_button_ = new QPushButton(QStringLiteral("Exit"), central);
  store_search_button_ = new QPushButton(QStringLiteral("Search Store"), central);
  store_search_button_->setIcon(
      ThemeIcon(*this, "system-search", QStyle::SP_FileDialogContentsView));
  store_search_button_->setToolTip(
      QStringLiteral("Search every folder of the store by sender, recipient, subject, text, "
                     "date, kind or attachments"));
  browse_button_->setIcon(ThemeIcon(*this, "document-open", QStyle::SP_DialogOpenButton));
  save_button_->setIcon(ThemeIcon(*this, "document-save", QStyle::SP_DialogSaveButton));
  exit_button_->setIcon(ThemeIcon(*this, "application-exit", QStyle::SP_DialogCloseButton));
  UpdateStopButton(false);
  for (QPushButton* button :
       {browse_button_, save_button_, store_search_button_, stop_button_, exit_button_}) {
    button->setMinimumWidth(90);
    button->setAutoDefault(false);
  }
  auto* command_row = new QHBoxLayout;
  command_row->setContentsMargins(8, 6, 8, 6);
  command_row->addWidget(caption);
  command_row->addWidget(path_edit_, 1);
  command_row->addWidget(browse_button_);
  command_row->addWidget(save_button_);
  command_row->addWidget(store_search_button_);
  command_row->addSpacing(12);
  command_row->addWidget(stop_button_);
  command_row->addWidget(exit_button_);

  tree_ = new FolderTreeWidget(central);
  list_ = new QTableWidget(0, kItemListColumnCount, central);
  QStringList titles;
  for (const ListColumn& column : kListColumns) titles << QString::fromLatin1(column.title);
  list_->setHorizontalHeaderLabels(titles);
  for (int i = 0; i < kItemListColumnCount; ++i) {
    const int width = kListColumns[static_cast<std::size_t>(i)].width;
    if (width == 0) {
      list_->setColumnHidden(i, true);
    } else {
      list_->setColumnWidth(i, width);
    }
  }
  list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list_->horizontalHeader()->setStretchLastSection(false);
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setDefaultSectionSize(22);
  list_->setShowGrid(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setWordWrap(false);
  list_->setIconSize(QSize(16, 16));
  // Sorted by hand (OnHeaderClicked): Qt's own sorting would move rows while the loader fills
  // them by their positions.
  list_->horizontalHeader()->setSectionsClickable(true);
  list_->horizontalHeader()->setSortIndicatorShown(false);
  attachment_icon_ = AttachmentIcon();
  list_->horizontalHeaderItem(kAttachmentColumn)->setIcon(attachment_icon_);
  list_->horizontalHeaderItem(kAttachmentColumn)->setToolTip(QStringLiteral("Attachments"));

  search_edit_ = new QLineEdit(central);
  search_edit_->setPlaceholderText(QStringLiteral("Search sender, subject and recipients"));
  search_edit_->setClearButtonEnabled(true);
  search_edit_->addAction(ThemeIcon(*this, "edit-find", QStyle::SP_FileDialogContentsView),
                          QLineEdit::LeadingPosition);
  auto* list_pane = new QWidget(central);
  auto* list_column = new QVBoxLayout(list_pane);
  list_column->setContentsMargins(0, 0, 0, 0);
  list_column->setSpacing(2);
  list_column->addWidget(search_edit_);
  list_column->addWidget(list_, 1);
  browser_ = new PreviewBrowser(central);

  // The list above the browser, and the tree beside both.
  horizontal_splitter_ = new QSplitter(Qt::Vertical, central);
  horizontal_splitter_->addWidget(list_pane);
  horizontal_splitter_->addWidget(browser_);
  horizontal_splitter_->setStretchFactor(0, 2);
  horizontal_splitter_->setStretchFactor(1, 3);
  horizontal_splitter_->setChildrenCollapsible(false);
  list_->setMinimumHeight(80);
  browser_->setMinimumHeight(120);
  horizontal_splitter_->setSizes({260, 420});
  vertical_splitter_ = new QSplitter(Qt::Horizontal, central);
  vertical_splitter_->addWidget(tree_);
  vertical_splitter_->addWidget(horizontal_splitter_);
  vertical_splitter_->setStretchFactor(0, 1);
  vertical_splitter_->setStretchFactor(1, 3);
  vertical_splitter_->setChildrenCollapsible(false);
  vertical_splitter_->setSizes({280, 820});

  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(banner);
  column->addLayout(command_row);
  column->addWidget(vertical_splitter_, 1);
  setCentralWidget(central);

  connect(browse_button_, &QPushButton::clicked, this, &MainWindow::OnBrowse);
  connect(save_button_, &QPushButton::clicked, this, &MainWindow::OnSaveMailbox);
  connect(stop_button_, &QPushButton::clicked, this, &MainWindow::OnStopResume);
  connect(exit_button_, &QPushButton::clicked, this, &MainWindow::OnExit);
  connect(store_search_button_, &QPushButton::clicked, this, &MainWindow::OnShowStoreSearch);
  connect(tree_, &QTreeWidget::itemSelectionChanged, this, &MainWindow::OnTreeSelectionChanged);
  connect(list_, &QTableWidget::cellClicked, this,
          [this](int row, int /*column*/) { OnListClicked(row); });
  connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this,
          &MainWindow::OnHeaderClicked);
  connect(search_edit_, &QLineEdit::textChanged, this, &MainWindow::ApplySearch);
  auto* find_action = new QAction(this);
  find_action->setShortcut(QKeySequence::Find);
  addAction(find_action);
  connect(find_action, &QAction::triggered, this, [this] {
    search_edit_->setFocus(Qt::ShortcutFocusReason);
    search_edit_->selectAll();
  });
  connect(path_edit_, &QLineEdit::returnPressed, this, [this] {
    if (browse_button_->isEnabled()) OpenDatabase(TypedPath(path_edit_->text()));
  });
  connect(browser_, &PreviewBrowser::AttachmentRequested, this,
          [this](const QString& file) { OnAttachmentRequested(ToPath(file)); });
  setAcceptDrops(true);
}

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  open_action_ = file->addAction(ThemeIcon(*this, "document-open", QStyle::SP_DialogOpenButton),
                                 QStringLiteral("Open Exchange EDB"));
  open_action_->setShortcut(QKeySequence::Open);
  save_action_ = file->addAction(ThemeIcon(*this, "document-save", QStyle::SP_DialogSaveButton),
                                 QStringLiteral("Save Mailbox"));
  save_action_->setEnabled(false);
  file->addSeparator();
  store_search_action_ =
      file->addAction(ThemeIcon(*this, "system-search", QStyle::SP_FileDialogContentsView),
                      QStringLiteral("Search Store..."));
  store_search_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
  file->addSeparator();
  exit_action_ = file->addAction(ThemeIcon(*this, "application-exit", QStyle::SP_DialogCloseButton),
                                 QStringLiteral("Exit"));
  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help_action_ = help->addAction(ThemeIcon(*this, "help-contents", QStyle::SP_DialogHelpButton),
                                 QStringLiteral("Software help topic"));
  help->addSeparator();
  about_action_ = help->addAction(ThemeIcon(*this, "help-about", QStyle::SP_MessageBoxInformation),
                                  QStringLiteral("About Tarvex Mailbox Rescue"));
  connect(open_action_, &QAction::triggered, this, &MainWindow::OnBrowse);
  connect(exit_action_, &QAction::triggered, this, &MainWindow::OnExit);
  connect(save_action_, &QAction::triggered, this, &MainWindow::OnSaveMailbox);
  connect(store_search_action_, &QAction::triggered, this, &MainWindow::OnShowStoreSearch);
  connect(help_action_, &QAction::triggered, this, &MainWindow::OnHelp);
  connect(about_action_, &QAction::triggered, this, &MainWindow::OnAbout);
}

void MainWindow::BuildStatusBar() {
  progress_ = new QProgressBar(this);
  progress_->setRange(0, StatusProgress::kScale);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  progress_->setFixedWidth(296);
  progress_->setMaximumHeight(16);
  auto* read_only_note = new QLabel(QStringLiteral("Read-only access"), this);
  read_only_note->setFixedWidth(150);
  auto* divider = new QLabel(this);
  divider->setFixedWidth(1);
  status_text_ = new QLabel(ToQString(kApplicationTitle) + QLatin1Char(' '), this);
  status_text_->setTextFormat(Qt::PlainText);
  statusBar()->addWidget(progress_);
  statusBar()->addWidget(read_only_note);
  statusBar()->addWidget(divider);
  statusBar()->addWidget(status_text_, 1);
  statusBar()->setSizeGripEnabled(true);
}

PauseGate* MainWindow::pause_gate() {
  return run_ ? &run_->gate : nullptr;
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_once_) return;
  shown_once_ = true;
  // The source selection comes right after the window is up, unless a database was given.
  QTimer::singleShot(0, this, [this] {
    if (startup_database_.empty()) {
      StartAnalysis(true);
    } else {
      OpenDatabase(startup_database_, true);
    }
  });
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (browse_button_->isEnabled() && DroppedDatabase(event->mimeData())) {
    event->acceptProposedAction();
  }
}

void MainWindow::dropEvent(QDropEvent* event) {
  const std::optional<std::filesystem::path> database = DroppedDatabase(event->mimeData());
  if (!database || !browse_button_->isEnabled()) return;
  event->acceptProposedAction();
  OpenDatabase(*database);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  OnExit();
}

void MainWindow::EndRun() {
  if (!run_) return;
  // Workers of the old run end at their next checkpoint, even when paused.
  run_->gate.Cancel();
  workers_.WaitAll();
  run_.reset();
}

void MainWindow::DeleteWorkingFolderFiles() {
  std::error_code error;
  std::filesystem::directory_iterator entries(selection_.working_folder, error);
  if (error) return;
  for (const std::filesystem::directory_entry& entry : entries) {
    std::error_code entry_error;
    if (entry.is_directory(entry_error)) continue;
    std::filesystem::remove(entry.path(), entry_error);
  }
}

void MainWindow::OnBrowse() {
  StartAnalysis(false);
}

void MainWindow::OpenDatabase(const std::filesystem::path& database) {
  OpenDatabase(database, false);
}

void MainWindow::OpenDatabase(const std::filesystem::path& database, bool at_start_up) {
  std::error_code error;
  if (database.empty() || !std::filesystem::is_regular_file(database, error)) {
    ShowMessage(u"Please select a valid file", MessageKind::kError);
    return;
  }
  selection_.database = database;
  if (selection_.working_folder.empty()) UseDefaultWorkingFolder(selection_);
  BeginRun(at_start_up);
}

void MainWindow::StartAnalysis(bool at_start_up) {
  SourceSelectionDialog dialog(selection_, dialogs_, this);
  if (!dialogs_.RunSourceSelection(dialog)) return;
  BeginRun(at_start_up);
}

void MainWindow::BeginRun(bool at_start_up) {
  // The pages and attachments of the store go there: never into a folder someone else owns.
  const std::u16string folder_problem = MakePrivateFolder(selection_.working_folder);
  if (!folder_problem.empty()) {
    ShowMessage(folder_problem, MessageKind::kError);
    return;
  }

  // No second Browse while the previous run's workers are wound down.
  browse_button_->setEnabled(false);
  open_action_->setEnabled(false);
  // A result of the old store must not be opened while its workers wind down.
  pending_result_.reset();
  EndRun();
  tree_->DeleteAllNodes();
  list_->setRowCount(0);
  listed_folder_ = kTopOfTree;
  search_panel_->Clear();
  status_progress_.Restart();
  progress_->setValue(0);
  ShowMessagePage(kRecoveryStartedPage);
  path_edit_->setText(PathToQString(selection_.database));
  // A new session starts from an empty working folder; later runs overwrite file by file.
  if (at_start_up) DeleteWorkingFolderFiles();
  browser_->AllowFolder(selection_.working_folder);
  UpdateStopButton(false);

  run_ = std::make_unique<Run>();
  run_->recovery = std::make_unique<Recovery>(*this, run_->gate, selection_.working_folder,
                                              program_folder_, message_pages_);
  Recovery& recovery = *run_->recovery;
  recovery.set_root_node(InsertTreeNode(kTopOfTree, ToU16String(path_edit_->text()), 0));
  // Nothing else may start until the analysis hands the commands back.
  tree_->setEnabled(false);
  StartWorker([this, &recovery, database = selection_.database,
               depth = selection_.deep_scan ? ScanDepth::kDeep : ScanDepth::kQuick] {
    if (RunAnalysis(recovery, database, depth) != AnalysisOutcome::kCompleted) return;
    OnWindowThread([this] {
      status_progress_.Finish();
      progress_->setValue(status_progress_.value());
    });
    // The folders' item counts come after: the tree is usable meanwhile, and a folder
    // selected now is listed once they are in. Save Mailbox waits for them.
    EnableControl(WindowControl::kSaveMailboxButton, false);
    EnableMenuCommand(MenuCommand::kSaveMailbox, false);
    const std::unordered_map<TreeNodeHandle, std::size_t> counts = CountItemsByFolder(recovery);
    if (recovery.pause_gate().IsCancelled()) return;  // a new run has begun
    OnWindowThread([this, &counts] { ShowItemCounts(counts); });
    EnableControl(WindowControl::kSaveMailboxButton, true);
    EnableMenuCommand(MenuCommand::kSaveMailbox, true);
  });
}

void MainWindow::ShowItemCounts(const std::unordered_map<TreeNodeHandle, std::size_t>& counts) {
  for (const auto& [node, count] : counts) tree_->SetItemCount(node, count);
}

namespace {

void CollectChecked(const FolderTreeWidget& tree, QTreeWidgetItem* item,
                    std::vector<TreeNodeHandle>& folders) {
  if (FolderTreeWidget::IsChecked(item)) folders.push_back(tree.Handle(item));
  for (int i = 0; i < item->childCount(); ++i) CollectChecked(tree, item->child(i), folders);
}

}  // namespace

void MainWindow::OnSaveMailbox() {
  if (!run_ || !run_->recovery->has_session() || workers_.AnyRunning()) return;
  ExportRequest request;
  for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
    CollectChecked(*tree_, tree_->topLevelItem(i), request.folders);
  }
  // Without checked folders, the selected one is exported.
  if (request.folders.empty() && !tree_->selectedItems().isEmpty()) {
    request.folders.push_back(tree_->Handle(tree_->selectedItems().front()));
  }
  if (request.folders.empty()) {
    dialogs_.ShowMessage(this, QStringLiteral("Please select or check the folders to export"),
                         MessageKind::kInformation);
    return;
  }
  std::optional<ExportChoice> choice = dialogs_.ChooseExport(this);
  if (!choice) return;
  std::optional<QString> output =
      dialogs_.ChooseFolder(this, QStringLiteral("Select the output folder"));
  if (!output || output->isEmpty()) return;
  request.kinds = choice->kinds;
  request.include_deleted = choice->include_deleted;
  request.mail_format = choice->mail_format;
  request.output_folder = ToPath(*output);
  // A second export into the same folder would add every item again: asked, never assumed.
  if (HoldsEarlierExport(request.output_folder)) {
    const std::optional<EarlierExportChoice> earlier = dialogs_.ChooseEarlierExport(this, *output);
    if (!earlier) return;
    request.earlier_export = *earlier;
  }
  // The program's own folder is not writable once installed; the manifest is the process's.
  request.manifest_folder = message_folder_path_;

  Recovery& recovery = *run_->recovery;
  tree_->setEnabled(false);
  list_->setEnabled(false);
  browse_button_->setEnabled(false);
  open_action_->setEnabled(false);
  save_button_->setEnabled(false);
  save_action_->setEnabled(false);
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
      // Which items and why are in the report the output folder keeps.
      text = ToU16String(QString::fromStdString(summary)) + u"\nReport: " +
             TextFromPath(request.output_folder / kExportReportFileName);
    }
    ShowMessage(text, outcome.error.empty() ? MessageKind::kInformation : MessageKind::kError);
  });
}

void MainWindow::OnStopResume() {
  const bool stopping = stop_button_->text() == QStringLiteral("Stop");
  const MessageAnswer answer = dialogs_.ShowMessage(
      this, ToQString(stopping ? kStopQuestion : kResumeQuestion), MessageKind::kQuestion);
  if (answer != MessageAnswer::kYes) return;
  if (stopping) {
    UpdateStopButton(true);
    if (run_) run_->gate.Pause();
    ShowMessagePage(kStoppedPage);
  } else {
    UpdateStopButton(false);
    if (run_) run_->gate.Resume();
    ShowMessagePage(kResumedPage);
  }
}

void MainWindow::UpdateStopButton(bool stopped) {
  stop_button_->setText(stopped ? QStringLiteral("Resume") : QStringLiteral("Stop"));
  stop_button_->setIcon(stopped ? ThemeIcon(*this, "media-playback-start", QStyle::SP_MediaPlay)
                                : ThemeIcon(*this, "media-playback-pause", QStyle::SP_MediaPause));
}

void MainWindow::OnExit() {
  if (dialogs_.ShowMessage(this, ToQString(kCloseQuestion), MessageKind::kQuestion) !=
      MessageAnswer::kYes) {
    return;
  }
  closing_ = true;
  if (end_program_) end_program_();
}

void MainWindow::OnHelp() {
  QDesktopServices::openUrl(QUrl::fromLocalFile(PathToQString(HelpPage(program_folder_))));
}

void MainWindow::OnAbout() {
  dialogs_.ShowAbout(this);
}

void MainWindow::OnTreeSelectionChanged() {
  const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
  if (selected.isEmpty()) return;
  ListFolder(tree_->Handle(selected.front()));
}

void MainWindow::ListFolder(TreeNodeHandle node) {
  if (!run_) return;
  Recovery& recovery = *run_->recovery;
  // Disabled here already, so that no second click slips in before the loader starts; the
  // list too, as no preview may read the model while the loader changes it.
  tree_->setEnabled(false);
  list_->setEnabled(false);
  StartWorker([this, &recovery, node] {
    LoadMailbox(recovery, node);
    OnWindowThread([this, node] {
      MarkListPositions(*list_);
      listed_folder_ = node;
      SortList();
      ApplySearch();
    });
    EnableControl(WindowControl::kItemList, true);
    EnableControl(WindowControl::kFolderTree, true);
  });
}

void MainWindow::BuildStoreSearch() {
  search_panel_ = new StoreSearchPanel(this);
  search_dock_ = new QDockWidget(QStringLiteral("Search Store"), this);
  search_dock_->setObjectName(QStringLiteral("storeSearch"));
  search_dock_->setWidget(search_panel_);
  search_dock_->setAllowedAreas(Qt::BottomDockWidgetArea | Qt::TopDockWidgetArea);
  addDockWidget(Qt::BottomDockWidgetArea, search_dock_);
  search_dock_->hide();
  connect(search_panel_, &StoreSearchPanel::SearchRequested, this, &MainWindow::OnStoreSearch);
  connect(search_panel_, &StoreSearchPanel::StopRequested, this, [this] { search_stop_ = true; });
  connect(search_panel_, &StoreSearchPanel::ResultActivated, this,
          &MainWindow::OnSearchResultActivated);
  UpdateSearchAllowed();
}

void MainWindow::UpdateSearchAllowed() {
  search_panel_->SetSearchAllowed(run_ != nullptr && run_->recovery->has_session() &&
                                  running_workers_ == 0);
}

void MainWindow::OnWorkerEnded() {
  --running_workers_;
  UpdateSearchAllowed();
  OpenPendingResult();
}

void MainWindow::OnShowStoreSearch() {
  // Reopened at its first size: the panes above keep most of the window.
  if (search_dock_->isHidden()) resizeDocks({search_dock_}, {height() * 2 / 5}, Qt::Vertical);
  search_dock_->show();
  search_dock_->raise();
  search_panel_->from_edit()->setFocus(Qt::ShortcutFocusReason);
}

void MainWindow::OnStoreSearch() {
  if (!run_ || !run_->recovery->has_session() || running_workers_ > 0) return;
  QString problem;
  std::optional<SearchConditions> conditions = SearchConditionsOf(search_panel_->form(), &problem);
  if (!conditions) {
    dialogs_.ShowMessage(this, problem, MessageKind::kError);
    return;
  }
  search_stop_ = false;
  pending_result_.reset();
  search_panel_->OnSearchStarted();
  Recovery& recovery = *run_->recovery;
  tree_->setEnabled(false);
  list_->setEnabled(false);
  // Shared: the conditions' patterns cannot be copied, and the worker's function must be.
  StartWorker([this, &recovery,
               conditions = std::make_shared<const SearchConditions>(std::move(*conditions))] {
    std::size_t found = 0;
    const auto on_match = [this, &found](const SearchMatch& match) {
      if (search_stop_) return false;
      const StoreSearchResult result{match.folder, match.position, ToQString(match.row[0])};
      std::vector<QString> cells;
      for (const std::u16string& cell : match.row) cells.push_back(ToQString(cell));
      const QString folder_path = ToQString(match.folder_path);
      ++found;
      OnWindowThread([&] { search_panel_->AddResult(result, folder_path, cells); });
      return !search_stop_;
    };
    // Each folder is a step of the whole search, so that the bar never goes back when the
    // tables of the next folder are read.
    const auto on_progress = [this, &found](const SearchProgress& progress) {
      if (progress.folders_total > 0) {
        const std::size_t step = std::min(progress.folders_done + 1, progress.folders_total);
        SetStatusText(ToU16String(QStringLiteral("(Step %1/%2) Searching the store: %3 found")
                                      .arg(step)
                                      .arg(progress.folders_total)
                                      .arg(found == 1 ? QStringLiteral("1 item")
                                                      : QStringLiteral("%1 items").arg(found))));
      }
      return !search_stop_;
    };
    const SearchOutcome outcome = SearchItems(recovery, *conditions, {}, on_match, on_progress);
    const bool stopped = outcome.stopped || search_stop_;
    OnWindowThread([this, stopped] {
      status_progress_.Finish();
      progress_->setValue(status_progress_.value());
      status_text_->clear();
      search_panel_->OnSearchFinished(stopped);
    });
    EnableControl(WindowControl::kItemList, true);
    EnableControl(WindowControl::kFolderTree, true);
  });
}

void MainWindow::OnSearchResultActivated(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= search_panel_->results().size()) return;
  pending_result_ = search_panel_->result(row);
  // A running search ends first; the result opens when it has.
  if (search_panel_->searching()) {
    search_stop_ = true;
    return;
  }
  OpenPendingResult();
}

void MainWindow::OpenPendingResult() {
  if (!pending_result_ || !run_ || running_workers_ > 0) return;
  QTreeWidgetItem* folder = tree_->Item(pending_result_->folder);
  if (folder == nullptr) {
    pending_result_.reset();
    return;
  }
  if (listed_folder_ != pending_result_->folder || tree_->currentItem() != folder) {
    // The listing is work of its own; when it ends, this runs again.
    if (tree_->currentItem() == folder) {
      ListFolder(pending_result_->folder);
    } else {
      tree_->setCurrentItem(folder);
    }
    return;
  }
  const StoreSearchResult result = *pending_result_;
  pending_result_.reset();
  const int row = RowAtListPosition(*list_, result.position);
  if (row < 0 || CellValue(*list_, row, 0) != result.message_id) {
    // The folder lists differently now: say so rather than show another item.
    status_text_->setText(
        QStringLiteral("The item is no longer where the search found it; search again"));
    return;
  }
  // An item the filter box hides is shown: the user asked for it.
  if (list_->isRowHidden(row)) search_edit_->clear();
  list_->setCurrentCell(row, kSubjectColumn);
  list_->scrollToItem(list_->item(row, kSubjectColumn), QAbstractItemView::PositionAtCenter);
  OnListClicked(row);
}

void MainWindow::OnHeaderClicked(int column) {
  // A second click on the same column turns the order round.
  sort_order_ = column == sort_column_ && sort_order_ == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                            : Qt::AscendingOrder;
  sort_column_ = column;
  list_->horizontalHeader()->setSortIndicatorShown(true);
  list_->horizontalHeader()->setSortIndicator(column, sort_order_);
  // While the loader fills the list, the order is applied when it is done.
  if (list_->isEnabled()) SortList();
}

void MainWindow::SortList() {
  if (sort_column_ >= 0) list_->sortItems(sort_column_, sort_order_);
}

void MainWindow::ApplySearch() {
  const QString needle = search_edit_->text().trimmed().toCaseFolded();
  for (int row = 0; row < list_->rowCount(); ++row) {
    list_->setRowHidden(row, !RowMatches(*list_, row, needle));
  }
}

void MainWindow::OnAttachmentRequested(const std::filesystem::path& file) {
  const std::optional<QString> target =
      dialogs_.ChooseSaveFile(this, PathToQString(file.filename()));
  if (!target || target->isEmpty()) return;
  std::error_code error;
  std::filesystem::copy_file(file, ToPath(*target),
                             std::filesystem::copy_options::overwrite_existing, error);
  if (error) {
    ShowMessage(ToU16String(QStringLiteral("The attachment could not be saved: %1")
                                .arg(QString::fromStdString(error.message()))),
                MessageKind::kError);
  }
}

void MainWindow::OnListClicked(int row) {
  if (!run_ || row < 0 || row >= list_->rowCount()) return;
  ItemListRow texts;
  for (int column = 0; column < kItemListColumnCount; ++column) {
    texts[static_cast<std::size_t>(column)] = ToU16String(CellValue(*list_, row, column));
  }
  Recovery& recovery = *run_->recovery;
  tree_->setEnabled(false);
  list_->setEnabled(false);
  StartWorker([this, &recovery, texts = std::move(texts)] {
    ShowItemPreview(recovery, texts);
    OnWindowThread([this] { emit ItemPreviewed(); });
  });
}

void MainWindow::StartWorker(std::function<void()> work) {
  status_progress_.Restart();
  progress_->setValue(0);
  ++running_workers_;
  UpdateSearchAllowed();
  workers_.Start([this, run = run_.get(), work = std::move(work)] {
    {
      std::lock_guard core_lock(run->core);
      work();
    }
    OnWindowThread([this] { OnWorkerEnded(); });
  });
}

void MainWindow::ShowMessagePage(std::u16string_view html) {
  message_pages_.Show(*this, html);
}

void MainWindow::OnWindowThread(const std::function<void()>& call) {
  if (QThread::currentThread() == thread()) {
    call();
    return;
  }
  if (closing_) return;
  QMetaObject::invokeMethod(this, call, Qt::BlockingQueuedConnection);
}

void MainWindow::SetStatusText(std::u16string_view text) {
  OnWindowThread([this, text] {
    const QString shown = ToQString(text);
    status_text_->setText(shown);
    status_progress_.OnStatusText(shown);
    progress_->setValue(status_progress_.value());
  });
}

void MainWindow::SetProgressRange(int lowest, int highest) {
  OnWindowThread([this, lowest, highest] {
    status_progress_.OnRange(lowest, highest);
    progress_->setValue(status_progress_.value());
  });
}

void MainWindow::SetProgressPosition(int position) {
  OnWindowThread([this, position] {
    status_progress_.OnPosition(position);
    progress_->setValue(status_progress_.value());
  });
}

TreeNodeHandle MainWindow::InsertTreeNode(TreeNodeHandle parent, std::u16string_view text,
                                          int image) {
  TreeNodeHandle node = kTopOfTree;
  OnWindowThread([&] { node = tree_->AddNode(parent, ToQString(text), image); });
  return node;
}

int MainWindow::InsertListRow(int row, std::u16string_view first_column) {
  int inserted = -1;
  OnWindowThread([&] {
    const int count = list_->rowCount();
    inserted = row < 0 || row > count ? count : row;
    list_->insertRow(inserted);
    list_->setItem(inserted, 0, new ItemCell(0, ToQString(first_column), attachment_icon_));
  });
  return inserted;
}

void MainWindow::SetListCell(int row, int column, std::u16string_view text) {
  OnWindowThread([&] {
    if (row < 0 || row >= list_->rowCount() || column < 0 || column >= kItemListColumnCount) {
      return;
    }
    list_->setItem(row, column, new ItemCell(column, ToQString(text), attachment_icon_));
    // The state comes last: an item the deep scan found deleted or off the tree is shown
    // greyed, a deleted one in italics too, so that it is never taken for a live one.
    if (column == kItemStateColumn && text != ItemStateText(ese::RecordState::kLive)) {
      const QColor grey = list_->palette().color(QPalette::Disabled, QPalette::Text);
      const bool deleted = text == ItemStateText(ese::RecordState::kDeleted);
      for (int cell = 0; cell < kItemListColumnCount; ++cell) {
        QTableWidgetItem* item = list_->item(row, cell);
        if (item == nullptr) continue;
        item->setForeground(grey);
        QFont font = item->font();
        font.setItalic(deleted);
        item->setFont(font);
      }
    }
  });
}

void MainWindow::ClearList() {
  OnWindowThread([this] { list_->setRowCount(0); });
}

void MainWindow::EnableControl(WindowControl control, bool enabled) {
  OnWindowThread([this, control, enabled] {
    switch (control) {
      case WindowControl::kFolderTree:
        tree_->setEnabled(enabled);
        break;
      case WindowControl::kItemList:
        list_->setEnabled(enabled);
        break;
      case WindowControl::kBrowseButton:
        browse_button_->setEnabled(enabled);
        break;
      case WindowControl::kStopButton:
        stop_button_->setEnabled(enabled);
        break;
      case WindowControl::kSaveMailboxButton:
        save_button_->setEnabled(enabled);
        break;
    }
  });
}

void MainWindow::EnableMenuCommand(MenuCommand command, bool enabled) {
  OnWindowThread([this, command, enabled] {
    switch (command) {
      case MenuCommand::kOpenExchangeEdb:
        open_action_->setEnabled(enabled);
        break;
      case MenuCommand::kExit:
        exit_action_->setEnabled(enabled);
        break;
      case MenuCommand::kAbout:
        about_action_->setEnabled(enabled);
        break;
      case MenuCommand::kHelp:
        help_action_->setEnabled(enabled);
        break;
      case MenuCommand::kSaveMailbox:
        save_action_->setEnabled(enabled);
        break;
    }
  });
}

void MainWindow::Navigate(const std::filesystem::path& page) {
  OnWindowThread([this, &page] { browser_->Navigate(page); });
}

MessageAnswer MainWindow::ShowMessage(std::u16string_view text, MessageKind kind) {
  MessageAnswer answer = kind == MessageKind::kQuestion ? MessageAnswer::kNo : MessageAnswer::kOk;
  OnWindowThread([&] { answer = dialogs_.ShowMessage(this, ToQString(text), kind); });
  return answer;
}

}  // namespace tarvex
