// The texts in which a page names its images, read as a browser reads them:
// srcset candidates, url() in style sheets, and which attributes and which
// addresses mean an image. All texts are UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace imagesources {

// The address of the largest candidate of a srcset value: by its width
// descriptor ("800w") when any candidate has one, else by its pixel density
// ("2x", 1x when none is given); the first one wins a tie. Candidates with a
// descriptor that cannot be read are left out. Empty when none is left.
std::string LargestCandidate(std::string_view srcset);

// The address of every url(...) in a style sheet or a style attribute, in
// order, with CSS escapes resolved; those in @font-face rules (fonts) and in
// @import and @namespace rules (no images) are left out, and so is anything
// inside a comment.
std::vector<std::string> CssUrls(std::string_view css);

// How the deep scan reads an attribute that lazy-loading scripts and page
// builders use for an image that is loaded later.
enum class LazyKind {
  kNone,           // not one of them
  kSource,         // one address, on images and picture sources
  kSourceSet,      // a srcset, on images and picture sources
  kBackground,     // a background image, on any element: one address or url(...)
  kBackgroundSet,  // srcsets split by "|", each with a [media] at its end, on any element
};
LazyKind LazyKindOf(std::string_view attributeName);

// The largest candidate of each set of a background set ("a.jpg 400w,
// b.jpg 800w [(max-width: 600px)] | c.jpg 1200w"), in order.
std::vector<std::string> LargestOfEachSet(std::string_view bgset);

// True when the path of the address (what comes before any "?" or "#") ends
// in the extension of an image file (".jpg", ".png", ".webp", ...), ASCII
// letter case aside.
bool HasImagePath(std::string_view address);

// True when the value names a scheme that is no image to fetch: data:,
// javascript:, blob: or about: (letter case and surrounding blanks aside).
bool IsSkippedScheme(std::string_view value);

}  // namespace imagesources
