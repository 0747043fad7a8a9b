#pragma once

// The application object: prepares Qt and the embedded browser, shows the main window and
// returns when the program ends.

#include <QStringList>
#include <filesystem>

namespace tarvex {

class Application {
 public:
  int Run(int argc, char** argv);
};

// The database named on the command line (the program's arguments after Qt took its own),
// made absolute; empty when none is named.
std::filesystem::path DatabaseArgument(const QStringList& arguments);

// Qt WebEngine's sandbox cannot run as root; without this the browser stays blank there.
void PrepareBrowserEnvironment();

}  // namespace tarvex
