#include "content/rtf_text_output.h"

#include "content/rtf_fonts.h"

namespace tarvex {
namespace {

constexpr std::u16string_view kLineEnd = u"\r\n";

}  // namespace

void RtfTextOutput::Flush(int code_page) {
  if (pending_bytes_.empty()) return;
  text_ += DecodeCodePageBytes(pending_bytes_, code_page);
  pending_bytes_.clear();
}

void RtfTextOutput::EndCell() {
  text_ += u'\t';
  cell_end_ = text_.size();
}

void RtfTextOutput::EndRow() {
  if (cell_end_ == text_.size() && text_.ends_with(u'\t')) text_.pop_back();
  text_ += kLineEnd;
}

std::u16string RtfTextOutput::TakeText() {
  if (text_.ends_with(kLineEnd)) text_.resize(text_.size() - kLineEnd.size());
  return std::move(text_);
}

}  // namespace tarvex
