#include "mailbox/item_texts.h"

#include <gtest/gtest.h>

#include <limits>

namespace tarvex {
namespace {

TEST(ItemTexts, AnAddressHasTwoDotsOrAtSigns) {
  EXPECT_TRUE(LooksLikeAddress(u"ann@example.com"));
  EXPECT_FALSE(LooksLikeAddress(u"ann@example"));
  EXPECT_TRUE(LooksLikeAddress(u"a.b."));
  EXPECT_FALSE(LooksLikeAddress(u"Ann Smith"));
  EXPECT_FALSE(LooksLikeAddress(u"ann@"));
  EXPECT_FALSE(LooksLikeAddress(u""));
}

TEST(ItemTexts, SmtpSplitMakesNameAndAddressPairs) {
  EXPECT_EQ(SmtpSplit(u"Ann SMTP ann@example.com,Bob SMTP bob@example.com,"),
            u"Ann<ann@example.com>,Bob<bob@example.com>,");
  // The piece after the last comma is not used.
  EXPECT_EQ(SmtpSplit(u"Ann SMTP ann@example.com"), u"");
  EXPECT_EQ(SmtpSplit(u"  plain@example.com,,"), u"plain@example.com, ") << "empty pieces go";
  EXPECT_EQ(SmtpSplit(u"A SMTP x SMTP y,"), u"A SMTP x SMTP y, ");
  EXPECT_EQ(SmtpSplit(u""), u"");
}

TEST(ItemTexts, TransportHeaderLinesFillTheAddressFields) {
  TransportHeaderFields fields;
  fields.TakeLine(u"To: \"Bob\" <bob@example.com>");
  fields.TakeLine(u"From: Ann <ann@example.com>");
  fields.TakeLine(u"Cc: Carl <carl@example.com>");
  fields.TakeLine(u"Bcc: Dana <dana@example.com>");
  fields.TakeLine(u"Reply-To: other@example.com");
  fields.TakeLine(u"Envelope-to: envelope@example.com");
  fields.TakeLine(u"to: lower@example.com");
  fields.TakeLine(u"X-To: x@example.com");
  EXPECT_EQ(fields.recipients, u"Bob [bob@example.com]");
  EXPECT_EQ(fields.sender, u"Ann [ann@example.com]");
  EXPECT_EQ(fields.copy_recipients, u"Carl [carl@example.com]");
  EXPECT_EQ(fields.blind_copy_recipients, u"Dana [dana@example.com]");
  fields.TakeLine(u"To: later@example.com");
  EXPECT_EQ(fields.recipients, u"later@example.com") << "a later line replaces an earlier one";
  // The two names are renamed inside a field too.
  fields.TakeLine(u"From: \"a-b\" <a-b@x.org> Reply-To: c Envelope-to: d");
  EXPECT_EQ(fields.sender, u"a-b [a-b@x.org] Reply: c Envelope: d");
}

TEST(ItemTexts, RecipientsFromADisplayText) {
  EXPECT_EQ(RecipientsFromDisplayText(u"Bob <bob@example.com>; Eve <eve@example.org>"),
            u"bob@example.com,eve@example.org,");
  // Spaced-out text is joined before the second try.
  EXPECT_EQ(RecipientsFromDisplayText(u"b o b @ e x a m p l e . n e t"), u"bob@example.net,");
  EXPECT_EQ(RecipientsFromDisplayText(u"nobody here"), u"");
  EXPECT_EQ(RecipientsFromDisplayText(u""), u"");
}

TEST(ItemTexts, SenderFromAnAddressText) {
  EXPECT_EQ(SenderFromAddressText(u"Hal <hal@example.net>"), u"hal@example.net,");
  EXPECT_EQ(SenderFromAddressText(u"no address"), u"");
}

TEST(ItemTexts, ListPositionsReadLikeAtoi) {
  EXPECT_EQ(ListPositionFromText(u"12"), 12);
  EXPECT_EQ(ListPositionFromText(u"  7x"), 7);
  EXPECT_EQ(ListPositionFromText(u"+3"), 3);
  EXPECT_EQ(ListPositionFromText(u""), 0);
  EXPECT_EQ(ListPositionFromText(u"abc"), 0);
  EXPECT_EQ(ListPositionFromText(u"-0"), 0);
  EXPECT_EQ(ListPositionFromText(u"-4"), std::numeric_limits<int>::max());
  EXPECT_EQ(ListPositionFromText(u"99999999999999999999"), std::numeric_limits<int>::max());
}

}  // namespace
}  // namespace tarvex
