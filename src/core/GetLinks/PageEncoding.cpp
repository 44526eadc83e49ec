#include "PageEncoding.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <memory>
#include <type_traits>

#include "Unit_Function.h"

namespace {

constexpr std::size_t kNone = std::string_view::npos;
// A browser looks for a declared charset this far into the page.
constexpr std::size_t kPrescanBytes = 1024;

const std::string kUtf8 = "UTF-8";
const std::string kGb18030 = "GB18030";

struct Alias {
  std::string_view label;
  std::string_view name;
};

// Labels whose meaning differs from iconv's own reading of them, or that
// iconv does not know, as browsers take them.
constexpr std::array<Alias, 36> kAliases = {{
    {"utf-8", "UTF-8"},
    {"utf8", "UTF-8"},
    {"unicode-1-1-utf-8", "UTF-8"},
    {"gbk", "GB18030"},
    {"gb2312", "GB18030"},
    {"gb_2312", "GB18030"},
    {"gb_2312-80", "GB18030"},
    {"chinese", "GB18030"},
    {"csgb2312", "GB18030"},
    {"csiso58gb231280", "GB18030"},
    {"iso-ir-58", "GB18030"},
    {"x-gbk", "GB18030"},
    {"gb18030", "GB18030"},
    {"iso-8859-1", "WINDOWS-1252"},
    {"iso8859-1", "WINDOWS-1252"},
    {"latin1", "WINDOWS-1252"},
    {"l1", "WINDOWS-1252"},
    {"us-ascii", "WINDOWS-1252"},
    {"ascii", "WINDOWS-1252"},
    {"windows-1252", "WINDOWS-1252"},
    {"cp1252", "WINDOWS-1252"},
    {"big5", "BIG5-HKSCS"},
    {"big5-hkscs", "BIG5-HKSCS"},
    {"cn-big5", "BIG5-HKSCS"},
    {"x-x-big5", "BIG5-HKSCS"},
    {"shift_jis", "CP932"},
    {"sjis", "CP932"},
    {"ms_kanji", "CP932"},
    {"windows-31j", "CP932"},
    {"x-sjis", "CP932"},
    {"euc-kr", "CP949"},
    {"ks_c_5601-1987", "CP949"},
    {"windows-949", "CP949"},
    {"utf-16", "UTF-16LE"},
    {"utf-16le", "UTF-16LE"},
    {"utf-16be", "UTF-16BE"},
}};

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using Converter = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

Converter OpenConverter(const std::string& from) {
  const iconv_t cd = iconv_open("UTF-8", from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return Converter(cd);
}

bool IsLabelChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == ':';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool MatchesAt(std::string_view text, std::size_t at, std::string_view lowerPattern) {
  if (at > text.size() || lowerPattern.size() > text.size() - at) return false;
  for (std::size_t k = 0; k < lowerPattern.size(); ++k)
    if (AsciiLowerChar(text[at + k]) != lowerPattern[k]) return false;
  return true;
}

std::size_t FindIgnoreCase(std::string_view text, std::string_view lowerPattern, std::size_t from) {
  for (std::size_t at = from; at < text.size(); ++at)
    if (MatchesAt(text, at, lowerPattern)) return at;
  return kNone;
}

// The iconv name of an encoding label; empty when the label is unknown.
std::string EncodingNamed(std::string_view label) {
  const std::string lower = AsciiLower(label);
  for (const Alias& alias : kAliases)
    if (alias.label == lower) return std::string(alias.name);
  std::string upper;
  for (const char c : label) {
    if (!IsLabelChar(c)) return {};  // never an iconv option such as //IGNORE
    upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  }
  if (upper.empty() || !OpenConverter(upper)) return {};
  return upper;
}

// The encoding named by the first "charset=" in text that names a known one
// (blanks around "=", the value quoted or not); empty when none does.
std::string CharsetIn(std::string_view text) {
  for (std::size_t at = FindIgnoreCase(text, "charset", 0); at != kNone;
       at = FindIgnoreCase(text, "charset", at + 1)) {
    std::size_t i = at + 7;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size() || text[i] != '=') continue;
    ++i;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i < text.size() && (text[i] == '"' || text[i] == '\'')) ++i;
    const std::size_t start = i;
    while (i < text.size() && IsLabelChar(text[i])) ++i;
    const std::string name = EncodingNamed(text.substr(start, i - start));
    if (!name.empty()) return name;
  }
  return {};
}

// The encoding declared by the first meta tag in head that declares a known
// one; comments are skipped. A meta tag cannot declare UTF-16 (a page that
// could read its own tag in it is not UTF-16): that means UTF-8.
std::string MetaCharset(std::string_view head) {
  for (std::size_t i = head.find('<'); i != kNone; i = head.find('<', i + 1)) {
    if (head.substr(i, 4) == "<!--") {
      const std::size_t end = head.find("-->", i + 4);
      if (end == kNone) return {};
      i = end + 2;
      continue;
    }
    if (!MatchesAt(head, i, "<meta") || i + 5 >= head.size()) continue;
    if (!IsBlank(head[i + 5]) && head[i + 5] != '/') continue;
    const std::size_t end = head.find('>', i);
    const std::string name = CharsetIn(head.substr(i, end == kNone ? kNone : end - i));
    if (name.rfind("UTF-16", 0) == 0) return kUtf8;
    if (!name.empty()) return name;
  }
  return {};
}

void AppendEscaped(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

// UTF-8 text: well-formed characters as they are, every other byte escaped.
std::string DecodeUtf8(std::string page, std::size_t from) {
  const std::string_view text = std::string_view(page).substr(from);
  if (IsValidUtf8(text)) return from == 0 ? std::move(page) : std::string(text);
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8CharLength(text, i);
    if (length == 0) {
      AppendEscaped(out, static_cast<unsigned char>(text[i]));
      ++i;
    } else {
      out.append(text, i, length);
      i += length;
    }
  }
  return out;
}

// Text in any other encoding, through iconv. A sequence that does not
// decode loses one code unit (two bytes in UTF-16, else one) to escapes, and
// decoding goes on after it.
std::string DecodeWith(const std::string& name, std::string page, std::size_t from) {
  const Converter converter = OpenConverter(name);
  if (!converter) return DecodeUtf8(std::move(page), from);
  const std::size_t unit = name.rfind("UTF-16", 0) == 0 ? 2 : 1;
  std::string out;
  out.reserve(page.size() + page.size() / 2);
  char* src = page.data() + from;
  std::size_t srcLeft = page.size() - from;
  std::array<char, 16384> buffer;
  while (srcLeft > 0) {
    char* dst = buffer.data();
    std::size_t dstLeft = buffer.size();
    const std::size_t rc = iconv(converter.get(), &src, &srcLeft, &dst, &dstLeft);
    const int error = errno;
    out.append(buffer.data(), static_cast<std::size_t>(dst - buffer.data()));
    if (rc != static_cast<std::size_t>(-1) || error == E2BIG) continue;
    for (std::size_t k = 0; k < unit && srcLeft > 0; ++k, ++src, --srcLeft)
      AppendEscaped(out, static_cast<unsigned char>(*src));
  }
  // What a stateful encoding still holds.
  char* dst = buffer.data();
  std::size_t dstLeft = buffer.size();
  iconv(converter.get(), nullptr, nullptr, &dst, &dstLeft);
  out.append(buffer.data(), static_cast<std::size_t>(dst - buffer.data()));
  return out;
}

}  // namespace

PageEncoding PageEncodingOf(std::string_view page, std::string_view contentType) {
  if (page.substr(0, 3) == "\xEF\xBB\xBF") return {kUtf8, 3};
  if (page.substr(0, 2) == "\xFF\xFE") return {"UTF-16LE", 2};
  if (page.substr(0, 2) == "\xFE\xFF") return {"UTF-16BE", 2};
  if (std::string name = CharsetIn(contentType); !name.empty()) return {std::move(name), 0};
  if (std::string name = MetaCharset(page.substr(0, kPrescanBytes)); !name.empty())
    return {std::move(name), 0};
  return {IsValidUtf8(page) ? kUtf8 : kGb18030, 0};
}

std::string PageToUtf8(std::string page, std::string_view contentType) {
  const PageEncoding encoding = PageEncodingOf(page, contentType);
  if (encoding.name == kUtf8) return DecodeUtf8(std::move(page), encoding.bomBytes);
  return DecodeWith(encoding.name, std::move(page), encoding.bomBytes);
}
