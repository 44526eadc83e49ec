#include "BothScans.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "DeepScan.h"
#include "GetLinks.h"

namespace {

// One story of a news page: a figure with srcset, a lazy image with its
// noscript fallback, a gallery link, paragraphs, and the page builder's
// inline data about it.
std::string Story(int n) {
  const std::string id = std::to_string(n);
  return "<article class=\"story story--" + id + "\" data-id=\"" + id +
         "\">\n<h2 class=\"story__title\"><a href=\"/2024/05/story-" + id +
         ".html\">Council approves the new bridge over the river, part " + id +
         "</a></h2>\n<figure class=\"wp-block-image size-large\"><img src=\"/uploads/2024/05/b" +
         id + "-1024x683.jpg\" srcset=\"/uploads/2024/05/b" + id +
         "-300x200.jpg 300w, /uploads/2024/05/b" + id + "-1024x683.jpg 1024w, /uploads/2024/05/b" +
         id +
         "-1536x1024.jpg 1536w\" sizes=\"(max-width: 1024px) 100vw, 1024px\" alt=\"\" "
         "loading=\"lazy\"></figure>\n<p>The vote passed seven to two after a long debate about "
         "the cost, the traffic and the view from the old town; construction begins in spring and "
         "takes three years, the mayor said.</p>\n<img class=\"lazyload\" src=\"data:image/gif;"
         "base64,R0lGODlhAQABAAAAACH5BAEKAAEALAAAAAABAAEAAAICTAEAOw==\" data-src=\"https://img."
         "example-cdn.com/2024/05/m" +
         id +
         ".jpg?imageView2/2/w/1080\" alt=\"\"><noscript><img "
         "src=\"https://img.example-cdn.com/2024/05/m" +
         id +
         ".jpg?imageView2/2/w/1080\"></noscript>\n<p class=\"gallery\"><a href=\"/uploads/2024/05/"
         "g" +
         id + "-full.jpg\"><img src=\"/uploads/2024/05/g" + id +
         "-thumb.jpg\" width=\"160\" height=\"120\"></a></p>\n<script>window.__STORY__=window."
         "__STORY__||{};window.__STORY__[" +
         id + "]={\"id\":" + id +
         ",\"section\":\"local\",\"tags\":[\"bridge\",\"council\",\"river\"],\"author\":{\"name\":"
         "\"A. "
         "Reporter\",\"url\":\"/authors/a-reporter\"},\"words\":812,\"ads\":{\"slots\":[\"top\","
         "\"mid\",\"bottom\"],\"targeting\":{\"kw\":\"infrastructure\",\"pos\":" +
         id + "}},\"related\":[" + std::to_string(n + 1) + "," + std::to_string(n + 2) +
         "]};</script>\n</article>\n";
}

std::string TypicalPage(std::size_t bytes) {
  std::string page =
      "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>Local news</title>"
      "<meta property=\"og:image\" content=\"https://static.example-news.com/og/front.jpg\">"
      "<style>.hero{background:url(/img/hero.jpg) center/cover}@font-face{font-family:B;src:url"
      "(/f/b.woff2)}.story__title{font:700 1.4rem/1.2 B,serif}</style></head><body>"
      "<header class=\"site-header\"><a href=\"/\"><img src=\"/img/logo.svg\" alt=\"News\"></a>"
      "<nav><ul><li><a href=\"/local\">Local</a></li><li><a href=\"/world\">World</a></li></ul>"
      "</nav></header><main>\n";
  for (int n = 0; page.size() < bytes; ++n) page += Story(n);
  return page + "</main></body></html>\n";
}

// The seconds of each run of scan on the wall clock and on the thread's own
// processor clock, the first run not counted.
struct TRuns {
  std::vector<double> wall;
  std::vector<double> thread;
  std::size_t links = 0;
};

TRuns Runs(const std::function<std::size_t()>& scan, int rounds) {
  TRuns runs;
  for (int r = 0; r <= rounds; ++r) {
    const double cpuStart = ThreadSeconds();
    const auto start = std::chrono::steady_clock::now();
    runs.links = scan();
    if (r == 0) continue;
    runs.thread.push_back(ThreadSeconds() - cpuStart);
    runs.wall.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return runs;
}

// The verdict goes by the thread's median: the time the scan itself took,
// without the time other programs held the processor.
void Report(const char* page, const char* scan, std::size_t bytes, const TRuns& runs,
            double targetMBs) {
  const double mb = static_cast<double>(bytes) / 1e6;
  const double thread = mb / Median(runs.thread);
  std::printf(
      "  %-9s %-4s %4.1f MB %6zu addr  wall %7.1f / %7.1f  thread %7.1f / %7.1f MB/s"
      "  (target %4.0f) -> %s\n",
      page, scan, mb, runs.links, mb / Best(runs.wall), mb / Median(runs.wall),
      mb / Best(runs.thread), thread, targetMBs, thread >= targetMBs ? "met" : "MISSED");
}

}  // namespace

double Best(const std::vector<double>& seconds) {
  return *std::min_element(seconds.begin(), seconds.end());
}

double Median(std::vector<double> seconds) {
  std::sort(seconds.begin(), seconds.end());
  return seconds[seconds.size() / 2];
}

double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void TimeBothScans(const std::string& url, const std::string& generatedPage, int rounds) {
  const std::string typical = TypicalPage(2'000'000);
  std::printf("\nBoth scans on the same pages (%d rounds; MB/s best / median)\n", rounds);
  for (const auto& [name, page] :
       {std::pair<const char*, const std::string&>{"generated", generatedPage},
        std::pair<const char*, const std::string&>{"typical", typical}}) {
    Report(name, "scan", page.size(),
           Runs([&] { return GetImageLinksFromPage(url, page).size(); }, rounds), 1000);
    const TRuns deep = Runs(
        [&] {
          std::vector<std::string> found;
          DeepImageLinksFromPage(url, page, found, DeepScanTimeLimit(page.size()));
          return found.size();
        },
        rounds);
    Report(name, "deep", page.size(), deep, 20);
  }
}
