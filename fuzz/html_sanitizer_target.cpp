// One stored HTML body through the sanitizer. Its page, parsed again as a browser would, must
// hold nothing that runs or loads from elsewhere: a serialisation that a second parse reads
// differently would let markup through.

#include <gumbo.h>

#include <string>
#include <string_view>
#include <vector>

#include "fuzz/checks.h"
#include "fuzz/targets.h"
#include "output/html_sanitizer.h"
#include "output/page_urls.h"

namespace tarvex::fuzz {
namespace {

bool IsForbiddenElement(GumboTag tag) {
  switch (tag) {
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_FRAME:
    case GUMBO_TAG_FRAMESET:
    case GUMBO_TAG_OBJECT:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_APPLET:
    case GUMBO_TAG_BASE:
    case GUMBO_TAG_LINK:
    case GUMBO_TAG_FORM:
    case GUMBO_TAG_INPUT:
      return true;
    default:
      return false;
  }
}

void CheckElement(const GumboElement& element) {
  Require(element.tag_namespace == GUMBO_NAMESPACE_HTML, "only HTML elements remain");
  Require(!IsForbiddenElement(element.tag), "no element that runs, loads or submits remains");
  bool policy_or_charset = element.tag != GUMBO_TAG_META;
  for (unsigned i = 0; i < element.attributes.length; ++i) {
    const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
    const std::string_view name = attribute->name;
    const std::string_view value = attribute->value;
    Require(!name.starts_with("on"), "no event handler remains");
    const UrlKind kind = KindOfUrl(value);
    if (name == "href" || name == "src" || name == "background" || name == "srcset") {
      Require(kind != UrlKind::kScript && kind != UrlKind::kData && kind != UrlKind::kOther,
              "no script or data URL remains in a link or source");
    }
    if (name == "src" || name == "background") {
      Require(kind != UrlKind::kRemote, "no remote source remains");
    }
    if (element.tag == GUMBO_TAG_META &&
        (name == "charset" || value == "Content-Security-Policy")) {
      policy_or_charset = true;
    }
  }
  Require(policy_or_charset, "only our own meta elements remain");
}

}  // namespace

int FuzzHtmlSanitizer(const std::uint8_t* data, std::size_t size) {
  const std::string page =
      SafeHtmlPage(std::string_view(reinterpret_cast<const char*>(data), size));
  GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
  std::vector<const GumboNode*> pending{output->document};
  while (!pending.empty()) {
    const GumboNode* node = pending.back();
    pending.pop_back();
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_DOCUMENT) continue;
    const GumboVector& children =
        node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
    if (node->type == GUMBO_NODE_ELEMENT) CheckElement(node->v.element);
    for (unsigned i = 0; i < children.length; ++i) {
      pending.push_back(static_cast<const GumboNode*>(children.data[i]));
    }
  }
  gumbo_destroy_output(&kGumboDefaultOptions, output);
  return 0;
}

}  // namespace tarvex::fuzz
