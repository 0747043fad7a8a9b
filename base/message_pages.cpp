#include "base/message_pages.h"

#include <chrono>
#include <fstream>
#include <string>

#include "base/page_policy.h"
#include "base/utf_conversion.h"

namespace tarvex {

MessagePages::MessagePages(std::filesystem::path folder)
    : folder_(std::move(folder)),
      // Start somewhere new each run, so that pages of an earlier run are never reused.
      next_number_(static_cast<std::uint32_t>(
          std::chrono::steady_clock::now().time_since_epoch().count() % 1000000)) {}

void MessagePages::Show(WindowPort& window, std::u16string_view html) {
  const std::filesystem::path page = folder_ / ("temp" + std::to_string(next_number_++) + ".html");
  std::ofstream file(page, std::ios::binary | std::ios::trunc);
  if (!file) return;
  file << "\xFF\xFE" << EncodeUtf16Le(kPagePolicyMeta16) << EncodeUtf16Le(kUiStyleLink16)
       << EncodeUtf16Le(html);
  file.close();
  if (!file) return;
  window.Navigate(page);
}

}  // namespace tarvex
