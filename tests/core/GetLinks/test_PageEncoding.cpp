// The page's encoding, decided once per page, and the page decoded into
// UTF-8 with every byte that does not decode kept as %XX.
#include <gtest/gtest.h>

#include <string>

#include "PageEncoding.h"

namespace {

std::string Name(const std::string& page, const std::string& contentType = "") {
  return PageEncodingOf(page, contentType).name;
}

const std::string kGbkPage = "<img src='\xD6\xD0\xCE\xC4.gif'>";  // "中文" in GBK: not UTF-8

}  // namespace

TEST(PageEncoding, ByteOrderMarkThenHttpThenMetaThenUtf8ThenGb18030) {
  // A byte order mark wins over everything, as in browsers.
  const PageEncoding bom = PageEncodingOf("\xEF\xBB\xBFx", "text/html; charset=gbk");
  EXPECT_EQ(bom.name, "UTF-8");
  EXPECT_EQ(bom.bomBytes, 3u);
  EXPECT_EQ(Name("\xFF\xFEx\0"), "UTF-16LE");
  EXPECT_EQ(Name("\xFE\xFF\0x"), "UTF-16BE");
  // The HTTP charset, in any spelling, wins over the meta tag.
  const std::string metaUtf8 = "<html><META CHARSET=\"utf-8\">" + kGbkPage;
  EXPECT_EQ(Name(metaUtf8, "text/html; Charset = \"GB2312\""), "GB18030");
  EXPECT_EQ(Name(metaUtf8, "text/html; charset=x-gbk"), "GB18030");
  EXPECT_EQ(Name(metaUtf8), "UTF-8");
  EXPECT_EQ(Name("<meta http-equiv='Content-Type' content='text/html; charset=gbk'>" + kGbkPage),
            "GB18030");
  EXPECT_EQ(Name("<meta charset=iso-8859-1>" + kGbkPage), "WINDOWS-1252");
  // A meta tag cannot declare UTF-16; one in a comment or after the first
  // 1024 bytes does not count; an unknown label is passed over.
  EXPECT_EQ(Name("<meta charset=utf-16>" + kGbkPage), "UTF-8");
  EXPECT_EQ(Name("<!-- <meta charset=utf-8> -->" + kGbkPage), "GB18030");
  EXPECT_EQ(Name(std::string(1024, ' ') + "<meta charset=utf-8>" + kGbkPage), "GB18030");
  EXPECT_EQ(Name("<meta charset=no-such-code><meta charset=utf-8>" + kGbkPage), "UTF-8");
  EXPECT_EQ(Name(kGbkPage, "text/html; charset=no-such-code"), "GB18030");
  EXPECT_EQ(Name(kGbkPage, "text/html; charset=utf-8//IGNORE"), "UTF-8");
  // Undeclared: UTF-8 only when the whole page is UTF-8.
  EXPECT_EQ(Name("<img src='\xE5\x9B\xBE.gif'>"), "UTF-8");
  EXPECT_EQ(Name("<img src='\xE5\x9B\xBE.gif'>" + kGbkPage), "GB18030");
  EXPECT_EQ(Name(""), "UTF-8");
}

TEST(PageEncoding, DecodesThePageOnceAndKeepsUndecodableBytesAsEscapes) {
  // "模" in GBK is C4 A3, which is also well-formed UTF-8 ("ģ"): the page
  // decides, not the single value.
  EXPECT_EQ(PageToUtf8("\xC4\xA3/" + kGbkPage, ""), "模/<img src='中文.gif'>");
  EXPECT_EQ(PageToUtf8("\xC4\xA3/", ""), "ģ/");
  EXPECT_EQ(PageToUtf8("\xC4\xA3/", "text/html; charset=gbk"), "模/");
  // Bytes that do not decode stay distinct; a lead byte before an ASCII byte
  // loses only itself.
  EXPECT_EQ(PageToUtf8("a\xFF"
                       "b\x80"
                       "c\xD6'd\xD6",
                       ""),
            "a%FFb%80c%D6'd%D6");
  EXPECT_EQ(PageToUtf8("\xE5\x9B\xBE\xD6\xD0", "text/html; charset=utf-8"), "图%D6%D0");
  // The byte order mark is left out; a broken UTF-16 unit is escaped whole.
  EXPECT_EQ(PageToUtf8(std::string("\xEF\xBB\xBF\xE5\x9B\xBE"), "text/html; charset=gbk"), "图");
  EXPECT_EQ(PageToUtf8(std::string("\xFF\xFE<\0\xFE\x56\0\xDC", 8), ""), "<图%00%DC");
  EXPECT_EQ(PageToUtf8(std::string("<\0\xFE\x56", 4), "text/html; charset=utf-16"), "<图");
  // A stateful encoding, through iconv.
  EXPECT_EQ(PageToUtf8("\x1B$B?^\x1B(B.gif", "text/html; charset=iso-2022-jp"), "図.gif");
}
