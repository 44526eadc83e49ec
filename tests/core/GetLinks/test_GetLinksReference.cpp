// The fast scan against the naive step-by-step transcription on random pages
// built from the fragments that steer the scan, and the search function
// against a naive search. Fixed seeds, so a failure repeats.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "GetLinks.h"
#include "ReferenceScan.h"

namespace {

// clang-format off
const std::vector<std::string> kFragments = {
    "<img", "<IMG", "<iMg ", "<input", "<INPUT", "<inp", "ut", "<", "src=", "SRC=", "data-src=",
    "src", "sr", "rc=", "c=", "=", "\"", "'", "''", "#", "/", "//", "://", ".js", ".JS", ".json",
    "mailto:", "javascript:", " ", "\t", "\r\n", std::string(1, '\0'), "\x80", "\xD6\x60", "\xFE",
    "\xFF", "`", ">", "pic", "photo01.jpg", "x.gif", "http://h/", "HTTP://Host/", "?q=1", "a", "Z",
    "bcdefghij", "/images/", "./", "../", "Pic/Ab.JPG", "x+1.-y://", "9x://", "//cdn/"};
// clang-format on

const std::vector<std::string> kUrls = {"http://host/dir/page.htm",
                                        "http://Host/Dir/",
                                        "http://a",
                                        "",
                                        "https://x.org",
                                        "https://x",
                                        "http://a/b",
                                        "ftp://a/bc/d",
                                        "no-scheme-address/x/y",
                                        "HTTP://HOST/a?b=/c"};

std::string RandomPage(std::mt19937& random, int maxFragments) {
  std::uniform_int_distribution<int> count(0, maxFragments);
  std::uniform_int_distribution<std::size_t> pick(0, kFragments.size());  // one past: a raw byte
  std::uniform_int_distribution<int> byte(0, 255);
  std::string page;
  for (int n = count(random); n > 0; --n) {
    const std::size_t k = pick(random);
    page +=
        (k == kFragments.size()) ? std::string(1, static_cast<char>(byte(random))) : kFragments[k];
  }
  return page;
}

std::string RandomUrl(std::mt19937& random) {
  std::uniform_int_distribution<std::size_t> pick(0, kUrls.size());
  const std::size_t k = pick(random);
  return k < kUrls.size() ? kUrls[k] : RandomPage(random, 6);
}

TEST(ReferenceScan, AgreesOnSmallRandomPages) {
  for (unsigned seed = 1; seed <= 4; ++seed) {
    std::mt19937 random(seed);
    for (int i = 0; i < 1000; ++i) {
      const std::string url = RandomUrl(random);
      const std::string page = RandomPage(random, 40);
      ASSERT_EQ(GetImageLinksFromPage(url, page), reference::GetImageLinksFromPage(url, page))
          << "seed " << seed << " page " << i;
    }
  }
}

TEST(ReferenceScan, AgreesOnLargePagesWithManyRepeats) {
  // Few distinct values, so most addresses repeat in some letter case.
  std::mt19937 random(99);
  for (int i = 0; i < 20; ++i) {
    const std::string url = RandomUrl(random);
    std::string page;
    std::uniform_int_distribution<int> n(0, 40);
    for (int tag = 0; tag < 300; ++tag) {
      page += (tag % 3 ? "<img src='" : "<INPUT SRC=\"");
      page += (tag % 4 ? "Pics/" : (tag % 5 ? "/Root/" : "http://host/dir/pics/"));
      page += std::to_string(n(random)) + ".gif" + (tag % 3 ? "'" : "\"") + ">";
      page += RandomPage(random, 4);
    }
    ASSERT_EQ(GetImageLinksFromPage(url, page), reference::GetImageLinksFromPage(url, page))
        << "page " << i;
  }
}

TEST(ReferenceScan, AgreesOnRandomBinaryPages) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < 200; ++i) {
    std::string page(static_cast<std::size_t>(byte(random)) * 8, '\0');
    for (char& c : page) c = static_cast<char>(byte(random));
    page.insert(page.size() / 2, "<img src=");
    ASSERT_EQ(GetImageLinksFromPage(kUrls[0], page),
              reference::GetImageLinksFromPage(kUrls[0], page))
        << "page " << i;
  }
}

TEST(ReferenceSearch, PosFromIgnoreCaseAgreesWithNaiveSearch) {
  // Letters in both cases, bytes 32 apart that are not letters, high bytes.
  const std::string alphabet = "aAbB@`[{\xC1\xE1\0";
  std::mt19937 random(3);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size());
  std::uniform_int_distribution<int> textLength(0, 12);
  std::uniform_int_distribution<int> patternLength(0, 3);
  std::uniform_int_distribution<int> start(-2, 14);
  const auto make = [&](int length) {
    std::string s;
    for (int k = 0; k < length; ++k) {
      const std::size_t j = pick(random);
      s += j < alphabet.size() ? alphabet[j] : '\0';
    }
    return s;
  };
  for (int i = 0; i < 20000; ++i) {
    const std::string text = make(textLength(random));
    const std::string pattern = make(patternLength(random));
    const int from = start(random);
    ASSERT_EQ(PosFromIgnoreCase(pattern, text, from),
              reference::PosFromIgnoreCase(pattern, text, from))
        << i;
  }
}

}  // namespace
