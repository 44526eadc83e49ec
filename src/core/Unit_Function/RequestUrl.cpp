#include "RequestUrl.h"

#include <iconv.h>

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <algorithm>
#include <memory>
#include <type_traits>

#include "Unit_Function.h"

namespace {

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using Converter = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Every "%" that does not begin an escape, written as "%25". QUrl's tolerant
// mode does this itself, but then for every "%" of the address at once, which
// would spoil the escapes that are there.
std::string WithLonePercentsEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '%' &&
        !(i + 2 < text.size() && IsHexDigit(text[i + 1]) && IsHexDigit(text[i + 2])))
      out += "25";
  }
  return out;
}

bool MeansUtf8(std::string_view encoding) {
  return encoding.empty() || SameTextIgnoreCase(encoding, "UTF-8") ||
         SameTextIgnoreCase(encoding.substr(0, 6), "UTF-16");
}

// One run of characters beyond ASCII (UTF-8) in the encoding, each byte
// percent-encoded; a character the encoding has no bytes for as "&#N;".
QByteArray EncodedRun(iconv_t converter, std::string_view run) {
  QByteArray bytes;
  std::size_t at = 0;
  while (at < run.size()) {
    std::size_t length = Utf8CharLength(run, at);
    if (length == 0) length = 1;
    char out[16];
    char* src = const_cast<char*>(run.data() + at);
    std::size_t srcLeft = length;
    char* dst = out;
    std::size_t dstLeft = sizeof out;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1) &&
        iconv(converter, nullptr, nullptr, &dst, &dstLeft) != static_cast<std::size_t>(-1)) {
      bytes.append(out, dst - out);
    } else {
      const QString character = QString::fromUtf8(run.data() + at, static_cast<qsizetype>(length));
      bytes.append("&#" + QByteArray::number(character.toUcs4().value(0, 0xFFFD)) + ";");
    }
    at += length;
  }
  return bytes.toPercentEncoding();
}

// The text with the characters beyond ASCII in its query (after the first
// "?", up to a "#") written in the encoding, percent-encoded.
std::string WithQueryIn(const std::string& text, std::string_view encoding) {
  const std::size_t query = text.find('?');
  if (query == std::string::npos) return text;
  const std::size_t end = std::min(text.find('#', query), text.size());
  const iconv_t opened = iconv_open(std::string(encoding).c_str(), "UTF-8");
  if (opened == reinterpret_cast<iconv_t>(-1)) return text;
  const Converter converter(opened);
  std::string out = text.substr(0, query + 1);
  for (std::size_t at = query + 1; at < end;) {
    std::size_t run = at;
    while (run < end && static_cast<unsigned char>(text[run]) >= 0x80) ++run;
    if (run == at) {
      out += text[at++];
      continue;
    }
    out += EncodedRun(converter.get(), std::string_view(text).substr(at, run - at)).toStdString();
    at = run;
  }
  return out + text.substr(end);
}

}  // namespace

std::string RequestUrlOf(std::string_view shown, std::string_view queryEncoding) {
  std::string text = WithLonePercentsEscaped(shown);
  if (!MeansUtf8(queryEncoding)) text = WithQueryIn(text, queryEncoding);
  const QUrl url(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                 QUrl::TolerantMode);
  if (!url.isValid()) return std::string(shown);
  const QByteArray encoded = url.toEncoded();
  if (encoded.isEmpty()) return std::string(shown);
  return encoded.toStdString();
}
