#include "base/terminal_text.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace tarvex {
namespace {

TEST(TerminalText, ControlsAreShownNotObeyed) {
  struct Case {
    std::u16string text;
    std::string shown;
  };
  const Case cases[] = {
      {u"x\n      Forged  [IPF.Note] 99 items", "x\\n      Forged  [IPF.Note] 99 items"},
      {u"a\r\nb\tc", "a\\r\\nb\\tc"},
      {u" Plain ASCII: [a@b.c] ~{}", " Plain ASCII: [a@b.c] ~{}"},
      {u"\x1b]0;title\x07\x1b[2J", "\\x1b]0;title\\x07\\x1b[2J"},
      {std::u16string(u"nul\0del\x7f", 8), "nul\\x00del\\x7f"},
      {u"\u0085next\u009b31m", "\\u0085next\\u009b31m"},
      {u"line\u2028para\u2029", "line\\u2028para\\u2029"},
      {u"\u202aembed\u202bembed\u202cpop\u202dover\u202eride",
       "\\u202aembed\\u202bembed\\u202cpop\\u202dover\\u202eride"},
      {u"\u2066iso\u2067iso\u2068iso\u2069", "\\u2066iso\\u2067iso\\u2068iso\\u2069"},
      {u"Gr\u00fc\u00dfe \u4e2d \U0001F600 a\\nb",
       "Gr\xC3\xBC\xC3\x9F"
       "e \xE4\xB8\xAD \xF0\x9F\x98\x80 a\\nb"},
  };
  for (const Case& test : cases) EXPECT_EQ(TerminalText(test.text), test.shown);
  EXPECT_EQ(TerminalText(std::string_view("utf8\x1b\n")), "utf8\\x1b\\n");
  EXPECT_EQ(TerminalText(u"two\nlines\x1b\r\nthree\rover", LineBreaks::kKept),
            "two\nlines\\x1b\nthree\\rover");
}

TEST(TerminalText, JsonKeepsItsValueWithoutInvisibleControls) {
  const std::string value =
      "a\x7f"
      "b\xC2\x85"
      "c\xE2\x80\xAE"
      "d\xE2\x81\xA6"
      "e\xC3\xBC\xE2\x82\xAC";
  const std::string dumped = nlohmann::json(value).dump();
  const std::string safe = TerminalSafeJson(dumped);
  EXPECT_EQ(safe, "\"a\\u007fb\\u0085c\\u202ed\\u2066e\xC3\xBC\xE2\x82\xAC\"");
  EXPECT_EQ(nlohmann::json::parse(safe).get<std::string>(), value);
}

}  // namespace
}  // namespace tarvex
