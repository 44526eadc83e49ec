#include "PageImages.h"

#include <utility>

#include "DeepScan.h"
#include "GetLinks.h"
#include "PageEncoding.h"
#include "RequestUrl.h"

TPageImages GetPageImages(const std::string& Url, TScanKind Kind, const TPageLimits& Limits) {
  TPageImages images;
  std::string page;
  images.Fetch = GetWebPage(RequestUrlOf(Url), false, page, Limits);
  if (!images.Fetch.Came()) return images;
  images.Encoding = PageEncodingOf(page, images.Fetch.ContentType).name;
  const std::string text = PageToUtf8(std::move(page), images.Fetch.ContentType);
  if (Kind == TScanKind::kScan)
    images.Links = GetImageLinksFromPage(Url, text);
  else
    images.DeepScanGaveUp =
        !DeepImageLinksFromPage(Url, text, images.Links, DeepScanTimeLimit(text.size()));
  return images;
}

std::vector<std::string> GetImageLinks(const std::string& Url) {
  return GetPageImages(Url, TScanKind::kScan).Links;
}
