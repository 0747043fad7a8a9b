#pragma once

// The UTF-16 text file every page writer and body route uses: writes UTF-16LE text with the
// FF FE mark at the start of the file, and reads lines of files that carry either mark.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "base/binary_file.h"

namespace tarvex {

class Utf16File : public BinaryFile {
 public:
  // Always binary. Unless writing (kWrite), a file of at least 2 bytes has its first two
  // read: FF FE and FE FF mark it as UTF-16 (FE FF big-endian) and are skipped; anything
  // else is read again from offset 0.
  bool Open(const std::filesystem::path& path, unsigned flags,
            std::error_code* error = nullptr) override;

  // UTF-16LE units without terminator, preceded by FF FE when written at offset 0. No line end
  // is added or translated. The flag is accepted for the callers' sake and has no effect.
  bool WriteString(std::u16string_view text, bool flag);
  bool WriteString(std::u16string_view text);
  // The bytes as they are.
  bool WriteString(std::string_view bytes);

  // One line without its line end. Any two consecutive CR/LF units form one line end, so
  // CR LF, LF CR, CR CR and LF LF each end a single line. False at the end of the file.
  // Files without a mark are read as Windows-1252 lines ending in LF (a CR before it dropped).
  bool ReadString(std::u16string& text);
  // The line with its first line-end unit, then a NUL, at most max - 1 units; the rest of a
  // longer line is left for the next call. Null when nothing was stored (or max < 2).
  char16_t* ReadString(char16_t* buffer, std::size_t max);

  // Also forgets the units read ahead.
  std::uint64_t Seek(std::int64_t offset, SeekOrigin origin) override;

  bool IsUnicode() const { return unicode_; }
  bool IsBigEndian() const { return big_endian_; }
  // Offset of the next unit a line read returns.
  std::uint64_t LogicalPosition() const { return logical_position_; }

 private:
  // Appends the next complete units of the file to the queue; false when none came.
  bool Refill();
  // Takes the next unit, refilling first; false at the end of the file.
  bool NextUnit(char16_t& unit);
  // After a line-end unit: a second CR or LF belongs to the same line end.
  void SwallowSecondLineEnd();

  bool unicode_ = false;
  bool big_endian_ = false;
  std::deque<char16_t> read_ahead_;
  std::uint64_t logical_position_ = 0;
};

}  // namespace tarvex
