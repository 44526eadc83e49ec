// The images of one page, as the window's acquisition and pixvane-get take
// them: the page fetched, its encoding decided once, the page scanned by the
// scan or the deep scan.
#pragma once

#include <string>
#include <vector>

#include "GetWebPage.h"

enum class TScanKind {
  kScan,  // the image tags' first src= (GetLinks.h)
  kDeep,  // every image a browser shows or the page links (DeepScan.h)
};

struct TPageImages {
  // Whether the page came, and why not; nothing is scanned when it did not.
  TPageFetch Fetch;
  // The deep scan gave the page up: its markup would take too long or too
  // much memory to parse.
  bool DeepScanGaveUp = false;
  // The encoding the page was read with (an iconv name such as "GB18030"),
  // which its addresses' queries are sent in.
  std::string Encoding;
  // The page's image addresses, UTF-8 text.
  std::vector<std::string> Links;

  bool Listed() const { return Fetch.Came() && !DeepScanGaveUp; }
};

// Fetches the page at Url (the page address as shown, UTF-8), requesting it
// as RequestUrlOf gives it, decodes it into UTF-8 and scans it.
TPageImages GetPageImages(const std::string& Url, TScanKind Kind, const TPageLimits& Limits = {});

// The image addresses of the page by the scan; empty when it did not come.
std::vector<std::string> GetImageLinks(const std::string& Url);
