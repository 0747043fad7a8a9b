#pragma once

// Which body the current item has and where it was left: one set per recovery, overwritten
// for every item that a preview or an export reads.

#include <filesystem>
#include <string>

namespace tarvex {

enum class BodyFormat : int {
  kNone = 0,
  kText = 1,
  kHtml = 2,
  kRtf = 3,
};

struct BodyState {
  BodyFormat format = BodyFormat::kNone;
  std::filesystem::path file_path;  // the working-folder file that holds the body
  std::u16string text;              // the body as text, where a route produces it
  // The body as the store holds it, when a preview replaced `file_path` by a page made safe
  // to show; empty otherwise. Messages are written from this one.
  std::filesystem::path stored_path;
};

}  // namespace tarvex
