#pragma once

// Where the saved item goes and how the output files grow without losing what they hold.

#include <filesystem>
#include <string>
#include <string_view>

namespace tarvex {

// The output folder of a manifest's FolderPath ("output folder/mailbox name/folder path").
// Where the output folder ends cannot be told from the text, so every component is checked:
// "/" and "\" both separate components, empty components are dropped, and a component that
// is "." or ".." or holds a control character is replaced by its SafeFileName, so that no
// name from the database climbs out of the output folder. Other components stay as given.
// Empty when the text names no folder at all.
std::filesystem::path OutputFolderFromText(std::u16string_view folder_path);

// An output file opened for appending under an exclusive lock. What is appended becomes part
// of the file only by Commit (written through to the disk); a writer that fails or is
// abandoned cuts the file back to its length before, so a half entry never stays behind.
class AppendingFile {
 public:
  AppendingFile() = default;
  ~AppendingFile();
  AppendingFile(const AppendingFile&) = delete;
  AppendingFile& operator=(const AppendingFile&) = delete;

  bool Open(const std::filesystem::path& path, std::string& error);
  bool Write(std::string_view bytes, std::string& error);
  bool Commit(std::string& error);
  // The length the file had when it was opened.
  std::size_t initial_size() const { return initial_size_; }
  // Up to `count` of the last bytes the file had when it was opened.
  std::string InitialTail(std::size_t count) const;

 private:
  int fd_ = -1;
  std::size_t initial_size_ = 0;
  bool committed_ = false;
  std::filesystem::path path_;
};

// An exclusive lock on a folder, held for the life of the object: two savers that read, extend
// and replace the same file one after the other do not lose each other's entry.
class FolderLock {
 public:
  explicit FolderLock(const std::filesystem::path& folder);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_ = -1;
};

// Replaces the file's content in one step: a temporary file in the same folder, written and
// synced, then renamed over the old one. A reader sees the old or the new file, never a mix.
bool ReplaceFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                           std::string& error);

}  // namespace tarvex
