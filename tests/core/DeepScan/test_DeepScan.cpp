// The deep scan on pages in memory: the fixture pages with their exact
// lists, the readers of srcset and style sheets, and markup that would make
// the parser work without end.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "DeepScan.h"
#include "DeepScanPages.h"
#include "ImageSources.h"

namespace {

using Links = std::vector<std::string>;
using namespace std::chrono_literals;

Links Deep(const std::string& page, const std::string& url = "http://h.example/dir/p.htm") {
  Links links;
  EXPECT_TRUE(DeepImageLinksFromPage(url, page, links, 10s));
  return links;
}

TEST(DeepScan, EachFixturePageGivesItsList) {
  const std::vector<deepscanpages::TPage> pages = deepscanpages::Pages();
  ASSERT_GE(pages.size(), 7u);
  for (const deepscanpages::TPage& page : pages) {
    const std::string site = "http://site.example";
    EXPECT_EQ(Deep(page.Html, site + "/pages/" + page.Name.toStdString() + ".htm"),
              page.ListFor(site))
        << page.Name.toStdString();
  }
}

TEST(DeepScan, ValuesAndResolution) {
  const std::pair<std::string, Links> cases[] = {
      {"<img src=' a.jpg '><img src='A.jpg'><img src='a.jpg'>",
       {"http://h.example/dir/a.jpg", "http://h.example/dir/A.jpg"}},
      {"<img src='data:image/gif;base64,R0l'><img src='JavaScript:x()'><img src='blob:h/1'>"
       "<img src='about:blank'><img src='ftp://h/x.jpg'><img src='mailto:a@b.jpg'>",
       {}},
      {"<img src='http://o.example/a/./b/../c.jpg'><img src='../../../x.png#frag'>",
       {"http://o.example/a/c.jpg", "http://h.example/x.png"}},
      {"<input type=IMAGE src=go.gif><input type=text src=no.gif><image src=old.gif>",
       {"http://h.example/dir/go.gif", "http://h.example/dir/old.gif"}},
      {"<base href='javascript:x'><img src='a.jpg'>", {"http://h.example/dir/a.jpg"}},
      {"<svg><style>.x{background:url(s.png)}</style></svg><p style='background:url(p.png)'>",
       {"http://h.example/dir/s.png", "http://h.example/dir/p.png"}},
      {"<div data-src='bg.jpg'></div><div data-src='page.html'></div><a data-original='x.gif'>",
       {"http://h.example/dir/bg.jpg", "http://h.example/dir/x.gif"}},
  };
  for (const auto& [page, links] : cases) EXPECT_EQ(Deep(page), links) << page;
}

TEST(DeepScan, LargestSrcsetCandidate) {
  const std::pair<std::string, std::string> cases[] = {
      {"a.jpg 300w, b.jpg 1200w, c.jpg 800w", "b.jpg"},
      {"a.jpg, b.jpg 2x, c.jpg 1.5x", "b.jpg"},
      {"a.jpg 2x, b.jpg 2x", "a.jpg"},
      {"a.jpg 1x, b.jpg 640w", "b.jpg"},
      {"https://c.example/w_300,h_200/a.jpg 300w, https://c.example/w_900,h_600/a.jpg 900w",
       "https://c.example/w_900,h_600/a.jpg"},
      {"a.jpg,,, b.jpg 0.5x", "a.jpg"},
      {"a.jpg 100w 2x, b.jpg 50w, c.jpg bogus", "b.jpg"},
      {"a.jpg (junk, more) 100w, b.jpg 90w", "b.jpg"},
      {"", ""},
      {" , ", ""},
  };
  for (const auto& [srcset, largest] : cases)
    EXPECT_EQ(imagesources::LargestCandidate(srcset), largest) << srcset;
}

TEST(DeepScan, UrlsOfAStyleSheet) {
  const std::pair<std::string, Links> cases[] = {
      {"a{background:url(x.png)} b{background:url( \"y z.png\" )} c{x:url('q\\'s.png')}",
       {"x.png", "y z.png", "q's.png"}},
      {"@font-face{src:url(f.woff2)} @import url(r.css); @namespace url(n); d{b:url(k.gif)}",
       {"k.gif"}},
      {"@media print{@font-face{src:url(f.woff)}} /* url(c.png) */ e{b:url(\\31 .png)}", {"1.png"}},
      {"myurl(no.png) u{b:url()} v{b:url(", {}},
  };
  for (const auto& [css, urls] : cases) EXPECT_EQ(imagesources::CssUrls(css), urls) << css;
}

TEST(DeepScan, MarkupThatNestsWithoutEndIsGivenUpInTime) {
  // Every tag left open: the parser's work grows with the square of the page.
  std::string page;
  for (int i = 0; i < 200000; ++i) page += "<div>";
  Links links{"kept?"};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(DeepImageLinksFromPage("http://h.example/", page, links, 300ms));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_TRUE(links.empty());
  // A page of open tags the parser finishes still gives its images.
  EXPECT_EQ(Deep(std::string(2000, '<') + "<b><i><img src=x.jpg>"),
            Links{"http://h.example/dir/x.jpg"});
}

}  // namespace
