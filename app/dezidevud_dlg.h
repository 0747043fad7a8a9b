#pragma once

// The main window: folder tree, item list and preview browser, the Browse, Stop/Resume and
// Exit commands, and the status bar. It is also the core's WindowPort: worker threads call it,
// and every call is carried out on the window thread while the worker waits.

#include <QMainWindow>
#include <QTemporaryDir>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/browse_file.h"
#include "app/worker_threads.h"
#include "base/message_pages.h"
#include "base/pause_gate.h"
#include "base/window_port.h"

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTableWidget;

namespace tarvex {

class CExplorer1;
class CFolderTreeCtrl1;
class DialogProvider;
class Recovery;

inline constexpr char16_t kRecoveryStartedPage[] =
    u"<div align=\"center\"><br><br><h1 >Recovery Started! Please wait for "
    u"completion...</h1><br><br> </div>";
inline constexpr char16_t kStoppedPage[] =
    u"<div align=\"center\"><br><br><h1 >Process stoped by user ...</h1><br><br></div>";
inline constexpr char16_t kResumedPage[] =
    u"<div align=\"center\"><br><br><h1 >Process resume by user ...</h1><br><br></div>";

class CDEZIdevudDlg : public QMainWindow, public WindowPort {
  Q_OBJECT

 public:
  // `end_program` ends the process at once when the user confirms Exit.
  CDEZIdevudDlg(DialogProvider& dialogs, std::function<void()> end_program,
                QWidget* parent = nullptr);
  ~CDEZIdevudDlg() override;

  // Commands.
  void OnBrowse();
  void OnSaveMailbox();
  void OnStopResume();
  void OnExit();
  void OnHelp();
  void OnAbout();

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

  CFolderTreeCtrl1* tree() const { return m_tree; }
  QTableWidget* list() const { return m_list; }
  CExplorer1* browser() const { return m_browser; }
  QLineEdit* path_edit() const { return m_path_edit; }
  QPushButton* browse_button() const { return m_browse_button; }
  QPushButton* stop_button() const { return m_stop_button; }
  QPushButton* save_button() const { return m_save_button; }
  QPushButton* exit_button() const { return m_exit_button; }
  QProgressBar* progress_bar() const { return m_progress; }
  QLabel* status_label() const { return m_status_text; }
  QAction* open_action() const { return m_open_action; }
  QSplitter* vertical_splitter() const { return m_vertical_splitter; }
  QSplitter* horizontal_splitter() const { return m_horizontal_splitter; }
  const std::filesystem::path& message_folder() const { return m_message_folder_path; }
  const SourceSelection& selection() const { return m_selection; }
  // The gate of the current run; null before the first analysis.
  PauseGate* pause_gate();
  bool WorkerRunning() const { return m_workers.AnyRunning(); }
  // Waits for the workers while serving their calls.
  void WaitForWorkers() { m_workers.WaitAll(); }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // One analysed database: the gate its workers check and everything rebuilt from it.
  struct Run {
    PauseGate gate;
    std::unique_ptr<Recovery> recovery;
  };

  void StartAnalysis(bool at_start_up);
  void BuildControls();
  void BuildMenus();
  void BuildStatusBar();
  void OnTreeSelectionChanged();
  void OnListClicked(int row);
  void StartWorker(std::function<void()> work);
  void EndRun();
  void ShowMessagePage(std::u16string_view html);
  void DeleteWorkingFolderFiles();
  // Runs `call` on the window thread and returns when it is done.
  void OnWindowThread(const std::function<void()>& call);

  DialogProvider& m_dialogs;
  std::function<void()> m_end_program;
  QTemporaryDir m_message_folder;
  std::filesystem::path m_message_folder_path;
  std::filesystem::path m_startup_directory;
  std::filesystem::path m_program_folder;
  MessagePages m_message_pages;
  SourceSelection m_selection;
  std::unique_ptr<Run> m_run;
  bool m_shown_once = false;
  std::atomic<bool> m_closing{false};

  CFolderTreeCtrl1* m_tree = nullptr;
  QTableWidget* m_list = nullptr;
  CExplorer1* m_browser = nullptr;
  QLineEdit* m_path_edit = nullptr;
  QPushButton* m_browse_button = nullptr;
  QPushButton* m_stop_button = nullptr;
  QPushButton* m_save_button = nullptr;
  QPushButton* m_exit_button = nullptr;
  QProgressBar* m_progress = nullptr;
  QLabel* m_status_text = nullptr;
  QAction* m_open_action = nullptr;
  QAction* m_exit_action = nullptr;
  QAction* m_save_action = nullptr;
  QAction* m_help_action = nullptr;
  QAction* m_about_action = nullptr;
  QSplitter* m_vertical_splitter = nullptr;
  QSplitter* m_horizontal_splitter = nullptr;

  // Last member: its destructor waits for the workers while the window is still whole.
  WorkerThreads m_workers;
};

}  // namespace tarvex
