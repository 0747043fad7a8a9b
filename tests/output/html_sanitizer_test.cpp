// The sanitizer of stored HTML: what runs or loads from elsewhere goes, what displays stays.

#include "output/html_sanitizer.h"

#include <gtest/gtest.h>

#include <vector>

#include "output/css_sanitizer.h"
#include "output/page_urls.h"

namespace tarvex {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

TEST(PageUrls, KindsAsABrowserReadsThem) {
  struct Case {
    std::string_view url;
    UrlKind kind;
  };
  const Case cases[] = {
      {"http://a.example/x", UrlKind::kRemote},
      {"  HTTPS://a.example", UrlKind::kRemote},
      {"//a.example/x", UrlKind::kRemote},
      {"\\\\a.example\\x", UrlKind::kRemote},
      {"ftp://a.example", UrlKind::kRemote},
      {"file://server/share/x.png", UrlKind::kRemote},
      {"file:///tmp/x.png", UrlKind::kLocal},
      {"x.png", UrlKind::kLocal},
      {"#top", UrlKind::kLocal},
      {"cid:logo@x", UrlKind::kPart},
      {"data:image/png;base64,AA==", UrlKind::kDataImage},
      {"data: IMAGE/gif,", UrlKind::kDataImage},
      {"data:text/html,<script>", UrlKind::kData},
      {"mailto:a@b", UrlKind::kAddress},
      {"javascript:alert(1)", UrlKind::kScript},
      {" \x01java\tscr\nipt:alert(1)", UrlKind::kScript},
      {"VBScript:msgbox", UrlKind::kScript},
      {"ms-its:x.chm", UrlKind::kOther},
  };
  for (const Case& test : cases) EXPECT_EQ(KindOfUrl(test.url), test.kind) << test.url;
  EXPECT_EQ(HostOfUrl("https://user:pw@Tracker.example:8080/p?q"), "Tracker.example:8080");
  EXPECT_EQ(HostOfUrl("//cdn.example"), "cdn.example");
}

TEST(SanitizedCss, LoadsAndScriptsAreDropped) {
  struct Case {
    std::string_view css;
    std::string_view sanitized;
  };
  const Case cases[] = {
      {"color:red;background:url(http://x.example/a.png) no-repeat",
       "color:red;background:none no-repeat"},
      {"background:URL( 'https://x.example/a.png' )", "background:none"},
      {"background:url(\"cid:part@x\")", "background:url(\"cid:part@x\")"},
      {"background:url(data:image/png;base64,AA==)", "background:url(data:image/png;base64,AA==)"},
      // The unquoted URL ends at the first ")"; what is left breaks the declaration.
      {"background:url(javascript:alert(1))", "background:none)"},
      {"background:\\75 rl(http://x.example)", "background:none"},
      {"background:u/**/rl(http://x.example)", "background:u rl(http://x.example)"},
      {"@import 'http://x.example/s.css'; p{}", "@blocked-import 'http://x.example/s.css'; p{}"},
      {"@IMPORT url(//x.example/s.css);", "@blocked-import none;"},
      {"width:expression(alert(1))", "width:blocked-expression(alert(1))"},
      {"background:image-set('http://x.example/a.png' 1x)",
       "background:blocked-image-set('http://x.example/a.png' 1x)"},
      {"content:\"url(http://x.example)\"", "content:\"url(http://x.example)\""},
      {"content:\"\\\"\"", "content:\"\\22 \""},
      {"font-family:'</style><script>'", "font-family:'\\3c /style>\\3c script>'"},
      {"a{b:c}", "a{b:c}"},
  };
  for (const Case& test : cases) EXPECT_EQ(SanitizedCss(test.css), test.sanitized) << test.css;
}

TEST(SafeHtmlPage, KeepsWhatDisplaysAndDropsWhatRunsOrLoads) {
  struct Case {
    std::string_view html;
    std::vector<std::string_view> kept;
    std::vector<std::string_view> gone;  // compared in lower case
  };
  const Case cases[] = {
      {"<script>alert(1)</script><p>Hi</p>", {"<p>Hi</p>"}, {"<script", "alert"}},
      {"<body onload=alert(1) bgcolor=\"#fff\"><img src=x onerror=alert(2)>",
       {"<body bgcolor=\"#fff\">", "<img src=\"x\">"},
       {"onload", "onerror", "alert"}},
      {"<a href=\"javascript:alert(1)\" title=t>js</a><a href=\" JaVa\nScript:x\">2</a>",
       {"<a title=\"t\">js</a>", "<a>2</a>"},
       {"javascript", "script:"}},
      {"<a href=\"vbscript:x\">v</a><a href=\"data:text/html,x\">d</a><a "
       "href=\"http://o.example/\">o</a>",
       {"<a>v</a>", "<a>d</a>", "<a href=\"http://o.example/\">o</a>"},
       {"vbscript", "data:text"}},
      {"<img src=\"https://tracker.example/p.gif\" alt=a>",
       {"[remote image blocked: tracker.example]"},
       {"<img"}},
      {"<img src=\"cid:a@b\"><img src=\"data:image/gif;base64,R0lG\"><img "
       "src=\"data:text/html,x\">",
       {"<img src=\"cid:a@b\">", "<img src=\"data:image/gif;base64,R0lG\">", "<img>"},
       {"text/html"}},
      {"<img src=\"cid:a@b\" srcset=\"http://t.example/2x.png 2x\">",
       {"[remote image blocked: t.example]"},
       {"<img"}},
      {"<img src=\"cid:a@b\" srcset=\"a.png 2x, b.png 100w\"><img src=\"cid:c@d\" "
       "srcset=\"Q\nhttp://t.example/x\">",
       {"srcset=\"a.png 2x, b.png 100w\"", "[remote image blocked"},
       {"srcset=\"Q"}},
      {"<form action=\"http://e.example/\"><input value=secret><textarea>typed</textarea>"
       "<button formaction=\"http://e.example\">Send</button><select><option>One</select></form>",
       {"typed", "Send", "One"},
       {"<form", "<input", "secret", "<button", "formaction", "<select", "e.example"}},
      {"<iframe src=\"http://e.example\"></iframe><frameset><frame src=x></frameset>"
       "<object data=x></object><embed src=x><applet code=x></applet><video src=x poster=y>",
       {},
       {"<iframe", "<frame", "<object", "<embed", "<applet", "<video", "poster"}},
      {"<head><meta http-equiv=refresh content=\"0;url=http://e.example\"><base "
       "href=\"http://e.example/\">"
       "<link rel=stylesheet href=\"http://e.example/s.css\"><title>T &amp; t</title></head>",
       {"<title>T &amp; t</title>", "<meta charset=\"utf-8\">", "Content-Security-Policy"},
       {"refresh", "<base", "<link", "e.example"}},
      {"<svg onload=alert(1)><script>alert(2)</script></svg><math><mi "
       "xlink:href=\"javascript:x\">m</mi></math>",
       {},
       {"<svg", "<math", "alert", "javascript"}},
      {"<table background=\"http://e.example/b.png\" "
       "style=\"background:url(http://e.example/c.png);"
       "border:1px solid\"><tr><td colspan=2>Cell</td></tr></table>",
       {"<table style=\"background:none;border:1px solid\">", "<td colspan=\"2\">Cell</td>"},
       {"e.example"}},
      {"<style>p{color:red} div{background:url(http://e.example/x)}</style><p>x</p>",
       {"<style>p{color:red} div{background:none}</style>"},
       {"e.example"}},
      {"<p title='a\"b'>&lt;script&gt;</p><!-- <script>alert(1)</script> -->",
       {"<p title=\"a&quot;b\">&lt;script&gt;</p>"},
       {"<!--", "alert"}},
      {"<xmp><script>alert(1)</script></xmp><noscript><b>no</b></noscript>",
       {"<pre>&lt;script&gt;alert(1)&lt;/script&gt;</pre>"},
       {"<script", "<xmp", "<noscript"}},
      {"<custom-tag onclick=x>kept text</custom-tag><p \"=x a<b=1>p</p>",
       {"kept text"},
       {"custom-tag", "onclick", "a<b"}},
  };
  for (const Case& test : cases) {
    const std::string page = SafeHtmlPage(test.html);
    for (std::string_view kept : test.kept) {
      EXPECT_NE(page.find(kept), std::string::npos) << kept << " in " << page;
    }
    for (std::string_view gone : test.gone) {
      EXPECT_EQ(Lower(page).find(gone), std::string::npos) << gone << " in " << page;
    }
  }
}

TEST(SafeHtmlPage, HostileShapesStayBounded) {
  // Nested deeper than a recursive walk or gumbo's own recursive release would take, and so
  // deep that gumbo's parse time grows with its square: parsed, or given up for its text.
  std::string deep;
  for (int i = 0; i < 45000; ++i) deep += "<div><span>";
  deep += "bottom<script>alert(1)</script>";
  const std::string deep_page = SafeHtmlPage(deep);
  EXPECT_NE(deep_page.find("bottom"), std::string::npos);
  EXPECT_EQ(deep_page.find("<script"), std::string::npos);
  // Beyond the tag budget the body is shown as its text.
  std::string tags;
  for (int i = 0; i < 100001; ++i) tags += "<b>";
  tags += "<script>alert(1)</script>end";
  const std::string text_page = SafeHtmlPage(tags);
  EXPECT_EQ(text_page.find("<script"), std::string::npos);
  EXPECT_EQ(text_page.find("<b>"), std::string::npos);
  EXPECT_NE(text_page.find("Content-Security-Policy"), std::string::npos);
  // Bytes that are not UTF-8 become replacement characters, never part of markup.
  EXPECT_NE(SafeHtmlPage("<p>\xFF\xFE<</p>").find("\xEF\xBF\xBD"), std::string::npos);
}

TEST(SafeTextPage, TextIsNeverMarkup) {
  const std::string page = SafeTextPage("<script>alert(1)</script>\n  two & three");
  EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;\n  two &amp; three"),
            std::string::npos);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_NE(page.find("Content-Security-Policy"), std::string::npos);
}

}  // namespace
}  // namespace tarvex
