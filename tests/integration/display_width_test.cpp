// A table column of the store's text: what is appended must be the terminal's text cut and
// padded by display width, whichever way it is made.

#include "cli/display_width.h"

#include <gtest/gtest.h>

#include "base/terminal_text.h"
#include "base/utf_conversion.h"

namespace tarvex::cli {
namespace {

TEST(DisplayWidth, ATerminalColumnIsTheTerminalTextCutAndPadded) {
  const std::u16string texts[] = {
      u"",
      u"Quarterly report",
      u"Grace Kim <grace.kim@example.com>",
      u"Eva M\u00fcller \u00e0 \u0141\u00f3d\u017a \u02ff",  // Latin beyond ASCII
      u"soft\u00adhyphen \u00a0nbsp",
      u"e\u0301 combining",                      // a mark of no width
      u"\u4e2d\u6587\u4e3b\u9898 wide",          // two columns each
      u"line\nbreak\tand\x1b[31m escape",        // escaped for the terminal
      u"\u202eright to left",                    // a bidirectional override, escaped
      u"\U0001F60A smile",
  };
  for (const std::u16string& text : texts) {
    for (std::size_t columns : {0, 1, 2, 5, 12, 24, 40}) {
      std::string appended = "|";
      AppendTerminalColumn(text, columns, appended);
      EXPECT_EQ(appended, "|" + PadToWidth(TerminalText(text), columns))
          << Utf16ToUtf8(text) << " in " << columns;
    }
  }
}

}  // namespace
}  // namespace tarvex::cli
