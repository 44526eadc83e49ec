#include "RequestUrl.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace {

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

}  // namespace

std::string RequestUrlOf(std::string_view shown) {
  const std::string text = WithLonePercentsEscaped(shown);
  const QUrl url(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                 QUrl::TolerantMode);
  if (!url.isValid()) return std::string(shown);
  const QByteArray encoded = url.toEncoded();
  if (encoded.isEmpty()) return std::string(shown);
  return encoded.toStdString();
}
