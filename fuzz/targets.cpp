#include "fuzz/targets.h"

#include <array>

namespace tarvex::fuzz {

std::span<const Target> Targets() {
  static constexpr std::array<Target, 9> kTargets{{
      {"page", FuzzPage},
      {"record", FuzzRecord},
      {"database", FuzzDatabase},
      {"column_decompression", FuzzColumnDecompression},
      {"compressed_rtf", FuzzCompressedRtf},
      {"html_sanitizer", FuzzHtmlSanitizer},
      {"html_visible_text", FuzzHtmlVisibleText},
      {"message_headers", FuzzMessageHeaders},
      {"export_report", FuzzExportReport},
  }};
  return kTargets;
}

const Target* FindTarget(std::string_view name) {
  for (const Target& target : Targets()) {
    if (target.name == name) return &target;
  }
  return nullptr;
}

}  // namespace tarvex::fuzz
