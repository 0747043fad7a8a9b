#include "app/dezidevud_app.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <cstdlib>

#include "app/dezidevud_dlg.h"
#include "app/dialog_provider.h"
#include "app/local_page_scheme.h"
#include "app/qt_text.h"

namespace tarvex {

void PrepareBrowserEnvironment() {
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  RegisterLocalPageScheme();
}

int CDEZIdevudApp::Run(int argc, char** argv) {
  PrepareBrowserEnvironment();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tarvex Mailbox Rescue"));
  QApplication::setApplicationVersion(QStringLiteral(TARVEX_VERSION));
  QtDialogProvider dialogs;
  CDEZIdevudDlg* window = nullptr;
  // Exit ends the process at once, workers included; only the message pages are removed.
  auto end_program = [&window] {
    if (window != nullptr) QDir(PathToQString(window->message_folder())).removeRecursively();
    std::_Exit(0);
  };
  CDEZIdevudDlg main_window(dialogs, end_program);
  window = &main_window;
  main_window.showMaximized();
  return QApplication::exec();
}

}  // namespace tarvex
