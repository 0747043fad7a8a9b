#include "app/application.h"

#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

#include "app/dialog_provider.h"
#include "app/local_page_scheme.h"
#include "app/main_window.h"
#include "app/qt_text.h"

namespace tarvex {
namespace {

// For --check-start: the first question the window asks ends the program, which proves the
// window was built, shown and its event loop running.
class StartCheckDialogProvider : public QtDialogProvider {
 public:
  bool RunSourceSelection(SourceSelectionDialog&) override {
    std::puts("tarvex-mailbox-rescue: the window started");
    QApplication::exit(0);
    return false;
  }
};

}  // namespace

std::filesystem::path DatabaseArgument(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.parse(arguments);
  const QStringList positional = parser.positionalArguments();
  if (positional.isEmpty()) return {};
  // Made absolute against the folder the program was started in, as a shell user means it.
  return ToPath(QFileInfo(positional.front()).absoluteFilePath());
}

void PrepareBrowserEnvironment() {
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  RegisterLocalPageScheme();
}

int Application::Run(int argc, char** argv) {
  // Read before Qt starts, so that --help and --version need no display; Qt's own options
  // (-platform and the like) are left to QApplication.
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  QCommandLineParser parser;
  // "-reverse" is one of Qt's options, not -r -e -v ...
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.setApplicationDescription(
      QStringLiteral("Recovers mailboxes, folders and items from Exchange database files."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  const QCommandLineOption check_start(
      QStringLiteral("check-start"),
      QStringLiteral("Start the window and end as soon as it asks for a database "
                     "(a check that an installed program runs)."));
  parser.addOption(check_start);
  parser.addPositionalArgument(QStringLiteral("database"),
                               QStringLiteral("The Exchange database (.edb) to open at once."),
                               QStringLiteral("[database.edb]"));
  parser.parse(arguments);
  if (parser.isSet(help)) {
    // Without a QCoreApplication yet, the parser does not know the program's name.
    const QString text = parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                   QStringLiteral("tarvex-mailbox-rescue"));
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return 0;
  }
  if (parser.isSet(version)) {
    std::puts("Tarvex Mailbox Rescue " TARVEX_VERSION);
    return 0;
  }

  PrepareBrowserEnvironment();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tarvex Mailbox Rescue"));
  QApplication::setApplicationVersion(QStringLiteral(TARVEX_VERSION));

  QtDialogProvider qt_dialogs;
  StartCheckDialogProvider start_check_dialogs;
  DialogProvider& dialogs = parser.isSet(check_start) ? start_check_dialogs : qt_dialogs;
  MainWindow* window = nullptr;
  // Exit ends the process at once, workers included; only the message pages are removed.
  auto end_program = [&window] {
    if (window != nullptr) QDir(PathToQString(window->message_folder())).removeRecursively();
    std::_Exit(0);
  };
  MainWindow main_window(dialogs, end_program);
  window = &main_window;
  // Read again now that QApplication has taken its own options (-platform x and the like) out.
  if (!parser.isSet(check_start)) {
    main_window.set_startup_database(DatabaseArgument(QApplication::arguments()));
  }
  main_window.showMaximized();
  return QApplication::exec();
}

}  // namespace tarvex
