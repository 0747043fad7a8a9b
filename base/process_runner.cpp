#include "base/process_runner.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace tarvex {
namespace {

// posix_spawn takes non-const strings; the copies live until the child has started.
class ArgumentVector {
 public:
  ArgumentVector(const std::filesystem::path& program, const std::vector<std::string>& arguments) {
    texts_.reserve(arguments.size() + 1);
    texts_.push_back(program.string());
    texts_.insert(texts_.end(), arguments.begin(), arguments.end());
    pointers_.reserve(texts_.size() + 1);
    for (std::string& text : texts_) pointers_.push_back(text.data());
    pointers_.push_back(nullptr);
  }
  const char* program() const { return texts_.front().c_str(); }
  char* const* argv() { return pointers_.data(); }

 private:
  std::vector<std::string> texts_;
  std::vector<char*> pointers_;
};

std::optional<int> WaitForExit(pid_t child) {
  int status = 0;
  for (;;) {
    if (waitpid(child, &status, 0) == child) break;
    if (errno != EINTR) return std::nullopt;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return std::nullopt;
}

}  // namespace

std::optional<int> RunProgramAndWait(const std::filesystem::path& program,
                                     const std::vector<std::string>& arguments,
                                     const std::function<void()>& started) {
  ArgumentVector argv(program, arguments);
  pid_t child = 0;
  if (posix_spawn(&child, argv.program(), nullptr, nullptr, argv.argv(), environ) != 0) {
    return std::nullopt;
  }
  if (started) started();
  return WaitForExit(child);
}

LineProcess::~LineProcess() {
  Finish();
}

bool LineProcess::Start(const std::filesystem::path& program,
                        const std::vector<std::string>& arguments) {
  Finish();
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // dup2 leaves the copies open across exec; the originals close with it.
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  ArgumentVector argv(program, arguments);
  const int spawned = posix_spawn(&child_, argv.program(), &actions, nullptr, argv.argv(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(ends[1]);
  if (spawned != 0) {
    ::close(ends[0]);
    child_ = 0;
    return false;
  }
  socket_ = ends[0];
  pending_.clear();
  went_silent_ = false;
  return true;
}

bool LineProcess::SendLine(std::string_view line) {
  if (socket_ < 0) return false;
  std::string bytes(line);
  bytes += '\n';
  std::string_view rest = bytes;
  while (!rest.empty()) {
    const ssize_t sent = ::send(socket_, rest.data(), rest.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    rest.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

std::optional<std::string> LineProcess::ReadLine() {
  return ReadLine(std::chrono::milliseconds(-1));
}

std::optional<std::string> LineProcess::ReadLine(std::chrono::milliseconds silence) {
  for (;;) {
    const std::size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return line;
    }
    if (socket_ < 0) return std::nullopt;
    if (silence.count() >= 0) {
      pollfd readable{socket_, POLLIN, 0};
      const int ready = ::poll(&readable, 1, static_cast<int>(silence.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) {
        went_silent_ = true;
        ::kill(child_, SIGKILL);
        Finish();
        return std::nullopt;
      }
    }
    char buffer[4096];
    const ssize_t received = ::recv(socket_, buffer, sizeof buffer, 0);
    if (received < 0 && errno == EINTR) continue;
    // A last line without line end is dropped: the helper ended in the middle of it.
    if (received <= 0) return std::nullopt;
    pending_.append(buffer, static_cast<std::size_t>(received));
  }
}

std::optional<int> LineProcess::Finish() {
  if (socket_ >= 0) {
    ::close(socket_);
    socket_ = -1;
  }
  if (child_ == 0) return std::nullopt;
  const pid_t child = child_;
  child_ = 0;
  return WaitForExit(child);
}

}  // namespace tarvex
