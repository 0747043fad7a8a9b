#pragma once

// The export files' text file: UTF-16LE content (asked for with kUtf16Content, or found by
// its FF FE mark when reading) or 8-bit content in a chosen code page, with the matching mark.

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "base/binary_file.h"
#include "base/code_page_conversion.h"

namespace tarvex {

class TextFile : public BinaryFile {
 public:
  static constexpr unsigned kUtf16Content = 0x200000;

  // Opens binary whatever the flags say. Opened for reading only (neither kCreate nor
  // kWrite), the content is UTF-16 exactly when the file starts with FF FE.
  bool Open(const std::filesystem::path& path, unsigned flags,
            std::error_code* error = nullptr) override;

  // At offset 0 the mark goes first when enabled: FF FE for UTF-16 content, EF BB BF for
  // code page 65001, none for other code pages. Then the text, without terminator and without
  // touching its line ends.
  bool WriteString(std::u16string_view text);

  // One line without its LF and without one CR before it; false at the end of the file. At
  // offset 0 a mark that is really there (FF FE, or EF BB BF for 65001) is skipped.
  bool ReadString(std::u16string& text);

  std::uint64_t Seek(std::int64_t offset, SeekOrigin origin) override;

  bool IsUtf16Content() const { return unicode_; }
  unsigned OpenFlags() const { return open_flags_; }

  // kSystemCodePage (the default) is Windows-1252.
  void SetCodePage(int code_page) { code_page_ = code_page; }
  int CodePage() const { return code_page_; }
  // Written for characters the code page lacks; not used for UTF-8.
  void SetUnknownCharacter(char unknown) { unknown_ = unknown; }
  void SetWriteByteOrderMark(bool write) { write_mark_ = write; }

 private:
  bool unicode_ = false;
  unsigned open_flags_ = 0;
  int code_page_ = kSystemCodePage;
  char unknown_ = '#';
  bool write_mark_ = true;
  bool check_start_ = false;
};

}  // namespace tarvex
