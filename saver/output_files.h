#pragma once

// Where the saved item goes and how the output files grow without losing what they hold.

#include <filesystem>
#include <optional>
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
// of the file only by Commit; a writer that fails or is abandoned cuts the file back to its
// length before, so a half entry never stays behind. Commit does not wait for the disk: the
// saver syncs what it wrote once, when it is done (SyncFileSystemOf), not once per entry.
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

// Writes everything written to the file system that holds `path` through to the disk: one
// call for all the files of a run, however many.
bool SyncFileSystemOf(const std::filesystem::path& path);

// How mail items are stored: appended to "mail.mbox" in each folder, one file per message in a
// Maildir (the folder's cur/, new/ and tmp/), or one ".eml" file per message.
enum class MailFormat { kMbox, kMaildir, kEml };

// "mbox", "maildir" or "eml".
std::optional<MailFormat> MailFormatFromText(std::string_view text);

// A file made for one message, never over an existing file. Until Keep, the file is removed
// again when the object goes, so a message that fails leaves nothing behind.
class NewMessageFile {
 public:
  NewMessageFile() = default;
  ~NewMessageFile();
  NewMessageFile(const NewMessageFile&) = delete;
  NewMessageFile& operator=(const NewMessageFile&) = delete;

  // "<name>.eml" in `folder`, or "<name> (2).eml", "<name> (3).eml", ... when taken. The name is
  // made a plain file name first; an empty one becomes "message".
  bool CreateEml(const std::filesystem::path& folder, std::u16string_view name, std::string& error);
  // A file in the Maildir's tmp/ (cur/, new/ and tmp/ are made when missing) under a name
  // unique to this delivery.
  bool CreateInMaildir(const std::filesystem::path& maildir, std::string& error);

  int fd() const { return fd_; }
  const std::filesystem::path& path() const { return path_; }

  // Closes the file and keeps it. A Maildir message moves from tmp/ to cur/ as a message
  // already seen, which is what a recovered message is.
  bool Keep(std::string& error);

 private:
  int fd_ = -1;
  std::filesystem::path path_;
  std::filesystem::path maildir_;  // set for a Maildir message
};

// Replaces the file's content in one step: a temporary file in the same folder, written and
// synced, then renamed over the old one. A reader sees the old or the new file, never a mix.
bool ReplaceFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                           std::string& error);

}  // namespace tarvex
