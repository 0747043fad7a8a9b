#pragma once

// The main window: folder tree, item list and preview browser, the Browse, Stop/Resume and
// Exit commands, and the status bar. It is also the core's WindowPort: worker threads call it,
// and every call is carried out on the window thread while the worker waits.

#include <QIcon>
#include <QMainWindow>
#include <QTemporaryDir>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "app/source_selection_dialog.h"
#include "app/status_progress.h"
#include "app/store_search_panel.h"
#include "app/worker_threads.h"
#include "base/message_pages.h"
#include "base/pause_gate.h"
#include "base/window_port.h"

class QAction;
class QDockWidget;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTableWidget;

namespace tarvex {

class PreviewBrowser;
class FolderTreeWidget;
class DialogProvider;
class Recovery;

inline constexpr char16_t kRecoveryStartedPage[] =
    u"<div align=\"center\"><br><br><h1 >Recovery Started! Please wait for "
    u"completion...</h1><br><br> </div>";
inline constexpr char16_t kStoppedPage[] =
    u"<div align=\"center\"><br><br><h1 >Process stopped by user...</h1><br><br></div>";
inline constexpr char16_t kResumedPage[] =
    u"<div align=\"center\"><br><br><h1 >Process resumed by user...</h1><br><br></div>";

class MainWindow : public QMainWindow, public WindowPort {
  Q_OBJECT

 public:
  // `end_program` ends the process at once when the user confirms Exit.
  MainWindow(DialogProvider& dialogs, std::function<void()> end_program, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The database the window opens when it is first shown, instead of asking for one (a path
  // given on the command line).
  void set_startup_database(std::filesystem::path database) {
    startup_database_ = std::move(database);
  }

  // Commands.
  void OnBrowse();
  // Analyses `database` with the working folder of the last run, or the default one: a path
  // typed into the path field, dropped on the window or given on the command line.
  void OpenDatabase(const std::filesystem::path& database);
  void OnSaveMailbox();
  void OnStopResume();
  void OnExit();
  void OnHelp();
  void OnAbout();
  // Shows the store-wide search and puts the cursor in its first field.
  void OnShowStoreSearch();

  // WindowPort, callable from any thread.
  void SetStatusText(std::u16string_view text) override;
  void SetProgressRange(int lowest, int highest) override;
  void SetProgressPosition(int position) override;
  TreeNodeHandle InsertTreeNode(TreeNodeHandle parent, std::u16string_view text,
                                int image) override;
  int InsertListRow(int row, std::u16string_view first_column) override;
  void SetListCell(int row, int column, std::u16string_view text) override;
  void ClearList() override;
  void EnableControl(WindowControl control, bool enabled) override;
  void EnableMenuCommand(MenuCommand command, bool enabled) override;
  void Navigate(const std::filesystem::path& page) override;
  MessageAnswer ShowMessage(std::u16string_view text, MessageKind kind) override;

  FolderTreeWidget* tree() const { return tree_; }
  QTableWidget* list() const { return list_; }
  PreviewBrowser* browser() const { return browser_; }
  QLineEdit* path_edit() const { return path_edit_; }
  QLineEdit* search_edit() const { return search_edit_; }
  QPushButton* browse_button() const { return browse_button_; }
  QPushButton* stop_button() const { return stop_button_; }
  QPushButton* save_button() const { return save_button_; }
  QPushButton* exit_button() const { return exit_button_; }
  QProgressBar* progress_bar() const { return progress_; }
  QLabel* status_label() const { return status_text_; }
  QAction* open_action() const { return open_action_; }
  QAction* store_search_action() const { return store_search_action_; }
  StoreSearchPanel* search_panel() const { return search_panel_; }
  QDockWidget* search_dock() const { return search_dock_; }
  QSplitter* vertical_splitter() const { return vertical_splitter_; }
  QSplitter* horizontal_splitter() const { return horizontal_splitter_; }
  const std::filesystem::path& message_folder() const { return message_folder_path_; }
  const SourceSelection& selection() const { return selection_; }
  // The gate of the current run; null before the first analysis.
  PauseGate* pause_gate();
  bool WorkerRunning() const { return workers_.AnyRunning(); }
  // Waits for the workers while serving their calls.
  void WaitForWorkers() { workers_.WaitAll(); }

 signals:
  // The preview of a clicked item has been written and the browser sent to it.
  void ItemPreviewed();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // One analysed database: the gate its workers check and everything rebuilt from it.
  struct Run {
    PauseGate gate;
    std::unique_ptr<Recovery> recovery;
    // Held by every worker of the run while it uses the core, so that the item counts taken
    // after the analysis and a folder selected meanwhile take turns.
    std::mutex core;
  };

  void StartAnalysis(bool at_start_up);
  void OpenDatabase(const std::filesystem::path& database, bool at_start_up);
  // Starts the analysis of `selection_` (whose database exists).
  void BeginRun(bool at_start_up);
  void ShowItemCounts(const std::unordered_map<TreeNodeHandle, std::size_t>& counts);
  void OnHeaderClicked(int column);
  void ApplySearch();
  void SortList();
  void OnAttachmentRequested(const std::filesystem::path& file);
  void UpdateStopButton(bool stopping);
  void BuildControls();
  void BuildMenus();
  void BuildStatusBar();
  void OnTreeSelectionChanged();
  // Starts the loader that lists the folder's items.
  void ListFolder(TreeNodeHandle node);
  void OnListClicked(int row);
  void BuildStoreSearch();
  void OnStoreSearch();
  void OnSearchResultActivated(int row);
  // Opens the result the user last activated, once no work runs: selects its folder (and
  // waits for the listing), then its row, and previews it.
  void OpenPendingResult();
  // Search is offered while a store is open and no work runs.
  void UpdateSearchAllowed();
  // Called on the window thread by every worker as it ends.
  void OnWorkerEnded();
  void StartWorker(std::function<void()> work);
  void EndRun();
  void ShowMessagePage(std::u16string_view html);
  void DeleteWorkingFolderFiles();
  // Runs `call` on the window thread and returns when it is done.
  void OnWindowThread(const std::function<void()>& call);

  DialogProvider& dialogs_;
  std::function<void()> end_program_;
  QTemporaryDir message_folder_;
  std::filesystem::path message_folder_path_;
  std::filesystem::path startup_directory_;
  std::filesystem::path program_folder_;
  std::filesystem::path startup_database_;
  MessagePages message_pages_;
  SourceSelection selection_;
  std::unique_ptr<Run> run_;
  bool shown_once_ = false;
  std::atomic<bool> closing_{false};

  FolderTreeWidget* tree_ = nullptr;
  QTableWidget* list_ = nullptr;
  PreviewBrowser* browser_ = nullptr;
  QLineEdit* path_edit_ = nullptr;
  QLineEdit* search_edit_ = nullptr;
  QIcon attachment_icon_;
  // The column the user sorted the list by, if any, and its order.
  int sort_column_ = -1;
  Qt::SortOrder sort_order_ = Qt::AscendingOrder;
  StatusProgress status_progress_;
  QPushButton* browse_button_ = nullptr;
  QPushButton* stop_button_ = nullptr;
  QPushButton* save_button_ = nullptr;
  QPushButton* exit_button_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* status_text_ = nullptr;
  QAction* open_action_ = nullptr;
  QAction* store_search_action_ = nullptr;
  QAction* exit_action_ = nullptr;
  QAction* save_action_ = nullptr;
  QAction* help_action_ = nullptr;
  QAction* about_action_ = nullptr;
  QSplitter* vertical_splitter_ = nullptr;
  QSplitter* horizontal_splitter_ = nullptr;
  StoreSearchPanel* search_panel_ = nullptr;
  QDockWidget* search_dock_ = nullptr;
  QPushButton* store_search_button_ = nullptr;
  // Set by the search panel's Stop; the search worker ends at its next item.
  std::atomic<bool> search_stop_{false};
  // The search result to open, and the folder whose items the list holds.
  std::optional<StoreSearchResult> pending_result_;
  TreeNodeHandle listed_folder_ = kTopOfTree;
  // Workers started and not yet ended; counted on the window thread.
  int running_workers_ = 0;

  // Last member: its destructor waits for the workers while the window is still whole.
  WorkerThreads workers_;
};

}  // namespace tarvex
