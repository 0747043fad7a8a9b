#pragma once

// Owning handles for the PCRE2 objects of the 16-bit library, whose code unit is UTF-16.

#ifndef PCRE2_CODE_UNIT_WIDTH
#define PCRE2_CODE_UNIT_WIDTH 16
#endif
#include <pcre2.h>

#include <memory>

namespace tarvex {

struct Pcre2CompileContextFreer {
  void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};
struct Pcre2MatchContextFreer {
  void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct Pcre2MatchDataFreer {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};

using Pcre2CompileContext = std::unique_ptr<pcre2_compile_context, Pcre2CompileContextFreer>;
using Pcre2MatchContext = std::unique_ptr<pcre2_match_context, Pcre2MatchContextFreer>;
using Pcre2MatchData = std::unique_ptr<pcre2_match_data, Pcre2MatchDataFreer>;

}  // namespace tarvex
