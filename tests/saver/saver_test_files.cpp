#include "saver_test_files.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "base/file_names.h"
#include "base/utf_conversion.h"

extern char** environ;

namespace tarvex::testing {
namespace {

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

int Spawn(const std::vector<std::string>& arguments, const std::filesystem::path& output,
          const std::filesystem::path& errors) {
  SpawnActions actions;
  posix_spawn_file_actions_addopen(actions.get(), 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(actions.get(), 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawnp(&child, argv[0], actions.get(), nullptr, argv.data(), environ) != 0) {
    throw std::runtime_error("cannot start " + arguments[0]);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

std::string ManifestBytes(const ManifestLines& lines, std::u16string_view line_end) {
  std::u16string record;
  for (const auto& [key, value] : lines) record += key + value + std::u16string(line_end);
  return "\xFF\xFE" + EncodeUtf16Le(record);
}

SaverRun RunSaver(std::string_view kind, const std::filesystem::path& manifest_folder) {
  ScratchFolder logs;
  SaverRun run;
  run.exit_code =
      Spawn({MAILSAVING_PROGRAM, std::string(kind), "--manifest-dir", manifest_folder.string()},
            logs.path() / "out", logs.path() / "err");
  run.standard_error = FileText(logs.path() / "err");
  return run;
}

std::string RunForOutput(const std::vector<std::string>& arguments, int& exit_code) {
  ScratchFolder logs;
  exit_code = Spawn(arguments, logs.path() / "out", logs.path() / "err");
  return FileText(logs.path() / "out") + (exit_code != 0 ? FileText(logs.path() / "err") : "");
}

std::u16string Text(const std::filesystem::path& path) {
  return TextFromPath(path);
}
std::filesystem::path PathOf(std::u16string_view text) {
  return PathFromText(text);
}

}  // namespace tarvex::testing
