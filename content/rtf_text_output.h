#pragma once

// The text an RTF reader produces: 8-bit text is collected in runs and decoded a run at a
// time, so that double-byte characters split over two escapes stay whole; table cells end in
// a tab, and a row's end replaces its last cell's tab by a line end.

#include <string>
#include <string_view>

namespace tarvex {

class RtfTextOutput {
 public:
  void AddByte(char byte) { pending_bytes_.push_back(byte); }
  // Decodes the bytes collected so far in `code_page`.
  void Flush(int code_page);
  bool HasPendingBytes() const { return !pending_bytes_.empty(); }

  // Text that needs no decoding; bytes collected before it must have been flushed.
  void Add(std::u16string_view text) { text_ += text; }
  void EndCell();
  void EndRow();

  // The text; a rich-text control keeps the document's last paragraph mark to itself, so a
  // final line end is not part of it.
  std::u16string TakeText();
  // The text as it stands, for HTML that the document carries.
  std::u16string TakeRawText() { return std::move(text_); }

 private:
  std::string pending_bytes_;
  std::u16string text_;
  std::size_t cell_end_ = 0;
};

}  // namespace tarvex
