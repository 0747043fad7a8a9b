#pragma once

// Style sheets and style attributes from stored HTML made unable to load anything from
// elsewhere or to run: url() references other than the message's own parts, inline image data
// and local files become "none", @import and the functions that load or evaluate
// (expression(), image-set(), ...) are renamed so that browsers drop them. Escapes and comments
// are resolved first, so that "\75 rl(" is caught as url(.

#include <string>
#include <string_view>

namespace tarvex {

// UTF-8 in and out. The result holds no "<", so that it cannot end a <style> element.
std::string SanitizedCss(std::string_view css);

}  // namespace tarvex
