#pragma once

// Short notices shown in the preview browser ("Please wait...", "Analysis Completed...").
// Each is written as a new page file, so that the browser never shows a cached one.

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "base/window_port.h"

namespace tarvex {

class MessagePages {
 public:
  explicit MessagePages(std::filesystem::path folder);

  // Writes the HTML fragment as "temp<n>.html" (UTF-16 with its byte-order mark) and
  // navigates the window's browser to it. A page that cannot be written is not shown.
  void Show(WindowPort& window, std::u16string_view html);

  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
  std::uint32_t next_number_;
};

}  // namespace tarvex
