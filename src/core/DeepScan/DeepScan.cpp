#include "DeepScan.h"

#include <myhtml/api.h>

#include <QString>
#include <QUrl>
#include <algorithm>
#include <csetjmp>
#include <memory>
#include <string_view>
#include <unordered_set>

#include "ImageSources.h"
#include "Unit_Function.h"

using namespace imagesources;

namespace {

// The clock is read once in this many tokens of the page: a token costs the
// parser little, apart from markup that nests without end, where each costs
// as much as the depth of the open elements.
constexpr unsigned kTokensPerClockRead = 256;

using Node = myhtml_tree_node_t;

std::string_view ViewOf(const char* text, std::size_t length) {
  return text == nullptr ? std::string_view() : std::string_view(text, length);
}

std::string_view AttributeOf(Node* node, std::string_view name) {
  myhtml_tree_attr_t* attribute = myhtml_attribute_by_key(node, name.data(), name.size());
  if (attribute == nullptr) return {};
  std::size_t length = 0;
  const char* value = myhtml_attribute_value(attribute, &length);
  return ViewOf(value, length);
}

bool IsHtml(Node* node, myhtml_tag_id_t tag) {
  return node != nullptr && myhtml_node_namespace(node) == MyHTML_NAMESPACE_HTML &&
         myhtml_node_tag_id(node) == tag;
}

// <picture> is newer than the parser's list of tags: it is known by its name.
bool IsPicture(Node* node) {
  if (node == nullptr || myhtml_node_namespace(node) != MyHTML_NAMESPACE_HTML) return false;
  std::size_t length = 0;
  const char* name =
      myhtml_tag_name_by_id(myhtml_node_tree(node), myhtml_node_tag_id(node), &length);
  return SameTextIgnoreCase(ViewOf(name, length), "picture");
}

bool IsImageMeta(std::string_view name) {
  for (const std::string_view wanted :
       {"og:image", "og:image:url", "og:image:secure_url", "twitter:image", "twitter:image:src"})
    if (SameTextIgnoreCase(name, wanted)) return true;
  return false;
}

// The parser and the tree of one page, released together.
class TParse {
 public:
  TParse() : parser_(myhtml_create()), tree_(myhtml_tree_create()) {
    if (parser_ == nullptr || tree_ == nullptr ||
        myhtml_init(parser_, MyHTML_OPTIONS_PARSE_MODE_SINGLE, 1, 0) != MyHTML_STATUS_OK ||
        myhtml_tree_init(tree_, parser_) != MyHTML_STATUS_OK)
      throw std::bad_alloc();
  }
  ~TParse() {
    if (tree_ != nullptr) myhtml_tree_destroy(tree_);
    if (parser_ != nullptr) myhtml_destroy(parser_);
  }
  TParse(const TParse&) = delete;
  TParse& operator=(const TParse&) = delete;

  // Parses the page; false when the clock passes the deadline first. The
  // parser is then left through a long jump from its token callback (only
  // its own C frames lie in between); destroying the tree frees what it held.
  bool Run(const std::string& page, std::chrono::steady_clock::time_point deadline) {
    deadline_ = deadline;
    myhtml_callback_after_token_done_set(tree_, &TParse::TokenDone, this);
    if (setjmp(escape_) != 0) return false;
    if (myhtml_parse(tree_, MyENCODING_UTF_8, page.data(), page.size()) != MyHTML_STATUS_OK)
      throw std::bad_alloc();
    return true;
  }

  Node* Document() const { return myhtml_tree_get_document(tree_); }

 private:
  static void* TokenDone(myhtml_tree_t*, myhtml_token_node_t*, void* self) {
    auto* parse = static_cast<TParse*>(self);
    if (++parse->tokens_ % kTokensPerClockRead == 0 &&
        std::chrono::steady_clock::now() > parse->deadline_)
      std::longjmp(parse->escape_, 1);
    return self;
  }

  myhtml_t* parser_;
  myhtml_tree_t* tree_;
  std::chrono::steady_clock::time_point deadline_;
  unsigned tokens_ = 0;
  std::jmp_buf escape_;
};

// What an element's attributes can name.
enum class TRole { kOther, kImage, kPictureSource, kImageButton, kLink, kVideo };

TRole RoleOf(Node* node) {
  if (myhtml_node_namespace(node) != MyHTML_NAMESPACE_HTML) return TRole::kOther;
  switch (myhtml_node_tag_id(node)) {
    case MyHTML_TAG_IMG:
      return TRole::kImage;
    case MyHTML_TAG_SOURCE:
      return IsPicture(myhtml_node_parent(node)) ? TRole::kPictureSource : TRole::kOther;
    case MyHTML_TAG_INPUT:
      return SameTextIgnoreCase(AttributeOf(node, "type"), "image") ? TRole::kImageButton
                                                                    : TRole::kOther;
    case MyHTML_TAG_A:
      return TRole::kLink;
    case MyHTML_TAG_VIDEO:
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

  void Walk(Node* document) {
    FindBase(document);
    ForEachElement(document, [this](Node* node) {
      Element(node);
      return true;
    });
  }

  std::vector<std::string> Take() { return std::move(links_); }

 private:
  // Calls visit(element) for every element under root in document order,
  // until visit returns false. Template content is no part of the page (nor
  // is script text, which is a text node and never read).
  template <typename Visit>
  static void ForEachElement(Node* root, Visit visit) {
    std::vector<Node*> stack;
    for (Node* child = myhtml_node_child(root); child != nullptr; child = myhtml_node_next(child))
      stack.push_back(child);
    std::reverse(stack.begin(), stack.end());
    while (!stack.empty()) {
      Node* node = stack.back();
      stack.pop_back();
      const myhtml_tag_id_t tag = myhtml_node_tag_id(node);
      if (tag == MyHTML_TAG__TEXT || tag == MyHTML_TAG__COMMENT || tag == MyHTML_TAG__DOCTYPE)
        continue;
      if (!visit(node)) return;
      if (IsHtml(node, MyHTML_TAG_TEMPLATE)) continue;
      const std::size_t mark = stack.size();
      for (Node* child = myhtml_node_child(node); child != nullptr; child = myhtml_node_next(child))
        stack.push_back(child);
      std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(mark), stack.end());
    }
  }

  // The first <base href> of the page, resolved against the page address.
  void FindBase(Node* document) {
    ForEachElement(document, [this](Node* node) {
      if (!IsHtml(node, MyHTML_TAG_BASE) || myhtml_attribute_by_key(node, "href", 4) == nullptr)
        return true;
      const QUrl base = Resolved(AttributeOf(node, "href"));
      if (IsWebAddress(base)) base_ = base;
      return false;
    });
  }

  void Element(Node* node) {
    if (myhtml_node_tag_id(node) == MyHTML_TAG_STYLE) AddCss(TextOf(node));
    if (IsHtml(node, MyHTML_TAG_META)) {
      std::string_view name = AttributeOf(node, "property");
      if (name.empty()) name = AttributeOf(node, "name");
      if (IsImageMeta(name)) Add(AttributeOf(node, "content"));
    }
    const TRole role = RoleOf(node);
    for (myhtml_tree_attr_t* attribute = myhtml_node_attribute_first(node); attribute != nullptr;
         attribute = myhtml_attribute_next(attribute)) {
      std::size_t keyLength = 0;
      std::size_t valueLength = 0;
      const char* key = myhtml_attribute_key(attribute, &keyLength);
      const char* value = myhtml_attribute_value(attribute, &valueLength);
      Attribute(role, ViewOf(key, keyLength), ViewOf(value, valueLength));
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

  static std::string TextOf(Node* element) {
    std::string text;
    for (Node* child = myhtml_node_child(element); child != nullptr;
         child = myhtml_node_next(child)) {
      if (myhtml_node_tag_id(child) != MyHTML_TAG__TEXT) continue;
      std::size_t length = 0;
      const char* piece = myhtml_node_text(child, &length);
      text += ViewOf(piece, length);
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
    // A resolved path ends in the value's own last segment, or is the
    // base's for a value without a path: a value whose path cannot end in
    // an image extension is not resolved at all.
    if (imagePathOnly) {
      const std::string_view path = value.substr(0, value.find_first_of("?#"));
      if (!HasImagePath(path.empty() ? base_.path().toStdString() : std::string(path))) return;
    }
    // The base stays for the whole walk, so each value is resolved once.
    if (!tried_[imagePathOnly ? 1 : 0].insert(std::string(value)).second) return;
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
  std::unordered_set<std::string> tried_[2];  // the values added, by imagePathOnly
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
  TParse parse;
  if (!parse.Run(Page, std::chrono::steady_clock::now() + TimeLimit)) return false;
  TWalker walker(Url);
  walker.Walk(parse.Document());
  Links = walker.Take();
  return true;
}
