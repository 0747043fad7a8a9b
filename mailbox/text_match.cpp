#include "mailbox/text_match.h"

#include <algorithm>
#include <span>

namespace tarvex {
namespace {

bool IsAscii(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t unit) { return unit < 0x80; });
}

char16_t LowerAscii(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

std::u16string AsciiLower(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& unit : lower) unit = LowerAscii(unit);
  return lower;
}

// The text as a pattern that matches it literally: ASCII punctuation escaped, the rest as is.
std::u16string Literal(std::u16string_view text) {
  std::u16string pattern;
  pattern.reserve(text.size() * 2);
  for (char16_t unit : text) {
    const bool ascii_punctuation = unit < 0x80 && !(unit >= u'0' && unit <= u'9') &&
                                   !(unit >= u'a' && unit <= u'z') &&
                                   !(unit >= u'A' && unit <= u'Z') && unit != u' ';
    if (ascii_punctuation) pattern.push_back(u'\\');
    pattern.push_back(unit);
  }
  return pattern;
}

}  // namespace

std::optional<TextMatch> TextMatch::Make(std::u16string_view wanted, TextMatchMode mode,
                                         std::u16string* error) {
  std::u16string pattern;
  switch (mode) {
    case TextMatchMode::kWholeText:
      pattern = u"\\A" + Literal(wanted) + u"\\z";
      break;
    case TextMatchMode::kPart:
      pattern = Literal(wanted);
      break;
    case TextMatchMode::kRegex:
      pattern = std::u16string(wanted);
      break;
  }
  RegexCompileError compile_error;
  std::optional<RegexProgram> program = RegexProgram::Compile(
      pattern, {.caseless = true, .dot_all = false, .unicode_classes = true}, &compile_error);
  if (!program) {
    if (error != nullptr) *error = compile_error.message;
    return std::nullopt;
  }
  TextMatch match(std::move(*program));
  if (mode != TextMatchMode::kRegex && IsAscii(wanted)) {
    match.ascii_wanted_ = AsciiLower(wanted);
    match.whole_text_ = mode == TextMatchMode::kWholeText;
    if (match.ascii_wanted_->find(u'k') != std::u16string::npos) {
      match.folding_to_wanted_.push_back(u'\u212A');
    }
    if (match.ascii_wanted_->find(u's') != std::u16string::npos) {
      match.folding_to_wanted_.push_back(u'\u017F');
    }
  }
  return match;
}

bool TextMatch::Matches(std::u16string_view text) const {
  // Any other character beyond ASCII matches no character of an ASCII text, as itself.
  if (ascii_wanted_ && text.find_first_of(folding_to_wanted_) == std::u16string_view::npos) {
    const std::u16string_view wanted = *ascii_wanted_;
    if (whole_text_) {
      return text.size() == wanted.size() && AsciiLower(text) == wanted;
    }
    if (wanted.size() > text.size()) return false;
    const auto found =
        std::search(text.begin(), text.end(), wanted.begin(), wanted.end(),
                    [](char16_t unit, char16_t lower) { return LowerAscii(unit) == lower; });
    return found != text.end() || wanted.empty();
  }
  bool found = false;
  program_.ForEachMatch(text, [&found](std::span<const RegexSpan>) {
    found = true;
    return false;
  });
  return found;
}

}  // namespace tarvex
