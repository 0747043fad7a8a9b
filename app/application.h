#pragma once

// The application object: prepares Qt and the embedded browser, shows the main window and
// returns when the program ends.

namespace tarvex {

class Application {
 public:
  int Run(int argc, char** argv);
};

// Qt WebEngine's sandbox cannot run as root; without this the browser stays blank there.
void PrepareBrowserEnvironment();

}  // namespace tarvex
