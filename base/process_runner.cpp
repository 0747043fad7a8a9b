#include "base/process_runner.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace tarvex {

std::optional<int> RunProgramAndWait(const std::filesystem::path& program,
                                     const std::vector<std::string>& arguments,
                                     const std::function<void()>& started) {
  std::string program_text = program.string();
  std::vector<std::string> texts;
  texts.reserve(arguments.size() + 1);
  texts.push_back(program_text);
  texts.insert(texts.end(), arguments.begin(), arguments.end());
  // posix_spawn takes non-const strings; these copies live until the child has started.
  std::vector<char*> argv;
  argv.reserve(texts.size() + 1);
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  pid_t child = 0;
  if (posix_spawn(&child, program_text.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    return std::nullopt;
  }
  if (started) started();
  int status = 0;
  for (;;) {
    if (waitpid(child, &status, 0) == child) break;
    if (errno != EINTR) return std::nullopt;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return std::nullopt;
}

}  // namespace tarvex
