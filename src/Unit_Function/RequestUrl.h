// The address to request for an address as the window shows it, and what
// every image request of a batch sends.
#pragma once

#include <QString>
#include <string>
#include <string_view>

// The user agent and the accept text of an image request.
inline constexpr char kImageAgent[] =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; Maxthon; .NET CLR 1.1.4322)";
inline constexpr char kImageAcceptTypes[] =
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, */*";

// The address with today's date tag (eight digits, local date), so that no
// cache between here and the server answers in the server's place. An
// address that already has a query gets the tag as one more parameter.
QString RequestAddress(const QString& address);

// The bytes a browser requests for the shown address (UTF-8 text): the text
// parsed by QUrl in its tolerant mode and written fully encoded. Characters
// beyond ASCII are percent-encoded as UTF-8, an existing %XX stays as it is,
// a "%" without two hex digits after it becomes %25, blanks become %20, and
// the scheme and host are written in lower case (a host beyond ASCII in its
// ASCII form). An address QUrl cannot read is returned unchanged, so that the
// request fails there as it would have before.
std::string RequestUrlOf(std::string_view shown);
