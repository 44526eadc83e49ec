// The image link extractor on pages held in memory: the search function, the
// worked examples, the edge cases of the scan and hostile pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "GetLinks.h"
#include "PageImages.h"

namespace {

using Links = std::vector<std::string>;

const std::string kPageUrl = "http://host/dir/page.htm";

Links Scan(const std::string& page, const std::string& url = kPageUrl) {
  return GetImageLinksFromPage(url, page);
}

std::string Nul() {
  return std::string(1, '\0');
}

// ---------------------------------------------------------------------------
// PosFromIgnoreCase

TEST(PosFromIgnoreCase, ReturnsOneBasedPositionOfFirstMatchAtOrAfterStart) {
  EXPECT_EQ(PosFromIgnoreCase("src=", "<img src='a'>", 1), 6);
  EXPECT_EQ(PosFromIgnoreCase("a", "abcabc", 1), 1);
  EXPECT_EQ(PosFromIgnoreCase("a", "abcabc", 2), 4);
  EXPECT_EQ(PosFromIgnoreCase("a", "abcabc", 4), 4);
  EXPECT_EQ(PosFromIgnoreCase("aa", "aaaa", 2), 2);  // overlapping candidates
  EXPECT_EQ(PosFromIgnoreCase("abd", "abcabd", 1), 4);
  EXPECT_EQ(PosFromIgnoreCase("xyz", "abcabc", 1), 0);
}

TEST(PosFromIgnoreCase, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(PosFromIgnoreCase("SRC=", "<img Src=", 1), 6);
  EXPECT_EQ(PosFromIgnoreCase("<img", "x<IMG", 1), 2);
  EXPECT_EQ(PosFromIgnoreCase("mailto:", "MailTo:x", 1), 1);
  // Pairs 32 apart that are not letters match only themselves.
  EXPECT_EQ(PosFromIgnoreCase("@", "`", 1), 0);
  EXPECT_EQ(PosFromIgnoreCase("[", "{", 1), 0);
  EXPECT_EQ(PosFromIgnoreCase("^", "~", 1), 0);
  EXPECT_EQ(PosFromIgnoreCase("x\xC1", "x\xE1", 1), 0);
  EXPECT_EQ(PosFromIgnoreCase("\xE1", "\xC1\xE1", 1), 2);
  EXPECT_EQ(PosFromIgnoreCase(std::string("a\0b", 3), std::string("xA\0B", 4), 1), 2);
}

TEST(PosFromIgnoreCase, StartPositionBounds) {
  EXPECT_EQ(PosFromIgnoreCase("ab", "abxab", 0), 1);
  EXPECT_EQ(PosFromIgnoreCase("ab", "abxab", -7), 1);
  EXPECT_EQ(PosFromIgnoreCase("ab", "xxab", 3), 3);  // last place the pattern fits
  EXPECT_EQ(PosFromIgnoreCase("ab", "xxab", 4), 0);  // beyond length - pattern + 1
  EXPECT_EQ(PosFromIgnoreCase("ab", "xxab", 1000), 0);
  EXPECT_EQ(PosFromIgnoreCase("ab", "xxab", 2147483647), 0);
  EXPECT_EQ(PosFromIgnoreCase("", "abc", 1), 0);
  EXPECT_EQ(PosFromIgnoreCase("a", "", 0), 0);
  EXPECT_EQ(PosFromIgnoreCase("abcd", "abc", 1), 0);
  EXPECT_EQ(PosFromIgnoreCase("abc", "abc", 1), 1);
}

// ---------------------------------------------------------------------------
// The worked examples: page address http://host/dir/page.htm, page base
// http://host/dir/, site root http://host/.

struct Example {
  const char* name;
  std::string fragment;
  Links expected;
};

class WorkedExample : public ::testing::TestWithParam<Example> {};

TEST_P(WorkedExample, GivesTheListedEntry) {
  EXPECT_EQ(Scan("<html><body>" + GetParam().fragment + "</body></html>"), GetParam().expected);
}

const Example kExamples[] = {
    {"Relative", "<img src='pic/photo01.jpg'>", {"http://host/dir/pic/photo01.jpg"}},
    {"RootRelativeInCapitals", "<IMG SRC='/Images/Logo.GIF'>", {"http://host/Images/Logo.GIF"}},
    {"Absolute", "<img src='http://other/a.png'>", {"http://other/a.png"}},
    {"ShortFileNameKept", "<img src='a.gif'>", {"http://host/dir/a.gif"}},
    {"EightByteFileNameKept", "<img src='pic1.gif'>", {"http://host/dir/pic1.gif"}},
    {"ImageButton",
     "<input type='image' src='btn/go_now.gif'>",
     {"http://host/dir/btn/go_now.gif"}},
    {"UnquotedKeepsFirstByte", "<img src=http://other/b.jpg>", {"http://other/b.jpg"}},
    {"FragmentCut", "<img src='pics/a.jpg#top'>", {"http://host/dir/pics/a.jpg"}},
    {"DoubleSlashTakesThePageScheme", "<img src='//cdn/x/y.jpg'>", {"http://cdn/x/y.jpg"}},
    {"JspKept", "<img src='img/show.jsp?id=7'>", {"http://host/dir/img/show.jsp?id=7"}},
    {"DataSrcFirst",
     "<img data-src='lazy/p1.jpg' src='real/p1.jpg'>",
     {"http://host/dir/lazy/p1.jpg"}},
    {"SecondTagSameAddress",
     "<img src='pic/photo01.jpg'><img src='pic/photo01.jpg'>",
     {"http://host/dir/pic/photo01.jpg"}},
};

INSTANTIATE_TEST_SUITE_P(Rows, WorkedExample, ::testing::ValuesIn(kExamples),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WorkedExamples, AllRowsInOnePageKeepFirstFoundOrder) {
  std::string page;
  Links expected;
  for (const Example& row : kExamples) {
    page += row.fragment + "\r\n";
    for (const std::string& entry : row.expected)
      if (std::find(expected.begin(), expected.end(), entry) == expected.end())
        expected.push_back(entry);
  }
  EXPECT_EQ(Scan(page), expected);
}

TEST(WorkedExamples, PageBaseKeepsTheTypedLetterCase) {
  EXPECT_EQ(Scan("<img src='pic/photo01.jpg'>", "http://Host/Dir/"),
            Links{"http://Host/Dir/pic/photo01.jpg"});
  EXPECT_EQ(Scan("<IMG SRC='/Images/Logo.GIF'>", "http://Host/Dir/"),
            Links{"http://Host/Images/Logo.GIF"});
}

TEST(WorkedExamples, AddressShorterThanNineBytesGivesNoBase) {
  const std::string page = "<img src='pic/photo01.jpg'><IMG SRC='/Images/Logo.GIF'>";
  EXPECT_EQ(Scan(page, "http://h"), (Links{"pic/photo01.jpg", "Images/Logo.GIF"}));
  EXPECT_EQ(Scan(page, ""), (Links{"pic/photo01.jpg", "Images/Logo.GIF"}));
}

// ---------------------------------------------------------------------------
// Edge cases of the extractor.

TEST(EdgeCases, FailedFetchYieldsEmptyList) {
  // Port 1 on the loopback refuses at once: the fetch fails, Page stays empty.
  EXPECT_TRUE(GetImageLinks("http://127.0.0.1:1/none.htm").empty());
  EXPECT_TRUE(GetImageLinks("").empty());
  EXPECT_TRUE(Scan("").empty());
}

TEST(EdgeCases, RootRelativeValueIsKeptWhole) {
  std::string path;
  for (int i = 0; i < 150; ++i) path += static_cast<char>('a' + i % 26);
  EXPECT_EQ(Scan("<img src='/" + path + "'>"), Links{"http://host/" + path});
}

TEST(EdgeCases, DoubleSlashTakesTheSchemeOfThePageAddress) {
  const std::string page = "<img src='//cdn.example.org/a.jpg'>";
  EXPECT_EQ(Scan(page, "https://host/dir/"), Links{"https://cdn.example.org/a.jpg"});
  EXPECT_EQ(Scan(page, "HTTP://Host/"), Links{"HTTP://cdn.example.org/a.jpg"});
  // A page address without a scheme leaves it root-relative.
  EXPECT_EQ(Scan(page, "no-scheme-address/x/y"), Links{"no-scheme-address//cdn.example.org/a.jpg"});
}

TEST(EdgeCases, PageWithoutImageTagTakesTheFirstSourceOnce) {
  EXPECT_EQ(Scan("<frameset><frame src='frames/main.htm'><frame src='frames/side.htm'>"
                 "</frameset>"),
            Links{"http://host/dir/frames/main.htm"});
  EXPECT_EQ(Scan("<script src=\"lib/app.min.js\"></script><iframe src='frames/a.htm'>"), Links{});
}

TEST(EdgeCases, InputTagInCapitalsIsAnImage) {
  EXPECT_EQ(Scan("<p>text src='ignored/x.gif'</p><INPUT TYPE='IMAGE' SRC='btn/go_now.gif'>"),
            Links{"http://host/dir/btn/go_now.gif"});
  // Any input tag takes the next "src=" in the text.
  EXPECT_EQ(Scan("<INPUT type=text name=q><p src='later/one.gif'>"),
            Links{"http://host/dir/later/one.gif"});
}

TEST(EdgeCases, DuplicateCheckIgnoresLetterCase) {
  EXPECT_EQ(
      Scan("<img src='http://host/dir/pics/a.jpg'><img src='pics/a.jpg'>", "http://Host/dir/"),
      Links{"http://host/dir/pics/a.jpg"});
  EXPECT_EQ(
      Scan("<img src='pics/a.jpg'><img src='http://host/dir/pics/a.jpg'>", "http://Host/dir/"),
      Links{"http://Host/dir/pics/a.jpg"});
  EXPECT_EQ(
      Scan("<img src='/x/pics/a.jpg'><img src='http://HOST/x/pics/a.jpg'>", "HTTP://HOST/dir/"),
      Links{"HTTP://HOST/x/pics/a.jpg"});
  // The first one found is kept in its own letter case.
  EXPECT_EQ(Scan("<img src='Pics/A.JPG'><IMG SRC='pics/a.jpg'><img src='PICS/a.jpg'>"),
            Links{"http://host/dir/Pics/A.JPG"});
}

// ---------------------------------------------------------------------------
// Reading a value.

TEST(Values, ByteAfterEqualsIsSkippedUnlessItBeginsTheValue) {
  EXPECT_EQ(Scan("<img src= 'pics/blank.jpg'>"), Links{"http://host/dir/pics/blank.jpg"});
  EXPECT_EQ(Scan("<img src=\"pics/dquote.jpg\">"), Links{"http://host/dir/pics/dquote.jpg"});
  EXPECT_EQ(Scan("<img src=\"'\"pics/quotes.jpg'>"), Links{"http://host/dir/pics/quotes.jpg"});
  EXPECT_EQ(Scan("<img src=/a/b/pic.jpg alt=1>"), Links{"http://host/a/b/pic.jpg"});
  EXPECT_EQ(Scan("<img src=Pics/Bare.jpg>"), Links{"http://host/dir/Pics/Bare.jpg"});
}

TEST(Values, QuoteAfterTheFirstPositionEndsTheValue) {
  EXPECT_EQ(Scan("<img src='pics/one.jpg\"more.jpg'>"), Links{"http://host/dir/pics/one.jpg"});
  EXPECT_EQ(Scan("<img src=\"pics/two.jpg'x\">"), Links{"http://host/dir/pics/two.jpg"});
}

TEST(Values, EveryByteFollowsTheValueCharacterTable) {
  const std::string resolvedHead = "http://host/dir/pics/a";
  for (int b = 0; b < 256; ++b) {
    const bool quote = b == 0x22 || b == 0x27;
    const bool end = b <= 0x20 || b == 0x23 || b == 0x3C || b == 0x3E || b == 0x60 || b == 0xFF;
    const char c = static_cast<char>(b);
    const Links found = Scan("<img src='pics/a" + std::string(1, c) + "bcdefg.gif'>");
    if (quote || end) {
      EXPECT_TRUE(found.empty()) << "byte " << b;
    } else {
      EXPECT_EQ(found, Links{resolvedHead + c + "bcdefg.gif"}) << "byte " << b;
    }
  }
}

TEST(Values, DoubleByteCharacters) {
  // A lead byte carries the value on; a trail byte 0x60 ends it in the middle.
  EXPECT_EQ(Scan("<img src='pics/\xCD\xBC\xC6\xAC.jpg'>"),
            Links{"http://host/dir/pics/\xCD\xBC\xC6\xAC.jpg"});
  EXPECT_EQ(Scan("<img src='pics/long_\xD6\x60name.jpg'>"),
            Links{"http://host/dir/pics/long_\xD6"});
  // A trail byte in A-Z stays as it is.
  EXPECT_EQ(Scan("<img src='pics/\x81Ztail.jpg'>"), Links{"http://host/dir/pics/\x81Ztail.jpg"});
}

TEST(Values, FragmentCutQueryKept) {
  EXPECT_EQ(Scan("<img src='pics/a.jpg?w=100&h=50#top'>"),
            Links{"http://host/dir/pics/a.jpg?w=100&h=50"});
}

TEST(Values, OnlyAValueBeginningWithASchemeIsAbsolute) {
  EXPECT_EQ(Scan("<img src='img.php?u=http://x/y.jpg'>"),
            Links{"http://host/dir/img.php?u=http://x/y.jpg"});
  EXPECT_EQ(Scan("<img src='/r?u=ftp://x/y.jpg'>"), Links{"http://host/r?u=ftp://x/y.jpg"});
  EXPECT_EQ(Scan("<img src='Svn+SSH.1-a://x/y.jpg'>"), Links{"Svn+SSH.1-a://x/y.jpg"});
  // Not a scheme: it must begin with a letter and hold nothing else before "://".
  EXPECT_EQ(Scan("<img src='1ab://x/y.jpg'>"), Links{"http://host/dir/1ab://x/y.jpg"});
  EXPECT_EQ(Scan("<img src='a_b://x/y.jpg'>"), Links{"http://host/dir/a_b://x/y.jpg"});
}

// ---------------------------------------------------------------------------
// The scan's repairs: references decoded, dot segments removed, "!" an
// address byte, short file names kept, data: and scripts dropped.

TEST(Repairs, EachRuleOnItsExamples) {
  const struct {
    std::string fragment;
    Links expected;
    std::string url = kPageUrl;
  } cases[] = {
      // References, decoded once and left to right; only the exact spelling.
      {"<img src='../../img.php?u=/x/../y.jpg&amp;w=660'>",
       {"http://h/img.php?u=/x/../y.jpg&w=660"},
       "http://h/a/b/p.htm"},
      {"<img src='p.php?x=&amp;lt;y&lt;&gt;&quot;&apos;'>", {"http://host/dir/p.php?x=&lt;y<>\"'"}},
      {"<img src='pics/a.jpg?x&amp;'>", {"http://host/dir/pics/a.jpg?x&"}},
      {"<img src='p.php?a&AMP;b&amp=1'>", {"http://host/dir/p.php?a&AMP;b&amp=1"}},
      {"<img src='p.php?a=1&amp;b=2'><img src='P.php?a=1&b=2'>", {"http://host/dir/p.php?a=1&b=2"}},
      // Dot segments, after resolution; a ".." at the root is dropped.
      {"<img src='./pics/a.jpg'><img src='../up/b.jpg'>",
       {"http://host/dir/pics/a.jpg", "http://host/up/b.jpg"}},
      {"<img src='/../../x/pic.jpg'>", {"http://host/x/pic.jpg"}},
      {"<img src='http://o/a/./b/../c.jpg'><img src='http://o/a/b/..'>",
       {"http://o/a/c.jpg", "http://o/a/"}},
      {"<img src='http://o?x=/../y.jpg'>", {"http://o?x=/../y.jpg"}},
      {"<img src='pics/./a.jpg'><img src='pics/a.jpg'>", {"http://host/dir/pics/a.jpg"}},
      // "!" belongs to the address, also right after "src=".
      {"<img src='http://w.example/fs/1.4691981.1574168878!/httpImage/image.jpg'>",
       {"http://w.example/fs/1.4691981.1574168878!/httpImage/image.jpg"}},
      {"<img src=!pics/bang.jpg>", {"http://host/dir/!pics/bang.jpg"}},
      // Short values: kept when they end in a file name.
      {"<img src='1.jpg'><img src='x.webp'><img src='abcd.gif'>",
       {"http://host/dir/1.jpg", "http://host/dir/x.webp", "http://host/dir/abcd.gif"}},
      {"<img src='#'><img src='/'><img src='http://'><img src='?x=1'><img src='img'>"
       "<img src='/.jpg'><img src='ab.c'><img src='a.b-c'><img src='a.jpegxx'>",
       {}},
      // data: values and scripts are dropped; other values with ".js" stay.
      {"<img src='data:image/png;base64,iVBORw0KGgo'><img src='DATA:image/gif;base64,R0lG'>"
       "<img src='/s/app.js?v=1'><img src='scripts/LIB.JS'><img src='pics/data:x.jpg'>",
       {"http://host/dir/pics/data:x.jpg"}},
      {"<img src='https://cdn.jsdelivr.net/gh/u/r/a.png'><img src='data/list.json'>"
       "<img src='thumb.php?src=a.js'><img src='pics/go.gif?to=mailto:me@x'>"
       "<img src='pics/run.gif?javascript:void(0)'>",
       {"https://cdn.jsdelivr.net/gh/u/r/a.png", "http://host/dir/data/list.json",
        "http://host/dir/thumb.php?src=a.js"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Scan(c.fragment, c.url), c.expected) << c.fragment;
}

// ---------------------------------------------------------------------------
// The walk from tag to tag.

TEST(Walk, OnlyTheFirstSourceAfterEachTagIsTaken) {
  EXPECT_EQ(Scan("<img src='pics/first.jpg' src='pics/second.jpg'>"),
            Links{"http://host/dir/pics/first.jpg"});
  EXPECT_EQ(Scan("<img lowsrc='pics/low.jpg' src='pics/high.jpg'>"),
            Links{"http://host/dir/pics/low.jpg"});
  // Only the whole "src=" counts, in any letter case.
  EXPECT_EQ(Scan("<img srv='pics/no1.jpg' sr='pics/no2.jpg' rc='pics/no3.jpg' SrC='pics/yes.jpg'>"),
            Links{"http://host/dir/pics/yes.jpg"});
}

TEST(Walk, TagsBeforeTheSourceFoundAreSkipped) {
  // The source search runs past tags without one; the next tag is sought
  // only after the value read.
  EXPECT_EQ(Scan("<img alt=x><img alt=y><p src='pics/later.jpg'><img src='pics/next.jpg'>"),
            (Links{"http://host/dir/pics/later.jpg", "http://host/dir/pics/next.jpg"}));
  // The next tag is sought from the byte that ended the value, so a tag
  // right after a value is found.
  EXPECT_EQ(Scan("<img src='pics/a b<img src=\"pics/inner.jpg\">"),
            Links{"http://host/dir/pics/inner.jpg"});
  EXPECT_EQ(Scan("<img src=pics/first.jpg<img src='pics/second.jpg'>"),
            (Links{"http://host/dir/pics/first.jpg", "http://host/dir/pics/second.jpg"}));
}

TEST(Walk, SourceAfterTheLastTagIsNotTaken) {
  EXPECT_EQ(Scan("<img src='pics/one.jpg'><frame src='frames/two.htm'>"),
            Links{"http://host/dir/pics/one.jpg"});
  // With a tag present the source is sought from the tag only: an earlier
  // frame source is not taken.
  EXPECT_EQ(Scan("<frame src='frames/one.htm'><img alt=none>"), Links{});
}

TEST(Walk, ImageButtonReplacementFeedsTheSkippedByte) {
  // After the replacement "src=<input..." reads "src=<img...": the skipped
  // byte is "<" and the value starts at "img".
  EXPECT_EQ(Scan("<img src=<inputpics/abc.gif>"), Links{"http://host/dir/imgpics/abc.gif"});
}

// ---------------------------------------------------------------------------
// Page base and site root, seen through a relative and a root-relative value.

struct BaseCase {
  std::string url;
  std::string base;
  std::string root;
};

TEST(PageBase, RightmostSlashFromPositionNine) {
  const BaseCase cases[] = {
      {"http://host/dir/page.htm", "http://host/dir/", "http://host/"},
      {"http://host", "http://host/", "http://host/"},
      {"https://host", "https://host/", "https://host/"},
      {"https://x", "https://x/", "https://x/"},
      {"https:///", "https:///", "https:///"},
      {"http://ab", "http://ab/", "http://ab/"},
      {"http://a/", "http://a/", "http://a/"},
      {"http://h/abc", "http://h/", "http://h/"},
      {"http://h/a/b/c.htm?x=/y", "http://h/a/b/c.htm?x=/", "http://h/"},
      {"ftp://a/bc/d", "ftp://a/bc/", "ftp://a/bc/"},
      {"no-scheme-address/x/y", "no-scheme-address/x/", "no-scheme-address/"},
      {"Http://Host/A B/", "Http://Host/A B/", "Http://Host/"},
      {"http://a", "", ""},
      {"https://", "", ""},
  };
  for (const BaseCase& c : cases) {
    EXPECT_EQ(Scan("<img src='pic/photo01.jpg'><img src='/images/logo.gif'>", c.url),
              (Links{c.base + "pic/photo01.jpg", c.root + "images/logo.gif"}))
        << c.url;
  }
}

// ---------------------------------------------------------------------------
// Hostile pages: no crash, and the result the rules give.

TEST(BadInput, NulBytes) {
  const std::string nul = Nul();
  // "<input" after the first NUL stays unchanged, so it is no tag.
  EXPECT_EQ(Scan("<img src='pics/one.jpg'>" + nul + "<input src='pics/two.jpg'>"),
            Links{"http://host/dir/pics/one.jpg"});
  EXPECT_EQ(Scan("<input src='pics/one.jpg'>" + nul + "<img src='pics/two.jpg'>" + nul +
                 "<input src='pics/three.jpg'>"),
            (Links{"http://host/dir/pics/one.jpg", "http://host/dir/pics/two.jpg"}));
  // A NUL ends a value; the scan carries on past it.
  EXPECT_EQ(
      Scan("<img src='pics/ab" + nul + "cdefgh.jpg'>" + nul + nul + "<img src='pics/after.jpg'>"),
      Links{"http://host/dir/pics/after.jpg"});
  // No tag at all: the first "src=" of the page is still taken once.
  EXPECT_EQ(Scan(nul + "<INPUT src='pics/x_after_nul.jpg'><INPUT src='pics/y_after_nul.jpg'>"),
            Links{"http://host/dir/pics/x_after_nul.jpg"});
  EXPECT_EQ(Scan(std::string(1000, '\0')), Links{});
}

// A page that ends inside a value, a tag or a source attribute: the tags
// before it still count, and no scan runs past the end.
TEST(BadInput, PageEndingInsideATagOrAValue) {
  const std::pair<std::string, Links> cases[] = {
      // An unterminated quote runs to the end of the page.
      {"<img src='pics/unterminated.jpg", {"http://host/dir/pics/unterminated.jpg"}},
      {"<img src=\"pics/x.jpg\" alt=\"no end", {"http://host/dir/pics/x.jpg"}},
      {"<img src='", {}},
      {"<img src=''''", {}},
      // A tag at the very end.
      {"<img src='pics/one.jpg'><img", {"http://host/dir/pics/one.jpg"}},
      {"<img src='pics/one.jpg'><input", {"http://host/dir/pics/one.jpg"}},
      {"<img", {}},
      {"<input", {}},
      {"<im", {}},
      // A source attribute at the very end.
      {"<img src='pics/one.jpg'><img src=", {"http://host/dir/pics/one.jpg"}},
      {"<img src='pics/one.jpg'><img src=x", {"http://host/dir/pics/one.jpg"}},
      {"<img src=", {}},
      {"src=", {}},
      {"src=abcdefghi", {"http://host/dir/abcdefghi"}},
  };
  for (const auto& [page, links] : cases) EXPECT_EQ(Scan(page), links) << page;
}

TEST(BadInput, AddressOfTenThousandBytes) {
  const std::string longPath = "pics/" + std::string(10000, 'q') + ".jpg";
  EXPECT_EQ(Scan("<img src='http://other/" + longPath + "'>"), Links{"http://other/" + longPath});
  EXPECT_EQ(Scan("<img src='" + longPath + "'>"), Links{"http://host/dir/" + longPath});
  EXPECT_EQ(Scan("<img src='/" + longPath + "'>"), Links{"http://host/" + longPath});
}

TEST(BadInput, AllByteValuesRepeated) {
  std::string page;
  for (int round = 0; round < 64; ++round)
    for (int b = 0; b < 256; ++b) page += static_cast<char>((b * 7 + round) & 0xFF);
  page += "<img src='pics/tail_of_junk.jpg'>";
  EXPECT_EQ(Scan(page), Links{"http://host/dir/pics/tail_of_junk.jpg"});
}

TEST(BadInput, FiftyMegabytePage) {
  // Blocks of junk with image tags; 1000 distinct addresses in letter-case
  // variants, each repeated; the last tag sits at the very end of the page.
  const std::string junk(4000, '\x97');
  std::string page;
  page.reserve(52u << 20);
  int tags = 0;
  while (page.size() < (50u << 20)) {
    const int n = tags % 1000;
    page += junk;
    page += (tags % 2 ? "<IMG SRC=\"Pics/" : "<img src='pics/") + std::to_string(n) + "_x.jpg";
    page += tags % 2 ? "\">" : "'>";
    ++tags;
  }
  page += "<input src='pics/final.jpg";
  const Links found = Scan(page);
  ASSERT_EQ(found.size(), 1001u);
  EXPECT_EQ(found.front(), "http://host/dir/pics/0_x.jpg");
  EXPECT_EQ(found[999], "http://host/dir/Pics/999_x.jpg");  // first found in capitals
  EXPECT_EQ(found.back(), "http://host/dir/pics/final.jpg");
}

}  // namespace
