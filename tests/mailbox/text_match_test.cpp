// What the user typed against the store's texts: ASCII texts are matched without the engine,
// and must get the engine's answers.

#include <gtest/gtest.h>

#include "mailbox/text_match.h"

namespace tarvex {
namespace {

TEST(TextMatch, PlainTextsMatchAsTheEngineMatchesThem) {
  struct Case {
    std::u16string wanted;
    TextMatchMode mode;
    std::u16string text;
    bool matches;
    std::u16string as_regex;  // the same condition written for the engine
  };
  const std::vector<Case> cases = {
      {u"kim", TextMatchMode::kPart, u"Grace KIM [grace.kim@example.com]", true, u"kim"},
      {u"grace.kim", TextMatchMode::kPart, u"gracexkim", false, u"grace\\.kim"},
      {u"[x]", TextMatchMode::kPart, u"a[X]b", true, u"\\[x\\]"},
      {u"a\nb", TextMatchMode::kPart, u"A\nB", true, u"a\\nb"},
      {u"", TextMatchMode::kPart, u"anything", true, u""},
      {u"longer than the text", TextMatchMode::kPart, u"short", false, u"longer than the text"},
      {u"mail", TextMatchMode::kWholeText, u"MAIL", true, u"\\Amail\\z"},
      {u"mail", TextMatchMode::kWholeText, u"mails", false, u"\\Amail\\z"},
      {u"", TextMatchMode::kWholeText, u"", true, u"\\A\\z"},
      // Beyond ASCII the engine folds by Unicode: the Kelvin sign is a "k", "ü" an "Ü".
      {u"kim", TextMatchMode::kPart, u"\u212Aim", true, u"kim"},
      {u"z\u00fcrich", TextMatchMode::kPart, u"Z\u00dcRICH", true, u"z\u00fcrich"},
      // ... and the long s is an "s"; other characters beyond ASCII match only themselves,
      // also in a text that holds a folding character the wanted text has no letter for.
      {u"mask", TextMatchMode::kPart, u"\u00e9 MA\u017F\u212A", true, u"mask"},
      {u"task", TextMatchMode::kWholeText, u"TA\u017F\u212A", true, u"\\Atask\\z"},
      {u"budget", TextMatchMode::kPart, u"caf\u00e9 \u017F BUDGET \u4e2d", true, u"budget"},
      {u"ab", TextMatchMode::kPart, u"a\u00e9b \u212A", false, u"ab"},
      {u"mail", TextMatchMode::kWholeText, u"m\u00e1il", false, u"\\Amail\\z"},
      {u"ab", TextMatchMode::kPart, u"x\xD800" u"AB", true, u"ab"},  // a lone surrogate before
  };
  for (const Case& c : cases) {
    const std::optional<TextMatch> plain = TextMatch::Make(c.wanted, c.mode);
    const std::optional<TextMatch> regex = TextMatch::Make(c.as_regex, TextMatchMode::kRegex);
    ASSERT_TRUE(plain && regex);
    EXPECT_EQ(plain->Matches(c.text), c.matches) << static_cast<int>(c.mode);
    EXPECT_EQ(regex->Matches(c.text), c.matches) << static_cast<int>(c.mode);
  }
}

}  // namespace
}  // namespace tarvex
