#include "pattern/regex_program.h"

#include <algorithm>
#include <vector>

#include "pattern/pcre2_handles.h"

namespace tarvex {
namespace {

// Bounds the backtracking memory one search may take; texts are single header or recipient
// texts, so only a hostile input gets near it, and then the search gives up cleanly.
constexpr std::uint32_t kHeapLimitKib = 64 * 1024;

PCRE2_SPTR AsPcre2Text(std::u16string_view text) {
  return reinterpret_cast<PCRE2_SPTR>(text.data());
}

std::u16string ErrorMessage(int error_code) {
  PCRE2_UCHAR buffer[256] = {};
  const int length = pcre2_get_error_message(error_code, buffer, std::size(buffer));
  if (length < 0) return u"unknown regular expression error";
  return std::u16string(reinterpret_cast<const char16_t*>(buffer),
                        static_cast<std::size_t>(length));
}

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Code units of the character at `position` (< size): a well-formed pair counts as one.
std::size_t CharacterLength(std::u16string_view text, std::size_t position) {
  if (IsHighSurrogate(text[position]) && position + 1 < text.size() &&
      IsLowSurrogate(text[position + 1])) {
    return 2;
  }
  return 1;
}

}  // namespace

void RegexProgram::CodeFreer::operator()(pcre2_real_code_16* code) const {
  pcre2_code_free(code);
}

std::optional<RegexProgram> RegexProgram::Compile(std::u16string_view pattern,
                                                  const RegexOptions& options,
                                                  RegexCompileError* error) {
  Pcre2CompileContext context(pcre2_compile_context_create(nullptr));
  if (!context) {
    if (error != nullptr) *error = {u"out of memory", 0};
    return std::nullopt;
  }
  // A lone LF ends a line, whatever the library was built with.
  pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);

  std::uint32_t flags = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_NEVER_BACKSLASH_C;
  if (options.caseless) flags |= PCRE2_CASELESS;
  if (options.dot_all) flags |= PCRE2_DOTALL;
  if (options.unicode_classes) flags |= PCRE2_UCP;

  int error_code = 0;
  PCRE2_SIZE error_offset = 0;
  Code code(pcre2_compile(AsPcre2Text(pattern), pattern.size(), flags, &error_code, &error_offset,
                          context.get()));
  if (!code) {
    if (error != nullptr) *error = {ErrorMessage(error_code), error_offset};
    return std::nullopt;
  }
  return RegexProgram(std::move(code));
}

std::uint32_t RegexProgram::CaptureCount() const {
  std::uint32_t count = 0;
  pcre2_pattern_info(code_.get(), PCRE2_INFO_CAPTURECOUNT, &count);
  return count;
}

bool RegexProgram::ForEachMatch(std::u16string_view subject, const Visitor& visit) const {
  Pcre2MatchData match_data(pcre2_match_data_create_from_pattern(code_.get(), nullptr));
  Pcre2MatchContext context(pcre2_match_context_create(nullptr));
  if (!match_data || !context) return false;
  pcre2_set_heap_limit(context.get(), kHeapLimitKib);

  std::vector<RegexSpan> spans(std::size_t{CaptureCount()} + 1);
  std::size_t start = 0;
  while (start <= subject.size()) {
    const int result = pcre2_match(code_.get(), AsPcre2Text(subject), subject.size(), start, 0,
                                   match_data.get(), context.get());
    if (result == PCRE2_ERROR_NOMATCH) return true;
    if (result < 0) return false;

    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match_data.get());
    const std::size_t pair_count =
        std::min<std::size_t>(spans.size(), pcre2_get_ovector_count(match_data.get()));
    std::fill(spans.begin(), spans.end(), RegexSpan{});
    // A result of 0 would mean the groups did not fit; the data is sized from the pattern.
    const std::size_t set_count = result == 0 ? pair_count : static_cast<std::size_t>(result);
    for (std::size_t i = 0; i < std::min(pair_count, set_count); ++i) {
      const PCRE2_SIZE begin = ovector[2 * i];
      const PCRE2_SIZE end = ovector[2 * i + 1];
      if (begin == PCRE2_UNSET || end == PCRE2_UNSET || begin > end || end > subject.size()) {
        continue;
      }
      spans[i] = RegexSpan{begin, end, true};
    }
    if (!spans[0].matched) return false;
    if (!visit(spans)) return true;

    const std::size_t match_end = spans[0].end;
    std::size_t next = match_end;
    if (spans[0].begin == match_end) {
      if (match_end >= subject.size()) return true;
      next = match_end + CharacterLength(subject, match_end);
    }
    // \K can end a match before the search start; the walk must still move on.
    if (next <= start) {
      if (start >= subject.size()) return true;
      next = start + CharacterLength(subject, start);
    }
    start = next;
  }
  return true;
}

}  // namespace tarvex
