#pragma once

// The text a browser shows for an HTML document, as plain text: tags and comments removed,
// head, script and style content dropped, character references decoded, white space collapsed
// outside <pre>, line breaks (CR LF) for <br> and around block elements, tabs between table
// cells. Used for HTML bodies that arrive wrapped in RTF.

#include <string>
#include <string_view>

namespace tarvex {

std::u16string HtmlVisibleText(std::u16string_view html);

}  // namespace tarvex
