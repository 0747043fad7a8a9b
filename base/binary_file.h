#pragma once

// The buffered binary file the text file classes build on: open with the classic open flags,
// raw reads and writes, seeking, and the plain byte line read.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

namespace tarvex {

enum class SeekOrigin { kBegin, kCurrent, kEnd };

class BinaryFile {
 public:
  // Open flags, as the writers of the working folder pass them.
  static constexpr unsigned kRead = 0x0000;
  static constexpr unsigned kWrite = 0x0001;
  static constexpr unsigned kReadWrite = 0x0002;
  static constexpr unsigned kCreate = 0x1000;  // create, truncating an existing file
  static constexpr unsigned kNoTruncate = 0x2000;
  static constexpr unsigned kText = 0x4000;
  static constexpr unsigned kBinary = 0x8000;  // no line-end translation happens either way

  BinaryFile() = default;
  virtual ~BinaryFile() = default;
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;

  // False on failure, with the reason in `error` when given. Never throws: writers that cannot
  // open their file skip it silently. An open file is closed first.
  virtual bool Open(const std::filesystem::path& path, unsigned flags,
                    std::error_code* error = nullptr);
  bool IsOpen() const { return file_ != nullptr; }
  void Close();

  bool Write(const void* data, std::size_t size);
  std::size_t Read(void* data, std::size_t size);

  // Returns the new position; a failed seek leaves the position where it was.
  virtual std::uint64_t Seek(std::int64_t offset, SeekOrigin origin);
  std::uint64_t SeekToBegin() { return Seek(0, SeekOrigin::kBegin); }
  std::uint64_t Position() const;
  std::uint64_t Length() const;

 protected:
  // Bytes up to and including the next LF (or to the end of the file); false when nothing
  // was left to read.
  bool ReadByteLine(std::string& line);

 private:
  enum class LastAccess { kNone, kRead, kWrite };
  // A stdio stream needs a positioning call between reading and writing.
  void SwitchTo(LastAccess access);

  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  LastAccess last_ = LastAccess::kNone;
};

}  // namespace tarvex
