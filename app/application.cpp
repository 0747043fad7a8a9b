#include "app/application.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <cstdlib>

#include "app/main_window.h"
#include "app/dialog_provider.h"
#include "app/local_page_scheme.h"
#include "app/qt_text.h"

namespace tarvex {

void PrepareBrowserEnvironment() {
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  RegisterLocalPageScheme();
}

int Application::Run(int argc, char** argv) {
  PrepareBrowserEnvironment();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tarvex Mailbox Rescue"));
  QApplication::setApplicationVersion(QStringLiteral(TARVEX_VERSION));
  QtDialogProvider dialogs;
  MainWindow* window = nullptr;
  // Exit ends the process at once, workers included; only the message pages are removed.
  auto end_program = [&window] {
    if (window != nullptr) QDir(PathToQString(window->message_folder())).removeRecursively();
    std::_Exit(0);
  };
  MainWindow main_window(dialogs, end_program);
  window = &main_window;
  main_window.showMaximized();
  return QApplication::exec();
}

}  // namespace tarvex
