#include "content/rtf_tokenizer.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

namespace tarvex {
namespace {

constexpr std::size_t kMaxWordLength = 32;

bool IsLetter(unsigned unit) {
  return (unit >= 'a' && unit <= 'z') || (unit >= 'A' && unit <= 'Z');
}
bool IsDigit(unsigned unit) {
  return unit >= '0' && unit <= '9';
}
std::optional<unsigned> HexValue(unsigned unit) {
  if (IsDigit(unit)) return unit - '0';
  if (unit >= 'a' && unit <= 'f') return unit - 'a' + 10;
  if (unit >= 'A' && unit <= 'F') return unit - 'A' + 10;
  return std::nullopt;
}

}  // namespace

bool RtfTokenizer::Next(RtfToken& token) {
  token.kind = RtfToken::Kind::kEnd;
  token.word.clear();
  token.has_parameter = false;
  token.parameter = 0;
  token.unit = 0;
  while (pos_ < size_) {
    const unsigned unit = At(pos_++);
    if (unit == '\r' || unit == '\n') continue;
    if (unit == '{') {
      token.kind = RtfToken::Kind::kGroupOpen;
    } else if (unit == '}') {
      token.kind = RtfToken::Kind::kGroupClose;
    } else if (unit != '\\') {
      token.kind = unit >= 0x80 && wide_ ? RtfToken::Kind::kWideText : RtfToken::Kind::kText;
      token.unit = unit;
    } else if (pos_ >= size_) {
      break;  // a backslash at the very end stands for nothing
    } else if (IsLetter(At(pos_))) {
      ReadWord(token);
    } else if (At(pos_) == '\'') {
      ++pos_;
      const std::optional<unsigned> high = pos_ < size_ ? HexValue(At(pos_)) : std::nullopt;
      if (high) ++pos_;
      const std::optional<unsigned> low = high && pos_ < size_ ? HexValue(At(pos_)) : std::nullopt;
      if (!low) continue;  // a cut-off escape stands for nothing
      ++pos_;
      token.kind = RtfToken::Kind::kEscapedByte;
      token.unit = *high << 4 | *low;
    } else {
      token.kind = RtfToken::Kind::kSymbol;
      token.unit = At(pos_++);
    }
    return true;
  }
  return false;
}

void RtfTokenizer::ReadWord(RtfToken& token) {
  token.kind = RtfToken::Kind::kWord;
  while (pos_ < size_ && IsLetter(At(pos_))) {
    if (token.word.size() < kMaxWordLength) token.word.push_back(static_cast<char>(At(pos_)));
    ++pos_;
  }
  const bool negative = pos_ + 1 < size_ && At(pos_) == '-' && IsDigit(At(pos_ + 1));
  if (negative) ++pos_;
  // Digits beyond the 32-bit range saturate; the rest of them are still part of the word.
  std::int64_t value = 0;
  while (pos_ < size_ && IsDigit(At(pos_))) {
    token.has_parameter = true;
    value = std::min<std::int64_t>(value * 10 + (At(pos_) - '0'), std::int64_t{1} << 32);
    ++pos_;
  }
  if (negative) value = -value;
  token.parameter = static_cast<int>(std::clamp<std::int64_t>(
      value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
  // One blank ends a word and belongs to it.
  if (pos_ < size_ && At(pos_) == ' ') ++pos_;
}

void RtfTokenizer::SkipData(std::size_t count) {
  pos_ += std::min(count, size_ - pos_);
}

}  // namespace tarvex
