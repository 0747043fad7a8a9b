#include "pattern/pattern_groups.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvex {
namespace {

using Texts = std::vector<std::u16string>;

constexpr std::u16string_view kFromPattern = u"From: \\b*{.+?}>";
constexpr std::u16string_view kToPattern = u"To: \\b*{.+?}>";

// The call the mail preview makes: case-insensitive, one group, no duplicates.
Texts HeaderGroups(std::u16string_view pattern, std::u16string_view headers) {
  Texts groups;
  EXPECT_TRUE(FindPatternGroups(pattern, false, 1, headers, groups, false));
  return groups;
}

// Every group text of every match, case-sensitive unless told.
Texts AllGroups(std::u16string_view pattern, std::u16string_view input, int group_count = 1,
                bool case_sensitive = true) {
  Texts groups;
  EXPECT_TRUE(FindPatternGroups(pattern, case_sensitive, group_count, input, groups, true))
      << std::string(pattern.begin(), pattern.end());
  return groups;
}

TEST(PatternGroups, FromHeader) {
  const std::u16string headers =
      u"Received: from mail.example.com by mx.example.com\r\n"
      u"FROM:   \t\"Doe, John\" <john.doe@example.com>\r\n"
      u"To: Mary <mary@example.org>\r\n";
  // Group 0 starts after the blanks that follow the colon and stops before the ">".
  EXPECT_EQ(HeaderGroups(kFromPattern, headers), Texts{u"\"Doe, John\" <john.doe@example.com"});
  EXPECT_EQ(HeaderGroups(kFromPattern, u"from: <x@example.com>"), Texts{u"<x@example.com"});
  // Without any ">" later in the text there is no match; the call still succeeds.
  EXPECT_EQ(HeaderGroups(kFromPattern, u"From: john@example.com\r\nSubject: hi\r\n"), Texts{});
  // Unicode display names pass through, and caseless matching is Unicode-aware.
  EXPECT_EQ(HeaderGroups(kFromPattern, u"From: Иван <иван@почта.рф>"),
            Texts{u"Иван <иван@почта.рф"});
  EXPECT_EQ(HeaderGroups(u"{ÄRGER}", u"ärger"), Texts{u"ärger"});
}

TEST(PatternGroups, ToMatchesFirstInsideAnEarlierHeaderEndingInTo) {
  const std::u16string headers =
      u"Reply-To: Sales <sales@example.com>\r\n"
      u"From: Ann <ann@example.com>\r\n"
      u"To: Bob <bob@example.com>\r\n";
  const Texts to = HeaderGroups(kToPattern, headers);
  EXPECT_EQ(to, (Texts{u"Sales <sales@example.com", u"Bob <bob@example.com"}));

  // With no ">" on the Reply-To line, group 0 runs across the line end to the first ">".
  EXPECT_EQ(
      HeaderGroups(kToPattern, u"Reply-To: sales@example.com\r\nTo: Bob <bob@example.com>\r\n"),
      Texts{u"sales@example.com\r\nTo: Bob <bob@example.com"});
}

TEST(PatternGroups, CaseSensitivityAndDuplicates) {
  const std::u16string input = u"To: a>TO: A>to: a>";
  Texts groups;
  EXPECT_TRUE(FindPatternGroups(u"To: {.+?}>", true, 1, input, groups, false));
  EXPECT_EQ(groups, Texts{u"a"});
  EXPECT_TRUE(FindPatternGroups(u"To: {.+?}>", false, 1, input, groups, false));
  EXPECT_EQ(groups, Texts{u"a"});
  EXPECT_TRUE(FindPatternGroups(u"To: {.+?}>", false, 1, input, groups, true));
  EXPECT_EQ(groups, (Texts{u"a", u"A", u"a"}));
  // Case-sensitive duplicates differ by case.
  EXPECT_TRUE(FindPatternGroups(u"{.}>", true, 1, input, groups, false));
  EXPECT_EQ(groups, (Texts{u"a", u"A"}));
}

TEST(PatternGroups, GroupCountStopsAtFirstGroupWithoutPart) {
  EXPECT_EQ(AllGroups(u"{\\w}(={\\z})?;", u"a=1;b;c=3;", 2), (Texts{u"a", u"1", u"b", u"c", u"3"}));
  // Asking for more groups than the pattern has stops at the last one.
  EXPECT_EQ(AllGroups(u"{\\w}={\\z};", u"a=1;", 5), (Texts{u"a", u"1"}));
  // Group 1 took part but group 0 did not: nothing is taken from that match.
  EXPECT_EQ(AllGroups(u"{a}|{b}", u"ab", 2), Texts{u"a"});
}

TEST(PatternGroups, Abbreviations) {
  EXPECT_EQ(AllGroups(u"{\\z}", u"a12b345"), (Texts{u"12", u"345"}));
  EXPECT_EQ(AllGroups(u"{\\d}", u"a12"), (Texts{u"1", u"2"}));
  EXPECT_EQ(AllGroups(u"0x{\\h+}", u"0x1F 0xzz 0xAb"), (Texts{u"1F", u"Ab"}));
  EXPECT_EQ(AllGroups(u"{\\a+}", u"ab_12 \u00E99"), (Texts{u"ab", u"12", u"9"}));
  EXPECT_EQ(AllGroups(u"{\\c+}", u"ab1c"), (Texts{u"ab", u"c"}));
  // \w is ASCII letters only.
  EXPECT_EQ(AllGroups(u"{\\w}", u"h\u00E9llo w\u00F6rld"), (Texts{u"h", u"llo", u"w", u"rld"}));
  EXPECT_EQ(AllGroups(u"{\\q}", u"say \"hi 'there'\" and 'yo'"),
            (Texts{u"\"hi 'there'\"", u"'yo'"}));
  EXPECT_EQ(AllGroups(u"x\\b{\\b*}y", u"x \t y"), Texts{u"\t "});
  EXPECT_EQ(AllGroups(u"{a\\nb}", u"a\r\nb a\rb a\nb a\n\rb"),
            (Texts{u"a\r\nb", u"a\rb", u"a\nb"}));
}

TEST(PatternGroups, OperatorsAndLiterals) {
  // "." crosses line ends; "+" takes as much and "+?" as little as possible.
  EXPECT_EQ(AllGroups(u"<{.+}>", u"<a\r\nb> <c>"), Texts{u"a\r\nb> <c"});
  EXPECT_EQ(AllGroups(u"<{.+?}>", u"<a\r\nb> <c>"), (Texts{u"a\r\nb", u"c"}));
  EXPECT_EQ(AllGroups(u"<{.*}", u"<"), Texts{u""});
  EXPECT_EQ(AllGroups(u"{ab?c}", u"ac abc abbc"), (Texts{u"ac", u"abc"}));
  EXPECT_EQ(AllGroups(u"{(ab)+|c}", u"ababc"), (Texts{u"abab", u"c"}));
  EXPECT_EQ(AllGroups(u"{[^,]+}", u"a,b,,c"), (Texts{u"a", u"b", u"c"}));
  EXPECT_EQ(AllGroups(u"{[a-c\\]]+}", u"ab]cd"), Texts{u"ab]c"});
  EXPECT_EQ(AllGroups(u"{[-a]+}", u"x-a-y"), Texts{u"-a-"});
  // "!" rejects what follows without consuming it.
  EXPECT_EQ(AllGroups(u"{\\c!\\d}", u"x1 y z2"), Texts{u"y"});
  // Anchors only at the ends of the pattern; elsewhere "^" and "$" are plain characters.
  EXPECT_EQ(AllGroups(u"^{\\w}", u"abc def"), Texts{u"abc"});
  EXPECT_EQ(AllGroups(u"{\\w}$", u"abc def"), Texts{u"def"});
  EXPECT_EQ(AllGroups(u"{US$\\z}", u"cost US$15."), Texts{u"US$15"});
  EXPECT_EQ(AllGroups(u"{a^b}", u"xa^by"), Texts{u"a^b"});
  // Characters special to PCRE2 but not here match themselves, escaped ones too.
  EXPECT_EQ(AllGroups(u"{1\\+1 #\\.}", u"11 1+1 #. 1+1 #x"), Texts{u"1+1 #."});
  // \0 repeats the text of group 0.
  EXPECT_EQ(AllGroups(u"<{\\w}>.*?</\\0>", u"<b>x</b><i>y</u></i>"), (Texts{u"b", u"i"}));
}

TEST(PatternGroups, EmptyMatchesAndSurrogatePairs) {
  EXPECT_EQ(AllGroups(u"{a*}", u"b\U0001F98Aa"), (Texts{u"", u"", u"a", u""}));
  Texts groups;
  EXPECT_TRUE(FindPatternGroups(u"{a*}", true, 1, u"b\U0001F98Aa", groups, false));
  EXPECT_EQ(groups, (Texts{u"", u"a"}));
  // A character outside the Basic Multilingual Plane is repeated as a whole.
  EXPECT_EQ(AllGroups(u"{\U0001F98A+}", u"\U0001F98A\U0001F98Ax\U0001F98A"),
            (Texts{u"\U0001F98A\U0001F98A", u"\U0001F98A"}));
  EXPECT_EQ(AllGroups(u"{[\U0001F98A-\U0001F98C]}", u"\U0001F98B"), Texts{u"\U0001F98B"});
}

TEST(PatternGroups, FailuresGiveFalseAndEmptyList) {
  const std::u16string input = u"From: a <b@example.com>";
  for (const std::u16string_view bad : {u"", u"{abc", u"abc}", u"(a}", u"*a", u"a**", u"a*+",
                                        u"[abc", u"[]", u"ab\\", u"\\5", u"!", u"a|!", u"[z-a]"}) {
    Texts groups{u"stale"};
    EXPECT_FALSE(FindPatternGroups(bad, false, 1, input, groups, false))
        << std::string(bad.begin(), bad.end());
    EXPECT_TRUE(groups.empty());
  }
  Texts groups{u"stale"};
  EXPECT_FALSE(FindPatternGroups(kFromPattern, false, 0, input, groups, false));
  EXPECT_TRUE(groups.empty());
  EXPECT_FALSE(FindPatternGroups(kFromPattern, false, 1, u"", groups, false));
  // Nesting deep enough to threaten the stack is refused, not translated.
  const std::u16string deep = std::u16string(5000, u'(') + u"a" + std::u16string(5000, u')');
  EXPECT_FALSE(FindPatternGroups(deep, false, 1, u"a", groups, false));
}

TEST(PatternGroups, RunawayBacktrackingEndsTheSearchCleanly) {
  // Each "a" can be taken alone or in a pair, so a failing search would try exponentially
  // many ways; the matcher's limit ends it and the call reports failure.
  const std::u16string input = std::u16string(60, u'a') + u"b";
  Texts groups{u"stale"};
  EXPECT_FALSE(FindPatternGroups(u"{(a|aa)+}$", true, 1, input, groups, false));
  EXPECT_TRUE(groups.empty());
  // Headers full of "To: " without any ">" are no such case: the search ends at once.
  std::u16string headers;
  for (int i = 0; i < 50000; ++i) headers += u"To: ";
  EXPECT_TRUE(FindPatternGroups(kToPattern, false, 1, headers, groups, false));
  EXPECT_TRUE(groups.empty());
}

}  // namespace
}  // namespace tarvex
