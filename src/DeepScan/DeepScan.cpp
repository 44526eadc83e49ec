#include "DeepScan.h"

#include <QString>
#include <QUrl>
#include <string_view>
#include <unordered_set>

#include "GumboHeap.h"
#include "ImageSources.h"
#include "Unit_Function.h"

using namespace imagesources;

namespace {

// Memory the parser may hold for one page; a page of 64 MB stays within it.
constexpr std::size_t kParseByteLimit = std::size_t{2} << 30;

std::string_view ViewOf(const char* text) {
  return text == nullptr ? std::string_view() : std::string_view(text);
}

const char* AttributeOf(const GumboElement& element, const char* name) {
  const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, name);
  return attribute == nullptr ? nullptr : attribute->value;
}

bool IsHtml(const GumboNode* node, GumboTag tag) {
  return node != nullptr && node->type == GUMBO_NODE_ELEMENT &&
         node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML && node->v.element.tag == tag;
}

// <picture> is newer than the parser's list of tags: it is known by its name.
bool IsPicture(const GumboNode* node) {
  if (!IsHtml(node, GUMBO_TAG_UNKNOWN)) return false;
  GumboStringPiece name = node->v.element.original_tag;
  gumbo_tag_from_original_text(&name);
  return SameTextIgnoreCase(std::string_view(name.data, name.length), "picture");
}

bool IsImageMeta(std::string_view name) {
  for (const std::string_view wanted :
       {"og:image", "og:image:url", "og:image:secure_url", "twitter:image", "twitter:image:src"})
    if (SameTextIgnoreCase(name, wanted)) return true;
  return false;
}

// What an element's attributes can name.
enum class TRole { kOther, kImage, kPictureSource, kImageButton, kLink, kVideo };

TRole RoleOf(const GumboNode& node) {
  const GumboElement& e = node.v.element;
  if (e.tag_namespace != GUMBO_NAMESPACE_HTML) return TRole::kOther;
  switch (e.tag) {
    case GUMBO_TAG_IMG:
      return TRole::kImage;
    case GUMBO_TAG_SOURCE:
      return IsPicture(node.parent) ? TRole::kPictureSource : TRole::kOther;
    case GUMBO_TAG_INPUT:
      return SameTextIgnoreCase(ViewOf(AttributeOf(e, "type")), "image") ? TRole::kImageButton
                                                                         : TRole::kOther;
    case GUMBO_TAG_A:
      return TRole::kLink;
    case GUMBO_TAG_VIDEO:
      return TRole::kVideo;
    default:
      return TRole::kOther;
  }
}

QUrl UrlOf(std::string_view text) {
  return QUrl(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
              QUrl::TolerantMode);
}

bool IsWebAddress(const QUrl& url) {
  const QString scheme = url.scheme();
  return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
         !url.host().isEmpty();
}

// The addresses of one page, in document order, each once.
class TWalker {
 public:
  explicit TWalker(const std::string& pageUrl) : base_(UrlOf(pageUrl)) {}

  void Walk(const GumboNode* root) {
    FindBase(root);
    std::vector<const GumboNode*> stack{root};
    while (!stack.empty()) {
      const GumboNode* node = stack.back();
      stack.pop_back();
      const GumboVector* children = nullptr;
      if (node->type == GUMBO_NODE_DOCUMENT) children = &node->v.document.children;
      if (node->type == GUMBO_NODE_ELEMENT) {
        Element(*node);
        children = &node->v.element.children;
      }
      // Template content is no part of the page (nor is script text, which
      // is a text node and never read).
      if (children == nullptr) continue;
      for (unsigned i = children->length; i > 0; --i)
        stack.push_back(static_cast<const GumboNode*>(children->data[i - 1]));
    }
  }

  std::vector<std::string> Take() { return std::move(links_); }

 private:
  // The first <base href> of the page, resolved against the page address.
  void FindBase(const GumboNode* root) {
    std::vector<const GumboNode*> stack{root};
    while (!stack.empty()) {
      const GumboNode* node = stack.back();
      stack.pop_back();
      if (IsHtml(node, GUMBO_TAG_BASE)) {
        if (const char* href = AttributeOf(node->v.element, "href")) {
          const QUrl base = Resolved(ViewOf(href));
          if (IsWebAddress(base)) base_ = base;
          return;
        }
      }
      const GumboVector* children = node->type == GUMBO_NODE_DOCUMENT  ? &node->v.document.children
                                    : node->type == GUMBO_NODE_ELEMENT ? &node->v.element.children
                                                                       : nullptr;
      if (children == nullptr) continue;
      for (unsigned i = children->length; i > 0; --i)
        stack.push_back(static_cast<const GumboNode*>(children->data[i - 1]));
    }
  }

  void Element(const GumboNode& node) {
    const GumboElement& e = node.v.element;
    if (e.tag == GUMBO_TAG_STYLE) AddCss(TextOf(e));
    if (IsHtml(&node, GUMBO_TAG_META)) {
      const char* name = AttributeOf(e, "property");
      if (name == nullptr) name = AttributeOf(e, "name");
      if (IsImageMeta(ViewOf(name))) Add(ViewOf(AttributeOf(e, "content")));
    }
    const TRole role = RoleOf(node);
    for (unsigned i = 0; i < e.attributes.length; ++i) {
      const auto* attribute = static_cast<const GumboAttribute*>(e.attributes.data[i]);
      Attribute(role, ViewOf(attribute->name), ViewOf(attribute->value));
    }
  }

  void Attribute(TRole role, std::string_view name, std::string_view value) {
    const bool image = role == TRole::kImage || role == TRole::kPictureSource;
    if (name == "style") {
      AddCss(value);
    } else if ((role == TRole::kImage || role == TRole::kImageButton) && name == "src") {
      Add(value);
    } else if (image && name == "srcset") {
      Add(LargestCandidate(value));
    } else if (role == TRole::kLink && name == "href") {
      Add(value, true);
    } else if (role == TRole::kVideo && (name == "poster" || name == "data-poster")) {
      Add(value);
    } else {
      switch (LazyKindOf(name)) {
        case LazyKind::kSource:
          return Add(value, !image);
        case LazyKind::kSourceSet:
          return Add(LargestCandidate(value), !image);
        case LazyKind::kBackground:
          if (value.find("url(") != std::string_view::npos) return AddCss(value);
          return Add(value);
        case LazyKind::kBackgroundSet:
          for (const std::string& address : LargestOfEachSet(value)) Add(address);
          return;
        case LazyKind::kNone:
          return;
      }
    }
  }

  static std::string TextOf(const GumboElement& element) {
    std::string text;
    for (unsigned i = 0; i < element.children.length; ++i) {
      const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
      if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE ||
          child->type == GUMBO_NODE_CDATA)
        text += ViewOf(child->v.text.text);
    }
    return text;
  }

  void AddCss(std::string_view css) {
    for (const std::string& address : CssUrls(css)) Add(address);
  }

  // The value resolved against the base, its path without dot segments and
  // without a fragment.
  QUrl Resolved(std::string_view value) const {
    const QUrl reference = UrlOf(value);
    if (reference.isRelative()) return base_.resolved(reference).adjusted(QUrl::RemoveFragment);
    // QUrl hands an absolute address back as it is; its dot segments go here.
    QUrl url = reference.adjusted(QUrl::RemoveFragment);
    const std::string path = url.path(QUrl::FullyEncoded).toStdString();
    if (path.starts_with('/') && path.find("/.") != std::string::npos)
      url.setPath(QString::fromStdString(PathWithoutDotSegments(path)), QUrl::TolerantMode);
    return url;
  }

  // One value naming an image; with imagePathOnly only when its path ends
  // in an image extension.
  void Add(std::string_view value, bool imagePathOnly = false) {
    value = Trimmed(value);
    if (value.empty() || IsSkippedScheme(value)) return;
    const QUrl url = Resolved(value);
    if (!IsWebAddress(url)) return;
    if (imagePathOnly && !HasImagePath(url.path(QUrl::FullyEncoded).toStdString())) return;
    std::string address = url.toString().toStdString();
    if (seen_.insert(address).second) links_.push_back(std::move(address));
  }

  static std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) {
      return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
  }

  QUrl base_;
  std::unordered_set<std::string> seen_;
  std::vector<std::string> links_;
};

}  // namespace

std::chrono::milliseconds DeepScanTimeLimit(std::size_t pageBytes) {
  return std::chrono::milliseconds(2000 + pageBytes / 1000);
}

bool DeepImageLinksFromPage(const std::string& Url, const std::string& Page,
                            std::vector<std::string>& Links, std::chrono::milliseconds TimeLimit) {
  Links.clear();
  TGumboHeap heap(TimeLimit, kParseByteLimit);
  GumboOptions options = kGumboDefaultOptions;
  options.max_errors = 0;  // the errors are never read
  const GumboOutput* output = heap.Parse(options, Page.data(), Page.size());
  if (output == nullptr) return false;
  TWalker walker(Url);
  walker.Walk(output->document);
  Links = walker.Take();
  return true;
}
