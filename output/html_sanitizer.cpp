#include "output/html_sanitizer.h"

#include <gumbo.h>

#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstdlib>
#include <optional>
#include <unordered_set>
#include <vector>

#include "base/page_policy.h"
#include "base/utf_conversion.h"
#include "content/html_visible_text.h"
#include "output/css_sanitizer.h"
#include "output/page_urls.h"

namespace tarvex {
namespace {

// Beyond this many "<" a body is shown as its text: gumbo keeps a node of some 150 bytes for
// every element, and a hostile body could be nothing but tags.
constexpr std::size_t kMostTagOpenings = 100000;

// Gumbo looks through the open elements for most tags, so that a body of deeply nested tags
// takes time growing with the square of their number (10 s for 40,000). A parse that takes
// longer than this is given up, and the body is shown as its text.
constexpr std::chrono::milliseconds kLongestParse{1500};

constexpr std::string_view kRemoteImageStyle =
    "border:1px solid #999;padding:0 3px;color:#666;background:#f4f4f4;font:11px sans-serif";

// Gumbo frees its tree recursively, so that a body of deeply nested elements would overflow
// the stack. Its memory is taken through this allocator instead and released all at once.
// Gumbo has no way to stop a parse, but it allocates for every element: a parse past its time
// is left from here with longjmp. Only gumbo's C frames lie between, and every block it took
// is still known here.
class ParseMemory {
 public:
  explicit ParseMemory(std::jmp_buf& give_up)
      : give_up_(give_up), deadline_(std::chrono::steady_clock::now() + kLongestParse) {}
  ParseMemory(const ParseMemory&) = delete;
  ParseMemory& operator=(const ParseMemory&) = delete;
  ~ParseMemory() {
    for (void* block : blocks_) std::free(block);
  }

  static void* Allocate(void* self, std::size_t size) {
    auto& memory = *static_cast<ParseMemory*>(self);
    constexpr unsigned kClockInterval = 256;
    if (++memory.allocations_ % kClockInterval == 0 &&
        std::chrono::steady_clock::now() > memory.deadline_) {
      std::longjmp(memory.give_up_, 1);
    }
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) std::abort();  // gumbo cannot take a failed allocation
    memory.blocks_.insert(block);
    return block;
  }
  static void Release(void* self, void* block) {
    if (block == nullptr) return;
    static_cast<ParseMemory*>(self)->blocks_.erase(block);
    std::free(block);
  }

 private:
  std::jmp_buf& give_up_;
  const std::chrono::steady_clock::time_point deadline_;
  unsigned allocations_ = 0;
  std::unordered_set<void*> blocks_;
};

enum class Treatment {
  kKeep,    // the element with its filtered attributes and its content
  kUnwrap,  // its content only
  kDrop,    // neither
  kAsPre,   // raw-text elements of old (xmp, plaintext, listing): their text in a <pre>
};

Treatment TreatmentOf(const GumboElement& element) {
  if (element.tag_namespace != GUMBO_NAMESPACE_HTML) return Treatment::kDrop;  // svg, math
  switch (element.tag) {
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_FRAME:
    case GUMBO_TAG_FRAMESET:
    case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_OBJECT:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_APPLET:
    case GUMBO_TAG_PARAM:
    case GUMBO_TAG_BASE:
    case GUMBO_TAG_LINK:
    case GUMBO_TAG_META:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_INPUT:
    case GUMBO_TAG_KEYGEN:
    case GUMBO_TAG_AUDIO:
    case GUMBO_TAG_VIDEO:
    case GUMBO_TAG_SOURCE:
    case GUMBO_TAG_TRACK:
    case GUMBO_TAG_CANVAS:
    case GUMBO_TAG_MENUITEM:
    case GUMBO_TAG_BGSOUND:
      return Treatment::kDrop;
    case GUMBO_TAG_FORM:
    case GUMBO_TAG_BUTTON:
    case GUMBO_TAG_SELECT:
    case GUMBO_TAG_OPTION:
    case GUMBO_TAG_OPTGROUP:
    case GUMBO_TAG_DATALIST:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_UNKNOWN:
      return Treatment::kUnwrap;
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_PLAINTEXT:
    case GUMBO_TAG_LISTING:
      return Treatment::kAsPre;
    default:
      return Treatment::kKeep;
  }
}

bool IsVoid(GumboTag tag) {
  switch (tag) {
    case GUMBO_TAG_AREA:
    case GUMBO_TAG_BR:
    case GUMBO_TAG_COL:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_WBR:
      return true;
    default:
      return false;
  }
}

void AppendEscaped(std::string& out, std::string_view text, bool attribute) {
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        if (attribute) {
          out += "&quot;";
          break;
        }
        [[fallthrough]];
      default:
        out.push_back(c);
    }
  }
}

// Attribute names a browser reads as we write them: no quotes, "=", "<" or blanks inside.
bool IsPlainAttributeName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == ':';
  });
}

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// A srcset descriptor: nothing, or digits (and a point) followed by "w", "x" or "h".
bool IsSourceDescriptor(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  if (text.empty()) return true;
  const char unit = text.back();
  text.remove_suffix(1);
  if (text.empty() || (unit != 'w' && unit != 'x' && unit != 'h')) return false;
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

// Each candidate of a srcset ("url 2x, url 100w") is an image source.
bool IsShowableSourceSet(std::string_view set) {
  std::size_t at = 0;
  while (at < set.size()) {
    while (at < set.size() && (set[at] == ' ' || set[at] == ',' || set[at] == '\t' ||
                               set[at] == '\n' || set[at] == '\r' || set[at] == '\f')) {
      ++at;
    }
    std::size_t end = at;
    while (end < set.size() && set[end] != ' ' && set[end] != '\t' && set[end] != '\n' &&
           set[end] != '\r' && set[end] != '\f') {
      ++end;
    }
    if (end > at && !IsShowableImageSource(KindOfUrl(set.substr(at, end - at)))) return false;
    // After the URL, at most a width or density ("100w", "2x"): anything else could be read
    // as part of the URL by a browser that splits the set otherwise.
    const std::size_t next = std::min(set.find(',', end), set.size());
    if (!IsSourceDescriptor(set.substr(end, next - end))) return false;
    at = next;
  }
  return true;
}

// The attribute as it may stay, or nothing.
std::optional<std::string> KeptAttributeValue(GumboTag tag, std::string_view name,
                                              std::string_view value) {
  if (!IsPlainAttributeName(name) || name.starts_with("on")) return std::nullopt;
  // Attributes that submit, ping, load or name code elsewhere, whatever the element.
  if (IsOneOf(name, {"action", "formaction", "ping", "srcdoc", "manifest", "codebase", "classid",
                     "archive", "data", "dynsrc", "lowsrc", "longdesc", "http-equiv", "xmlns",
                     "xlink:href", "poster", "cite", "profile", "autofocus"})) {
    return std::nullopt;
  }
  if (name == "style") {
    std::string css = SanitizedCss(value);
    if (css.empty()) return std::nullopt;
    return css;
  }
  if (name == "href") {
    if (tag != GUMBO_TAG_A && tag != GUMBO_TAG_AREA) return std::nullopt;
    const UrlKind kind = KindOfUrl(value);
    // A link leaves the page only when the user follows it; a script URL would run.
    const bool followable = kind == UrlKind::kLocal || kind == UrlKind::kPart ||
                            kind == UrlKind::kRemote || kind == UrlKind::kAddress;
    if (!followable) return std::nullopt;
    return std::string(value);
  }
  if (name == "src" || name == "background") {
    if (!IsShowableImageSource(KindOfUrl(value))) return std::nullopt;
    return std::string(value);
  }
  if (name == "srcset") {
    if (!IsShowableSourceSet(value)) return std::nullopt;
    return std::string(value);
  }
  return std::string(value);
}

std::string_view AttributeValue(const GumboElement& element, const char* name) {
  const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, name);
  return attribute == nullptr ? std::string_view() : std::string_view(attribute->value);
}

// The first remote source an image would load, if any.
std::optional<std::string> RemoteImageSource(const GumboElement& element) {
  const std::string_view source = AttributeValue(element, "src");
  if (KindOfUrl(source) == UrlKind::kRemote) return std::string(source);
  const std::string_view set = AttributeValue(element, "srcset");
  if (!set.empty() && !IsShowableSourceSet(set)) return std::string(set);
  return std::nullopt;
}

class PageWriter {
 public:
  explicit PageWriter(std::string& out) : out_(out) {}

  // The document type is written back only as far as it sets the rendering mode: mail
  // bodies laid out for quirks mode keep it.
  void WriteDocument(const GumboNode& document) {
    switch (document.v.document.doc_type_quirks_mode) {
      case GUMBO_DOCTYPE_NO_QUIRKS:
        out_ += "<!DOCTYPE html>\n";
        break;
      case GUMBO_DOCTYPE_LIMITED_QUIRKS:
        out_ += "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\">\n";
        break;
      case GUMBO_DOCTYPE_QUIRKS:
        break;
    }
    Walk(document);
  }

 private:
  // Walks the tree with an explicit stack: a body of deeply nested elements must not
  // overflow the call stack.
  struct Frame {
    const GumboNode* node;
    std::size_t next_child;
    bool close;  // write an end tag when its children are done
  };

  void Walk(const GumboNode& root) {
    std::vector<Frame> stack;
    stack.push_back({&root, 0, false});
    while (!stack.empty()) {
      Frame& frame = stack.back();
      const GumboVector* children = ChildrenOf(*frame.node);
      if (children == nullptr || frame.next_child >= children->length) {
        if (frame.close) WriteEndTag(frame.node->v.element);
        stack.pop_back();
        continue;
      }
      const auto* child = static_cast<const GumboNode*>(children->data[frame.next_child++]);
      if (std::optional<Frame> entered = Enter(*child)) stack.push_back(*entered);
    }
  }

  static const GumboVector* ChildrenOf(const GumboNode& node) {
    if (node.type == GUMBO_NODE_DOCUMENT) return &node.v.document.children;
    if (node.type == GUMBO_NODE_ELEMENT || node.type == GUMBO_NODE_TEMPLATE) {
      return &node.v.element.children;
    }
    return nullptr;
  }

  // Writes what comes before the node's children; the frame of its children, if they are
  // to be walked.
  std::optional<Frame> Enter(const GumboNode& node) {
    switch (node.type) {
      case GUMBO_NODE_TEXT:
      case GUMBO_NODE_WHITESPACE:
        AppendEscaped(out_, node.v.text.text, false);
        return std::nullopt;
      case GUMBO_NODE_ELEMENT:
        break;
      default:  // comments, CDATA of foreign content, templates
        return std::nullopt;
    }
    const GumboElement& element = node.v.element;
    switch (TreatmentOf(element)) {
      case Treatment::kDrop:
        return std::nullopt;
      case Treatment::kUnwrap:
        return Frame{&node, 0, false};
      case Treatment::kAsPre:
        out_ += "<pre>";
        WriteTextOf(node);
        out_ += "</pre>";
        return std::nullopt;
      case Treatment::kKeep:
        break;
    }
    if (element.tag == GUMBO_TAG_IMG) {
      if (const std::optional<std::string> remote = RemoteImageSource(element)) {
        WriteRemoteImagePlaceholder(*remote);
        return std::nullopt;
      }
    }
    if (element.tag == GUMBO_TAG_STYLE) {
      out_ += "<style>";
      std::string css;
      for (unsigned i = 0; i < element.children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE) {
          css += child->v.text.text;
        }
      }
      out_ += SanitizedCss(css);
      out_ += "</style>";
      return std::nullopt;
    }
    WriteStartTag(element);
    if (element.tag == GUMBO_TAG_HEAD) {
      out_ += "<meta charset=\"utf-8\">";
      out_ += kPagePolicyMeta;
    }
    if (IsVoid(element.tag)) return std::nullopt;
    return Frame{&node, 0, true};
  }

  void WriteStartTag(const GumboElement& element) {
    out_ += '<';
    out_ += gumbo_normalized_tagname(element.tag);
    for (unsigned i = 0; i < element.attributes.length; ++i) {
      const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
      if (attribute->attr_namespace != GUMBO_ATTR_NAMESPACE_NONE) continue;
      const std::optional<std::string> value =
          KeptAttributeValue(element.tag, attribute->name, attribute->value);
      if (!value) continue;
      out_ += ' ';
      out_ += attribute->name;
      out_ += "=\"";
      AppendEscaped(out_, *value, true);
      out_ += '"';
    }
    out_ += '>';
  }

  void WriteEndTag(const GumboElement& element) {
    out_ += "</";
    out_ += gumbo_normalized_tagname(element.tag);
    out_ += '>';
  }

  void WriteTextOf(const GumboNode& node) {
    for (unsigned i = 0; i < node.v.element.children.length; ++i) {
      const auto* child = static_cast<const GumboNode*>(node.v.element.children.data[i]);
      if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE) {
        AppendEscaped(out_, child->v.text.text, false);
      }
    }
  }

  void WriteRemoteImagePlaceholder(std::string_view source) {
    std::string host = HostOfUrl(source);
    if (host.empty()) host = "remote address";
    out_ += "<span style=\"";
    out_ += kRemoteImageStyle;
    out_ += "\" title=\"";
    AppendEscaped(out_, source, true);
    out_ += "\">[remote image blocked: ";
    AppendEscaped(out_, host, false);
    out_ += "]</span>";
  }

  std::string& out_;
};

// Kept apart from SafeHtmlPage so that no object with a destructor lives in the frame that
// setjmp returns to twice.
const GumboOutput* ParseOrGiveUp(const GumboOptions& options, std::string_view html,
                                 std::jmp_buf& give_up) {
  if (setjmp(give_up) != 0) return nullptr;
  return gumbo_parse_with_options(&options, html.data(), html.size());
}

std::string VisibleTextPage(std::string_view html) {
  return SafeTextPage(Utf16ToUtf8(HtmlVisibleText(Utf8ToUtf16(html))));
}

std::string PageHead() {
  std::string head = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">";
  head += kPagePolicyMeta;
  head += "</head>";
  return head;
}

}  // namespace

std::string SafeHtmlPage(std::string_view html) {
  if (static_cast<std::size_t>(std::count(html.begin(), html.end(), '<')) > kMostTagOpenings) {
    return VisibleTextPage(html);
  }
  std::jmp_buf give_up;
  ParseMemory memory(give_up);
  GumboOptions options = kGumboDefaultOptions;
  options.allocator = &ParseMemory::Allocate;
  options.deallocator = &ParseMemory::Release;
  options.userdata = &memory;
  options.max_errors = 0;
  // The output is left to `memory`: gumbo_destroy_output would free the tree recursively.
  const GumboOutput* output = ParseOrGiveUp(options, html, give_up);
  if (output == nullptr) return VisibleTextPage(html);
  std::string page;
  page.reserve(html.size() + 512);
  PageWriter(page).WriteDocument(*output->document);
  return page;
}

std::string SafeTextPage(std::string_view text) {
  std::string page = PageHead();
  page += "<body><pre style=\"white-space:pre-wrap;font-family:inherit\">";
  AppendEscaped(page, text, false);
  page += "</pre></body></html>";
  return page;
}

}  // namespace tarvex
