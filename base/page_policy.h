#pragma once

// The second wall behind the HTML sanitizer: every page the program writes states that it may
// run no script and load nothing but its own files, inline data and the message's parts. The
// window reads our pages through its own "tarvex-page" scheme, a browser through file:.

#include <string_view>

namespace tarvex {

inline constexpr std::string_view kPagePolicyMeta =
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
    "img-src data: cid: file: tarvex-page:; style-src 'unsafe-inline' file: tarvex-page:; "
    "font-src data: file: tarvex-page:; frame-src file: tarvex-page:; "
    "child-src file: tarvex-page:; form-action 'none'; base-uri 'none'\">";

inline constexpr std::u16string_view kPagePolicyMeta16 =
    u"<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
    u"img-src data: cid: file: tarvex-page:; style-src 'unsafe-inline' file: tarvex-page:; "
    u"font-src data: file: tarvex-page:; frame-src file: tarvex-page:; "
    u"child-src file: tarvex-page:; form-action 'none'; base-uri 'none'\">";

// The window's own pages (notices, the preview's header, plain-text bodies) take their fonts and
// colours from the desktop through this style sheet, which the window serves; a mail's own
// page keeps the look its sender gave it.
inline constexpr std::string_view kUiStyleSheetPath = "/tarvex-ui.css";
inline constexpr std::u16string_view kUiStyleLink16 =
    u"<link rel=\"stylesheet\" href=\"tarvex-page:/tarvex-ui.css\">";

}  // namespace tarvex
