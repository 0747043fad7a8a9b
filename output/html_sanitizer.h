#pragma once

// HTML from the store made safe to show. The body is parsed as a browser parses it (gumbo, an
// HTML5 parser) and written back with only what displays: no scripts, event handlers,
// javascript: or vbscript: URLs, forms (their text stays), frames, objects, meta refresh, base
// or linked style sheets, and nothing loaded from elsewhere. A remote image becomes a visible
// "[remote image blocked: host]"; images of the message's own parts (cid:), inline image data
// and local files stay, as do the layout, tables and inline styles (their url()s filtered).
// The page states its encoding (UTF-8) and carries the page policy as a second wall.

#include <string>
#include <string_view>

namespace tarvex {

// `html` is UTF-8 (bytes that are not become U+FFFD). A body so full of tags that parsing it
// would take more memory than the preview may use is shown as its visible text instead.
std::string SafeHtmlPage(std::string_view html);

// Plain text as a page: escaped, its line breaks and runs of blanks kept.
std::string SafeTextPage(std::string_view text);

}  // namespace tarvex
