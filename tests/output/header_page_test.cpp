// The header page's rows and escaping, and the frameset page's body source.

#include "output/header_page.h"

#include <gtest/gtest.h>

#include "base/page_policy.h"
#include "output/preview_page_files.h"
#include "preview_fixture.h"
#include "support/test_files.h"

namespace tarvex::testing {
namespace {

TEST(HeaderPage, EscapesEveryValueButKeepsItsOwnMarkup) {
  EXPECT_EQ(EscapeHtml(u"<a href=\"x\" onclick='y'>&amp;</a>"),
            u"&lt;a href=&quot;x&quot; onclick=&#39;y&#39;&gt;&amp;amp;&lt;/a&gt;");
  EXPECT_EQ(EscapeHtml(u"gr\u00fc\u00dfe \U0001F600"), u"gr\u00fc\u00dfe \U0001F600");

  HeaderPage page;
  page.AddRow(header_label::kSubject, u"<script>\r\n");
  page.AddRowWhenSet(header_label::kLocation, u"");
  page.AddRow(header_label::kFrom, u"a", header_label::kDate, u"b");
  page.AddWideRow(header_label::kCc, u"c&d");
  page.AddFileLinks(header_label::kAttachment, {{u"a%27b.bin?attachment", u"a'b.bin", 1023},
                                                {u"c.csv?attachment", u"c.csv", 5u << 20}});
  EXPECT_EQ(page.rows(),
            u"<tr><th>Subject:</th><td>&lt;script&gt;  </td></tr>"
            u"<tr><th>From:</th><td>a</td><th>Date:</th><td>b</td></tr>"
            u"<tr><th>Cc:</th><td colspan='3'>c&amp;d</td></tr>"
            u"<tr><th>Attachment:</th><td colspan='3'>"
            u"<a href='a%27b.bin?attachment'>a&#39;b.bin</a>&nbsp;<span class='size'>(1023 bytes)"
            u"</span>, <a href='c.csv?attachment'>c.csv</a>&nbsp;<span class='size'>(5.0 MB)"
            u"</span></td></tr>");

  // The window's policy and its style sheet, then the table.
  EXPECT_EQ(page.Document(),
            u"<!DOCTYPE html><html><head><meta charset='utf-8'>" +
                std::u16string(kPagePolicyMeta16) + std::u16string(kUiStyleLink16) +
                u"</head><body><table class='header'>" + page.rows() + u"</table></body></html>");
  EXPECT_EQ(page.Document().find_first_of(u"\r\n"), std::u16string::npos);
}

TEST(FramesetPage, BodySourceCannotLeaveTheAttribute) {
  const std::filesystem::path work = "/tmp/work folder";
  EXPECT_EQ(BodyFrameSource(work / "textbody.txt", work), u"textbody.txt");
  EXPECT_EQ(BodyFrameSource(work / "a'b #?.txt", work), u"a%27b%20%23%3F.txt");
  EXPECT_EQ(BodyFrameSource(work / "blank.txt", "/tmp/work folder/"), u"blank.txt");
  EXPECT_EQ(BodyFrameSource("/elsewhere/\u00e9.txt", work), u"file:///elsewhere/%C3%A9.txt");
  EXPECT_EQ(BodyFrameSource({}, work), u"");
  EXPECT_EQ(FramesetPage(FramesetLayout::kSideBySide, u"blank.txt"),
            u"<html><head>" + std::u16string(kPagePolicyMeta16) +
                u"</head><frameset cols='*,*' border='0'><frame src='header.html'  "
                u"scrolling='auto' frameborder='1'><frame src='blank.txt'></frameset></html>");
}

TEST(PageFiles, PagesCarryTheMarkAndBodyFilesDoNot) {
  ScratchFolder folder;
  ASSERT_TRUE(WritePageFile(folder / "p.html", u"\u00e9"));
  EXPECT_EQ(testing::FileText(folder / "p.html"), std::string("\xFF\xFE\xE9\x00", 4));
  ASSERT_TRUE(WriteUnmarkedUtf16File(folder / "b.txt", u"\u00e9"));
  EXPECT_EQ(testing::FileText(folder / "b.txt"), std::string("\xE9\x00", 2));
  EXPECT_FALSE(WritePageFile(folder / "missing" / "p.html", u"x"));
}

}  // namespace
}  // namespace tarvex::testing
