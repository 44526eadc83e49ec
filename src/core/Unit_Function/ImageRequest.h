// What every image request of a batch sends, in the window and in
// pixvane-get alike: the agent and accept texts and the address with its
// date tag.
#pragma once

#include <QString>
#include <string>

// The user agent and the accept text of an image request.
inline constexpr char kImageAgent[] =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; Maxthon; .NET CLR 1.1.4322)";
inline constexpr char kImageAcceptTypes[] =
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, */*";

// The address a downloaded file records as the one it came from: the
// address as a browser requests it, without the date tag. The same address
// always gives the same text, so a later run knows its own files.
std::string OriginOf(const QString& address);

// The address with today's date tag (eight digits, local date), so that no
// cache between here and the server answers in the server's place. An
// address that already has a query gets the tag as one more parameter.
QString RequestAddress(const QString& address);
