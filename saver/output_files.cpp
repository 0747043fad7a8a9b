#include "saver/output_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <system_error>

#include "base/file_names.h"
#include "base/utf16_text.h"
#include "base/utf_conversion.h"

namespace tarvex {
namespace {

bool NeedsSafeName(std::u16string_view component) {
  if (component == u"." || component == u"..") return true;
  for (char16_t unit : component) {
    if (unit < 0x20 || unit == 0x7F) return true;
  }
  return false;
}

std::string SystemError(const std::string& what, const std::filesystem::path& path) {
  return what + " " + path.string() + ": " + std::strerror(errno);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// A rename is only durable once the folder that holds the name is synced too.
void SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::filesystem::path OutputFolderFromText(std::u16string_view folder_path) {
  std::filesystem::path folder;
  if (!folder_path.empty() && (folder_path[0] == u'/' || folder_path[0] == u'\\')) folder = "/";
  bool any_component = false;
  for (std::size_t start = 0; start <= folder_path.size();) {
    std::size_t end = folder_path.find_first_of(u"/\\", start);
    if (end == std::u16string_view::npos) end = folder_path.size();
    const std::u16string_view component = folder_path.substr(start, end - start);
    start = end + 1;
    if (component.empty()) continue;
    folder /= PathFromText(NeedsSafeName(component) ? SafeFileName(component, u"_")
                                                    : std::u16string(component));
    any_component = true;
  }
  return any_component ? folder : std::filesystem::path();
}

AppendingFile::~AppendingFile() {
  if (fd_ < 0) return;
  if (!committed_) {
    // Best effort: the entry was not completed, so the file goes back to what it was.
    if (::ftruncate(fd_, static_cast<off_t>(initial_size_)) == 0) ::fsync(fd_);
  }
  ::close(fd_);
}

bool AppendingFile::Open(const std::filesystem::path& path, std::string& error) {
  path_ = path;
  fd_ = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    error = SystemError("cannot open", path);
    return false;
  }
  if (::flock(fd_, LOCK_EX) != 0) {
    error = SystemError("cannot lock", path);
    return false;
  }
  struct stat status {};
  if (::fstat(fd_, &status) != 0) {
    error = SystemError("cannot examine", path);
    return false;
  }
  initial_size_ = static_cast<std::size_t>(status.st_size);
  return true;
}

std::string AppendingFile::InitialTail(std::size_t count) const {
  count = std::min(count, initial_size_);
  std::string tail(count, '\0');
  if (fd_ < 0 || ::pread(fd_, tail.data(), count, static_cast<off_t>(initial_size_ - count)) !=
                     static_cast<ssize_t>(count)) {
    return {};
  }
  return tail;
}

bool AppendingFile::Write(std::string_view bytes, std::string& error) {
  if (fd_ < 0 || !WriteAll(fd_, bytes)) {
    error = SystemError("cannot write", path_);
    return false;
  }
  return true;
}

bool AppendingFile::Commit(std::string& error) {
  if (fd_ < 0) {
    error = SystemError("cannot write", path_);
    return false;
  }
  committed_ = true;
  return true;
}

bool SyncFileSystemOf(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::syncfs(fd) == 0;
  ::close(fd);
  return synced;
}

std::optional<MailFormat> MailFormatFromText(std::string_view text) {
  if (text == "mbox") return MailFormat::kMbox;
  if (text == "maildir") return MailFormat::kMaildir;
  if (text == "eml") return MailFormat::kEml;
  return std::nullopt;
}

NewMessageFile::~NewMessageFile() {
  if (fd_ < 0) return;
  ::close(fd_);
  ::unlink(path_.c_str());
}

bool NewMessageFile::CreateEml(const std::filesystem::path& folder, std::u16string_view name,
                               std::string& error) {
  // Long subjects are cut, so that the name with its number stays within a file name's limit.
  constexpr std::size_t kLongestStem = 100;
  std::u16string stem = SafeFileName(Trim(name), u"message");
  if (stem.size() > kLongestStem) stem.resize(kLongestStem);
  for (int number = 1;; ++number) {
    const std::u16string suffix =
        number == 1 ? u".eml" : u" (" + Utf8ToUtf16(std::to_string(number)) + u").eml";
    path_ = folder / PathFromText(stem + suffix);
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ >= 0) return true;
    if (errno != EEXIST) {
      error = SystemError("cannot create", path_);
      return false;
    }
  }
}

bool NewMessageFile::CreateInMaildir(const std::filesystem::path& maildir, std::string& error) {
  for (const char* part : {"cur", "new", "tmp"}) {
    std::error_code create_error;
    std::filesystem::create_directories(maildir / part, create_error);
    if (create_error) {
      error = "cannot create " + (maildir / part).string() + ": " + create_error.message();
      return false;
    }
  }
  // The usual Maildir name: the time in seconds and microseconds and the process, with a count
  // of attempts for the rare name already taken.
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const long long micros = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
  for (int attempt = 0;; ++attempt) {
    const std::string name = std::to_string(micros / 1000000) + ".M" +
                             std::to_string(micros % 1000000) + "P" + std::to_string(::getpid()) +
                             "Q" + std::to_string(attempt) + ".tarvex";
    path_ = maildir / "tmp" / name;
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ >= 0) break;
    if (errno != EEXIST) {
      error = SystemError("cannot create", path_);
      return false;
    }
  }
  maildir_ = maildir;
  return true;
}

bool NewMessageFile::Keep(std::string& error) {
  if (fd_ < 0) {
    error = "no message file is open";
    return false;
  }
  const bool synced = ::close(fd_) == 0;
  fd_ = -1;
  if (!synced) {
    error = SystemError("cannot write", path_);
    ::unlink(path_.c_str());
    return false;
  }
  if (maildir_.empty()) return true;
  // ":2," starts the flags; "S": seen.
  const std::filesystem::path delivered = maildir_ / "cur" / (path_.filename().string() + ":2,S");
  if (::rename(path_.c_str(), delivered.c_str()) != 0) {
    error = SystemError("cannot move into cur/:", path_);
    ::unlink(path_.c_str());
    return false;
  }
  path_ = delivered;
  return true;
}

FolderLock::FolderLock(const std::filesystem::path& folder) {
  fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ >= 0) ::flock(fd_, LOCK_EX);
}

FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool ReplaceFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                           std::string& error) {
  std::random_device random;
  const std::filesystem::path temporary =
      path.parent_path() /
      ("." + path.filename().string() + "." + std::to_string(random()) + ".tmp");
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = SystemError("cannot create", temporary);
    return false;
  }
  const bool written = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  if (!written) error = SystemError("cannot write", temporary);
  ::close(fd);
  if (written && ::rename(temporary.c_str(), path.c_str()) == 0) {
    SyncFolder(path.parent_path());
    return true;
  }
  if (written) error = SystemError("cannot rename over", path);
  ::unlink(temporary.c_str());
  return false;
}

}  // namespace tarvex
