#include "base/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "base/file_names.h"
#include "base/utf_conversion.h"

namespace tarvex {
namespace {

std::filesystem::path FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] == '/' ? std::filesystem::path(value)
                                             : std::filesystem::path();
}

std::u16string Problem(const std::filesystem::path& folder, std::u16string_view reason) {
  return u"The working folder " + TextFromPath(folder) + u" cannot be used: " +
         std::u16string(reason);
}

}  // namespace

std::filesystem::path UserWorkingFolderParent() {
  std::filesystem::path cache = FromEnvironment("XDG_CACHE_HOME");
  if (cache.empty()) {
    const std::filesystem::path home = FromEnvironment("HOME");
    if (!home.empty()) cache = home / ".cache";
  }
  if (!cache.empty()) return cache / "tarvex";
  std::error_code error;
  std::filesystem::path shared = std::filesystem::temp_directory_path(error);
  return error ? std::filesystem::path("/tmp") : shared;
}

std::u16string MakePrivateFolder(const std::filesystem::path& folder) {
  // Parents are made as the user's umask allows; the folder itself for this user alone.
  std::error_code error;
  if (folder.has_parent_path()) std::filesystem::create_directories(folder.parent_path(), error);
  if (mkdir(folder.c_str(), S_IRWXU) != 0 && errno != EEXIST) {
    return Problem(folder, Utf8ToUtf16(std::strerror(errno)));
  }
  struct stat status {};
  if (lstat(folder.c_str(), &status) != 0) return Problem(folder, Utf8ToUtf16(std::strerror(errno)));
  if (S_ISLNK(status.st_mode)) return Problem(folder, u"it is a symbolic link");
  if (!S_ISDIR(status.st_mode)) return Problem(folder, u"it is not a folder");
  if (status.st_uid != geteuid()) return Problem(folder, u"it belongs to another user");
  if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return Problem(folder, u"others may write into it");
  }
  return u"";
}

}  // namespace tarvex
