#include "content/text_transformations.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "base/utf_conversion.h"

namespace tarvex {
namespace {

// Recipient texts as Exchange stores them, and the addresses taken from each.
TEST(ExtractMailAddresses, AddressesOfEveryRecipientForm) {
  const std::pair<std::u16string_view, std::u16string_view> cases[] = {
      {u"john.doe@example.com; mary@example.org", u"john.doe@example.com,mary@example.org,"},
      {u"\"Doe, John\" <john.doe@example.com>; Mary-Ann O'Neil "
       u"<mary-ann.o'neil@sub.example.co.uk>",
       u"john.doe@example.com,mary-ann.o'neil@sub.example.co.uk,"},
      // A quoted display name that is itself an address counts as one more.
      {u"\"john@example.com\" <john@example.com>", u"john@example.com,john@example.com,"},
      {u"  [sales@example.com]; (help@example.com); {x@example.com}  ",
       u"sales@example.com,help@example.com,x@example.com,"},
      // Forms without an address.
      {u"", u""},
      {u"John Doe", u""},
      {u"/O=ORG/OU=EXCHANGE/CN=RECIPIENTS/CN=JDOE", u""},
      {u"John Doe </O=ORG/OU=EXCHANGE/CN=RECIPIENTS/CN=JDOE>; "
       u"Mary <mary@example.org>",
       u"mary@example.org,"},
      // An at sign followed by a space is dropped with the space, joining the two sides.
      {u"john@ example.com", u""},
      {u"Sales @ HQ <sales@example.com>", u"sales@example.com,"},
      // SMTP forms.
      {u"SMTP:John.Doe@Example.COM", u"John.Doe@Example.COM,"},
      {u"Doe John SMTP john.doe@example.com", u"john.doe@example.com,"},
      {u"IMCEASMTP-john+40example+2Ecom@corp.example.com",
       u"IMCEASMTP-john+40example+2Ecom@corp.example.com,"},
      // Hyphens, apostrophes and plus signs survive.
      {u"first-last@my-host.example.com", u"first-last@my-host.example.com,"},
      {u"-lead--double-@host-.example.com", u"-lead--double-@host-.example.com,"},
      {u"John <john+news@example.com>", u"john+news@example.com,"},
      // Capital Z beside a hyphen, and runs of Z, come back unchanged.
      {u"SMTP:FRITZ-MEIER@EXAMPLE.DE", u"FRITZ-MEIER@EXAMPLE.DE,"},
      {u"ZZZZZZZ@example.com; a-b@example.com", u"ZZZZZZZ@example.com,a-b@example.com,"},
      // The stand-in for "-" is chosen among letters the text does not hold.
      {u"\u4E00-\u4E01@\u4F8B\u5B50.\u4E2D\u56FD", u"\u4E00-\u4E01@\u4F8B\u5B50.\u4E2D\u56FD,"},
      // Non-ASCII names and addresses.
      {u"Müller, Jürgen <juergen.mueller@example.de>; 山田 太郎 "
       u"<taro.yamada@example.jp>; Иванов <иванов@пример.рф>",
       u"juergen.mueller@example.de,taro.yamada@example.jp,иванов@пример.рф,"},
      {u"José <jose\u0301-luis@example.es>", u"jose\u0301-luis@example.es,"},
      {u"Fox <\U0001D523\U0001D52C\U0001D535@example.com>",
       u"\U0001D523\U0001D52C\U0001D535@example.com,"},
      // A leading underscore is dropped after the first address.
      {u"_a@example.com; _b@example.com", u"_a@example.com,b@example.com,"},
  };
  for (const auto& [recipients, addresses] : cases) {
    EXPECT_EQ(ExtractMailAddresses(recipients), addresses) << Utf16ToUtf8(recipients);
  }
}

TEST(CollapseRecipientSpaces, PairsBecomeOneSpaceOthersGo) {
  EXPECT_EQ(CollapseRecipientSpaces(u"J o h n  D o e"), u"John Doe");
  EXPECT_EQ(CollapseRecipientSpaces(u"М а р и я  И в а н о в а"), u"Мария Иванова");
  EXPECT_EQ(CollapseRecipientSpaces(u"a   b"), u"a b");
  EXPECT_EQ(CollapseRecipientSpaces(u"a    b"), u"a  b");
  EXPECT_EQ(CollapseRecipientSpaces(u" a "), u"a");
  EXPECT_EQ(CollapseRecipientSpaces(u"  "), u" ");
  EXPECT_EQ(CollapseRecipientSpaces(u""), u"");
  EXPECT_EQ(CollapseRecipientSpaces(u"a\tb c"), u"a\tbc");
}

TEST(EscapeAngleBrackets, BracketsBecomeSquare) {
  EXPECT_EQ(EscapeAngleBrackets(u"John Doe <john@example.com>"), u"John Doe [john@example.com]");
  EXPECT_EQ(EscapeAngleBrackets(u"<<a>>[b]"), u"[[a]][b]");
  EXPECT_EQ(EscapeAngleBrackets(u"no brackets"), u"no brackets");
}

TEST(MonthNamesToNumbers, NamesBecomeNumbers) {
  EXPECT_EQ(MonthNamesToNumbers(u"Dec,05 2010 09:03:07"), u"12,05 2010 09:03:07");
  EXPECT_EQ(MonthNamesToNumbers(u"Jan,31 2011 23:59:59"), u"1,31 2011 23:59:59");
  EXPECT_EQ(MonthNamesToNumbers(u"Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec"),
            u"1 2 3 4 5 6 7 8 9 10 11 12");
  EXPECT_EQ(MonthNamesToNumbers(u"05,12 2010 09:03:07"), u"05,12 2010 09:03:07");
  EXPECT_EQ(MonthNamesToNumbers(u"DEC dec"), u"DEC dec");
  EXPECT_EQ(MonthNamesToNumbers(u""), u"");
}

}  // namespace
}  // namespace tarvex
