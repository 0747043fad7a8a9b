// One HTML body, as UTF-16 units, through the reading of its visible text (body searches and
// RTF bodies written from HTML use it).

#include <string>
#include <string_view>

#include "content/html_visible_text.h"
#include "fuzz/checks.h"
#include "fuzz/targets.h"

namespace tarvex::fuzz {

int FuzzHtmlVisibleText(const std::uint8_t* data, std::size_t size) {
  std::u16string html(size / 2, u'\0');
  for (std::size_t i = 0; i < html.size(); ++i) {
    html[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }
  const std::u16string text = HtmlVisibleText(html);
  // Every unit of the text stands for at least one of the body, but a line end inside <pre>,
  // which becomes CR LF.
  Require(text.size() <= 2 * html.size(), "the text is at most twice the body");
  Require(!text.ends_with(u"\r\n"), "the text ends without a line end");
  return 0;
}

}  // namespace tarvex::fuzz
