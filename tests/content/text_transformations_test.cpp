#include "content/text_transformations.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvex {
namespace {

TEST(ExtractMailAddresses, RecipientListsAsExchangeStoresThem) {
  EXPECT_EQ(ExtractMailAddresses(u"john.doe@example.com; mary@example.org"),
            u"john.doe@example.com,mary@example.org,");
  EXPECT_EQ(ExtractMailAddresses(u"\"Doe, John\" <john.doe@example.com>; Mary-Ann O'Neil "
                                 u"<mary-ann.o'neil@sub.example.co.uk>"),
            u"john.doe@example.com,mary-ann.o'neil@sub.example.co.uk,");
  // A quoted display name that is itself an address counts as one more.
  EXPECT_EQ(ExtractMailAddresses(u"\"john@example.com\" <john@example.com>"),
            u"john@example.com,john@example.com,");
  EXPECT_EQ(ExtractMailAddresses(u"  [sales@example.com]; (help@example.com); {x@example.com}  "),
            u"sales@example.com,help@example.com,x@example.com,");
}

TEST(ExtractMailAddresses, FormsWithoutAnAddress) {
  EXPECT_EQ(ExtractMailAddresses(u""), u"");
  EXPECT_EQ(ExtractMailAddresses(u"John Doe"), u"");
  EXPECT_EQ(ExtractMailAddresses(u"/O=ORG/OU=EXCHANGE/CN=RECIPIENTS/CN=JDOE"), u"");
  EXPECT_EQ(ExtractMailAddresses(u"John Doe </O=ORG/OU=EXCHANGE/CN=RECIPIENTS/CN=JDOE>; "
                                 u"Mary <mary@example.org>"),
            u"mary@example.org,");
  // An at sign followed by a space is dropped with the space, joining the two sides.
  EXPECT_EQ(ExtractMailAddresses(u"john@ example.com"), u"");
  EXPECT_EQ(ExtractMailAddresses(u"Sales @ HQ <sales@example.com>"), u"sales@example.com,");
}

TEST(ExtractMailAddresses, SmtpForms) {
  EXPECT_EQ(ExtractMailAddresses(u"SMTP:John.Doe@Example.COM"), u"John.Doe@Example.COM,");
  EXPECT_EQ(ExtractMailAddresses(u"Doe John SMTP john.doe@example.com"), u"john.doe@example.com,");
  EXPECT_EQ(ExtractMailAddresses(u"IMCEASMTP-john+40example+2Ecom@corp.example.com"),
            u"IMCEASMTP-john+40example+2Ecom@corp.example.com,");
}

TEST(ExtractMailAddresses, HyphensApostrophesAndPlusSignsSurvive) {
  EXPECT_EQ(ExtractMailAddresses(u"first-last@my-host.example.com"),
            u"first-last@my-host.example.com,");
  EXPECT_EQ(ExtractMailAddresses(u"-lead--double-@host-.example.com"),
            u"-lead--double-@host-.example.com,");
  EXPECT_EQ(ExtractMailAddresses(u"John <john+news@example.com>"), u"john+news@example.com,");
  // Capital Z beside a hyphen, and runs of Z, come back unchanged.
  EXPECT_EQ(ExtractMailAddresses(u"SMTP:FRITZ-MEIER@EXAMPLE.DE"), u"FRITZ-MEIER@EXAMPLE.DE,");
  EXPECT_EQ(ExtractMailAddresses(u"ZZZZZZZ@example.com; a-b@example.com"),
            u"ZZZZZZZ@example.com,a-b@example.com,");
  // The stand-in for "-" is chosen among letters the text does not hold.
  EXPECT_EQ(ExtractMailAddresses(u"\u4E00-\u4E01@\u4F8B\u5B50.\u4E2D\u56FD"),
            u"\u4E00-\u4E01@\u4F8B\u5B50.\u4E2D\u56FD,");
}

TEST(ExtractMailAddresses, NonAsciiNamesAndAddresses) {
  EXPECT_EQ(ExtractMailAddresses(u"Müller, Jürgen <juergen.mueller@example.de>; 山田 太郎 "
                                 u"<taro.yamada@example.jp>; Иванов <иванов@пример.рф>"),
            u"juergen.mueller@example.de,taro.yamada@example.jp,иванов@пример.рф,");
  EXPECT_EQ(ExtractMailAddresses(u"José <jose\u0301-luis@example.es>"),
            u"jose\u0301-luis@example.es,");
  EXPECT_EQ(ExtractMailAddresses(u"Fox <\U0001D523\U0001D52C\U0001D535@example.com>"),
            u"\U0001D523\U0001D52C\U0001D535@example.com,");
}

TEST(ExtractMailAddresses, LeadingUnderscoreDroppedAfterTheFirstAddress) {
  EXPECT_EQ(ExtractMailAddresses(u"_a@example.com; _b@example.com"),
            u"_a@example.com,b@example.com,");
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
