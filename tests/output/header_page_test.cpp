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
  page.AddRedRow(header_label::kCc, u"c&d");
  EXPECT_EQ(page.rows(),
            u"  <tr>   <td height='20'><b>Subject: </b> &lt;script&gt;  </td> </tr>"
            u"  <tr>   <td height='20'><b>From:</b>a</td>   <td height='20'><b>Date:</b >b</td>"
            u" </tr>"
            u"<tr>   <td height='20' colspan='2'><b>Cc: </b><span color='red'>c&amp;d"
            u"</span></td> </tr>");

  const std::u16string document = page.Document();
  EXPECT_TRUE(document.starts_with(
      u"<!DOCTYPE html PUBLIC '-//W3C//DTD XHTML 1.0 Transitional//EN' "
      u"'http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd'>"
      u"<html xmlns='http://www.w3.org/1999/xhtml'><head><meta http-equiv='Content-Type' "
      u"content='text/html; charset=utf-8' />" +
      std::u16string(kPagePolicyMeta16) +
      u"<style type='text/css'><!--body,td,th {\tfont-family:"));
  EXPECT_NE(document.find(u"-->"
                          u"</style></head><body><table width='100%' border='0' cellspacing='0' "
                          u"cellpadding='0'>" +
                          page.rows() + u"</table></body></html>"),
            std::u16string::npos);
  EXPECT_EQ(document.find_first_of(u"\r\n"), std::u16string::npos);
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
