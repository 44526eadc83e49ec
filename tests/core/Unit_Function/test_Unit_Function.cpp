#include <gtest/gtest.h>

#include "RequestUrl.h"
#include "Unit_Function.h"

TEST(LeftRightChars, CountsBytesAndClampToTheText) {
  EXPECT_EQ(LeftChars("http://host", 7), "http://");
  EXPECT_EQ(LeftChars("abc", 0), "");
  EXPECT_EQ(LeftChars("abc", 65535), "abc");
  EXPECT_EQ(LeftChars("", 3), "");
  EXPECT_EQ(RightChars("pic.jpeg", 4), "jpeg");
  EXPECT_EQ(RightChars("abc", 0), "");
  EXPECT_EQ(RightChars("abc", 4), "abc");
  EXPECT_EQ(RightChars("abc", 3), "abc");
}

TEST(LeftRightChars, NeverSplitAUtf8Character) {
  const std::string cat = "\xE7\x8C\xAB";  // one three-byte character
  EXPECT_EQ(LeftChars("a" + cat + "b", 2), "a");
  EXPECT_EQ(LeftChars("a" + cat + "b", 4), "a" + cat);
  EXPECT_EQ(RightChars("a" + cat + "b", 2), "b");
  EXPECT_EQ(RightChars("a" + cat + "b", 4), cat + "b");
  // Bytes that are not UTF-8 are cut like any byte.
  EXPECT_EQ(LeftChars("\xFF\xFE\x80", 1), "\xFF");
  EXPECT_EQ(RightChars("\x80\x80\x80", 2), "\x80\x80");
}

TEST(UrlLastSegment, TakesTheTextAfterTheLastSlash) {
  EXPECT_EQ(UrlLastSegment("http://host/dir/a.gif"), "a.gif");
  EXPECT_EQ(UrlLastSegment("noslash.jpg"), "noslash.jpg");
  EXPECT_EQ(UrlLastSegment("http://host/dir/"), "");
  EXPECT_EQ(UrlLastSegment("http://h/show.php?id=3"), "show.php?id=3");
  EXPECT_EQ(UrlLastSegment(""), "");
}

TEST(AsciiLower, FoldsOnlyAToZ) {
  EXPECT_EQ(AsciiLower("HTTP://Host/PIC.JPG"), "http://host/pic.jpg");
  // Bytes beyond ASCII (a GBK trail byte 0x5A included) follow the byte rule.
  EXPECT_EQ(AsciiLower("\xC4\x5A\xE7\x8C\xAB@[`{"), "\xC4\x7A\xE7\x8C\xAB@[`{");
  EXPECT_TRUE(SameTextIgnoreCase("http://A/b.GIF", "HTTP://a/B.gif"));
  EXPECT_FALSE(SameTextIgnoreCase("a", "ab"));
  EXPECT_FALSE(SameTextIgnoreCase("@", "`"));
}

TEST(ToListText, KeepsUtf8AndConvertsGbk) {
  EXPECT_EQ(ToListText("http://h/\xE5\x9B\xBE.jpg"), "http://h/\xE5\x9B\xBE.jpg");
  // "中文" in GBK is D6 D0 CE C4, which is not UTF-8.
  EXPECT_EQ(ToListText("http://h/\xD6\xD0\xCE\xC4.jpg"), "http://h/\xE4\xB8\xAD\xE6\x96\x87.jpg");
  EXPECT_TRUE(IsValidUtf8(ToListText("\xFF\xFE\x81")));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));         // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));     // surrogate
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));  // four bytes
}

TEST(CutToBytes, CutsLongLinesOnWholeCharacters) {
  EXPECT_EQ(CutToBytes(std::string(5000, 'a'), kMemoLineBytes).size(), 4096u);
  std::string line = std::string(4095, 'a') + "\xE7\x8C\xAB";
  EXPECT_EQ(CutToBytes(line, kMemoLineBytes), std::string(4095, 'a'));
  EXPECT_EQ(CutToBytes("short", kMemoLineBytes), "short");
}

TEST(RequestUrlOf, EncodesTheShownAddressAsABrowserRequestsIt) {
  EXPECT_EQ(RequestUrlOf("http://h/图库/a b.jpg"), "http://h/%E5%9B%BE%E5%BA%93/a%20b.jpg");
  EXPECT_EQ(RequestUrlOf("http://h/a\u00A0b\u2028c.jpg?q=中#top"),
            "http://h/a%C2%A0b%E2%80%A8c.jpg?q=%E4%B8%AD#top");
  // Escapes already there stay; a lone "%" is escaped itself.
  EXPECT_EQ(RequestUrlOf("http://h/%D6%D0x/100%.jpg"), "http://h/%D6%D0x/100%25.jpg");
  // The path keeps its letter case; scheme and host do not matter.
  EXPECT_EQ(RequestUrlOf("HTTP://Host/Mixed/Case.JPG?Q=1"), "http://host/Mixed/Case.JPG?Q=1");
  // An address QUrl cannot read goes on as it is.
  EXPECT_EQ(RequestUrlOf("http://h:99999/x"), "http://h:99999/x");
  EXPECT_EQ(RequestUrlOf(""), "");
}

TEST(RequestUrlOf, SendsTheQueryInThePagesEncoding) {
  const std::pair<std::string, std::string> cases[] = {
      {"GB18030", "http://h/%E5%9B%BE/show.asp?name=%D6%D0%CE%C4.jpg&w=1#%E4%B8%AD"},
      {"UTF-8", "http://h/%E5%9B%BE/show.asp?name=%E4%B8%AD%E6%96%87.jpg&w=1#%E4%B8%AD"},
      {"UTF-16LE", "http://h/%E5%9B%BE/show.asp?name=%E4%B8%AD%E6%96%87.jpg&w=1#%E4%B8%AD"},
      {"", "http://h/%E5%9B%BE/show.asp?name=%E4%B8%AD%E6%96%87.jpg&w=1#%E4%B8%AD"},
      // No bytes for it in Latin-1: "&#20013;" as a browser sends it.
      {"WINDOWS-1252",
       "http://h/%E5%9B%BE/show.asp?name=%26%2320013%3B%26%2325991%3B.jpg&w=1#%E4%B8%AD"},
      {"no-such-encoding", "http://h/%E5%9B%BE/show.asp?name=%E4%B8%AD%E6%96%87.jpg&w=1#%E4%B8%AD"},
  };
  for (const auto& [encoding, sent] : cases)
    EXPECT_EQ(RequestUrlOf("http://h/图/show.asp?name=中文.jpg&w=1#中", encoding), sent)
        << encoding;
  EXPECT_EQ(RequestUrlOf("http://h/a.jpg?x=%D6%D0&y=é", "WINDOWS-1252"),
            "http://h/a.jpg?x=%D6%D0&y=%E9");
}
