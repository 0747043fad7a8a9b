#pragma once

// Starting a helper program and waiting for it, as the export does with the saver.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

// Runs `program` with `arguments` (without the program name), inheriting the standard streams
// and the environment, calls `started` once it runs, and waits without time limit until it
// has ended. Returns its exit status (128 + signal number when a signal ended it), or none
// when it could not be started.
std::optional<int> RunProgramAndWait(const std::filesystem::path& program,
                                     const std::vector<std::string>& arguments,
                                     const std::function<void()>& started = {});

// A helper program that stays running and is talked to in lines: what it reads on its standard
// input comes from SendLine, what it writes on its standard output is read by ReadLine. Its
// standard error stays the caller's. Both ends are one socket pair, so that writing to a
// helper that has died fails instead of raising SIGPIPE.
class LineProcess {
 public:
  LineProcess() = default;
  // Closes the helper's input and waits for it to end.
  ~LineProcess();
  LineProcess(const LineProcess&) = delete;
  LineProcess& operator=(const LineProcess&) = delete;

  // False when it could not be started.
  bool Start(const std::filesystem::path& program, const std::vector<std::string>& arguments);
  bool running() const { return socket_ >= 0; }
  // `line` without its line end; false when the helper no longer reads.
  bool SendLine(std::string_view line);
  // The next line without its line end, waiting without time limit; none once the helper has
  // closed its output (it ended or died).
  std::optional<std::string> ReadLine();
  // The same, but a helper that writes nothing for `silence` is taken for hung: it is killed,
  // `went_silent()` says so, and none is returned.
  std::optional<std::string> ReadLine(std::chrono::milliseconds silence);
  bool went_silent() const { return went_silent_; }
  // Closes the helper's input, waits until it has ended and gives its exit status (128 + signal
  // number when a signal ended it); none when nothing ran.
  std::optional<int> Finish();

 private:
  int socket_ = -1;
  pid_t child_ = 0;
  std::string pending_;  // read but not yet returned
  bool went_silent_ = false;
};

}  // namespace tarvex
