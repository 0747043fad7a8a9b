#include "pattern/regex.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "pattern/collect_matches.h"

namespace tarvex {
namespace {

constexpr std::u16string_view kAddressPattern =
    u"\\w+([-+.']\\w+)*@\\w+([-.]\\w+)*\\.\\w+([-.]\\w+)*";

std::u16string Addresses(std::u16string_view text) {
  return CollectMatches(kAddressPattern, text);
}

std::vector<std::u16string> Values(const RegexMatches& matches) {
  std::vector<std::u16string> values;
  for (std::size_t i = 0; i < matches.Count(); ++i) values.push_back(matches[i].Value());
  return values;
}

std::vector<std::size_t> Indexes(const RegexMatches& matches) {
  std::vector<std::size_t> indexes;
  for (std::size_t i = 0; i < matches.Count(); ++i) indexes.push_back(matches[i].Index());
  return indexes;
}

TEST(CollectMatches, JoinsAddressesInOrderEachFollowedByComma) {
  EXPECT_EQ(Addresses(u"john.doe@example.com; mary@example.org"),
            u"john.doe@example.com,mary@example.org,");
  EXPECT_EQ(Addresses(u"Mary <mary@example.org>"), u"mary@example.org,");
  EXPECT_EQ(Addresses(u"no address in here"), u"");
  EXPECT_EQ(Addresses(u""), u"");
  EXPECT_EQ(CollectMatches(u"", u"john@example.com"), u"");
  // Matches do not overlap: the search goes on after the end of the previous one.
  EXPECT_EQ(CollectMatches(u"aa", u"aaaaa"), u"aa,aa,");
}

TEST(CollectMatches, AddressPatternShape) {
  EXPECT_EQ(Addresses(u"o'neil@example.com"), u"o'neil@example.com,");
  EXPECT_EQ(Addresses(u"john+news@example.com"), u"john+news@example.com,");
  EXPECT_EQ(Addresses(u"first_last@mail.example.co.uk"), u"first_last@mail.example.co.uk,");
  EXPECT_EQ(Addresses(u"mary-ann@my-host.example.com"), u"mary-ann@my-host.example.com,");
  // The domain needs a dot.
  EXPECT_EQ(Addresses(u"admin@localhost"), u"");
  // A separator must sit between word characters; the address starts after a doubled one.
  EXPECT_EQ(Addresses(u"a..b@example.com"), u"b@example.com,");
  EXPECT_EQ(Addresses(u"x@y.z trailing@dot."), u"x@y.z,");
}

TEST(CollectMatches, BadPatternGivesEmptyText) {
  EXPECT_EQ(CollectMatches(u"(unclosed", u"unclosed"), u"");
  EXPECT_EQ(CollectMatches(u"[a-", u"a-"), u"");
}

TEST(Regex, WordCharactersOfEveryScript) {
  // Cyrillic and CJK letters.
  EXPECT_EQ(Addresses(u"Иван Петров <иван.петров@почта.рф>"), u"иван.петров@почта.рф,");
  EXPECT_EQ(Addresses(u"用户 <用户@例子.广告>"), u"用户@例子.广告,");
  // A decomposed accent (a non-spacing mark) stays inside the word.
  EXPECT_EQ(Addresses(u"jose\u0301@example.com"), u"jose\u0301@example.com,");
  // Devanagari vowel signs are spacing marks.
  EXPECT_EQ(Addresses(u"हिन्दी@उदाहरण.भारत"), u"हिन्दी@उदाहरण.भारत,");
  // Connector punctuation other than the underscore.
  EXPECT_EQ(Addresses(u"a\u203Fb@example.com"), u"a\u203Fb@example.com,");
  // Decimal digits of other scripts count, other numbers (a superscript two) do not.
  EXPECT_EQ(Addresses(u"\u0661\u0662@example.com"), u"\u0661\u0662@example.com,");
  EXPECT_EQ(Addresses(u"x\u00B2y@example.com"), u"y@example.com,");
}

TEST(Regex, SurrogatePairsAndDamagedText) {
  // Mathematical script letters lie outside the Basic Multilingual Plane.
  EXPECT_EQ(Addresses(u"\U0001D49C\U0001D4B7@example.com"), u"\U0001D49C\U0001D4B7@example.com,");
  // An emoji is no word character.
  EXPECT_EQ(Addresses(u"\U0001F98Afox@example.com"), u"fox@example.com,");

  // A lone surrogate from a damaged value never matches and no match crosses it.
  std::u16string damaged = u"ab";
  damaged.push_back(u'\xD83E');
  damaged += u"cd@example.com x";
  damaged.push_back(u'\xDD8A');
  EXPECT_EQ(Addresses(damaged), u"cd@example.com,");
  const RegexMatches all = Regex(u".").Matches(damaged);
  EXPECT_EQ(all.Count(), damaged.size() - 2);
}

TEST(Regex, EmptyMatchesMoveOnByOneCharacter) {
  // After an empty match the search resumes one character later, a surrogate pair being one.
  const RegexMatches empty = Regex(u"x*").Matches(u"a\U0001F98Ab");
  EXPECT_EQ(Indexes(empty), (std::vector<std::size_t>{0, 1, 3, 4}));
  EXPECT_EQ(Values(empty), (std::vector<std::u16string>{u"", u"", u"", u""}));

  // An empty match may follow a non-empty one where it ended, including at the end.
  const RegexMatches mixed = Regex(u"a*").Matches(u"baa");
  EXPECT_EQ(Values(mixed), (std::vector<std::u16string>{u"", u"aa", u""}));
  EXPECT_EQ(Indexes(mixed), (std::vector<std::size_t>{0, 1, 3}));

  EXPECT_EQ(Regex(u"").Matches(u"").Count(), 1u);
}

TEST(Regex, EngineDefaults) {
  // Case-sensitive, and "." stops at a line feed but not at a lone carriage return.
  EXPECT_EQ(Indexes(Regex(u"abc").Matches(u"ABC abc")), (std::vector<std::size_t>{4}));
  EXPECT_EQ(Values(Regex(u"a.b").Matches(u"a\nb a\rb")), (std::vector<std::u16string>{u"a\rb"}));
}

TEST(Regex, WordClassesInsideClassesAndBoundaries) {
  const std::u16string text = u"e\u0301 7-\u203F";
  // \W in a class joins the class: spaces and hyphen, plus the digit.
  EXPECT_EQ(Values(Regex(u"[\\W\\d]+").Matches(text)), (std::vector<std::u16string>{u" 7-"}));
  // Negated: word characters other than digits.
  EXPECT_EQ(Values(Regex(u"[^\\W\\d]+").Matches(text)),
            (std::vector<std::u16string>{u"e\u0301", u"\u203F"}));
  EXPECT_EQ(Values(Regex(u"[\\w]+").Matches(u"x\u0301-y")),
            (std::vector<std::u16string>{u"x\u0301", u"y"}));
  EXPECT_EQ(Values(Regex(u"\\W+").Matches(u"x\u0301 ! y")), (std::vector<std::u16string>{u" ! "}));
  // Boundaries use the same word characters: a combining mark does not end a word.
  EXPECT_EQ(Values(Regex(u"\\b\\w+\\b").Matches(u"jose\u0301 x")),
            (std::vector<std::u16string>{u"jose\u0301", u"x"}));
  EXPECT_EQ(Values(Regex(u"\\B.").Matches(u"ab c")), (std::vector<std::u16string>{u"b"}));
  // A leading "]" and an inner "[" stand for themselves.
  EXPECT_EQ(Values(Regex(u"[]\\W[]+").Matches(u"a][ b")), (std::vector<std::u16string>{u"][ "}));
  EXPECT_EQ(Values(Regex(u"[\\W^]+").Matches(u"a^b")), (std::vector<std::u16string>{u"^"}));
}

TEST(Regex, GroupsAndIndexing) {
  const RegexMatches matches = Regex(u"(a)|(b)").Matches(u"xb");
  ASSERT_EQ(matches.Count(), 1u);
  const RegexMatch& match = matches[0];
  EXPECT_EQ(match.Value(), u"b");
  EXPECT_EQ(match.Index(), 1u);
  EXPECT_EQ(match.Length(), 1u);
  ASSERT_EQ(match.Groups().size(), 3u);
  EXPECT_FALSE(match.Groups()[1].Success());
  EXPECT_EQ(match.Groups()[1].Value(), u"");
  EXPECT_TRUE(match.Groups()[2].Success());
  EXPECT_EQ(match.Groups()[2].Value(), u"b");
  EXPECT_THROW(matches[1], std::out_of_range);
}

TEST(Regex, PatternThatDoesNotCompileThrows) {
  for (const std::u16string_view bad : {u"(unclosed", u"[a-", u"a{2,1}", u"*x", u"\\"}) {
    try {
      Regex regex(bad);
      ADD_FAILURE() << "compiled: " << std::string(bad.begin(), bad.end());
    } catch (const RegexError& error) {
      EXPECT_FALSE(error.Message().empty());
      EXPECT_NE(std::string(error.what()), "");
    }
  }
  // A lone surrogate makes the pattern itself ill-formed.
  std::u16string lone = u"a";
  lone.push_back(u'\xDC00');
  EXPECT_THROW(Regex{lone}, RegexError);
}

}  // namespace
}  // namespace tarvex
