// The publisher's pages. Each address is built at the moment of the click
// from a fixed part and the version text, appended without a separator.
#pragma once

#include <QString>

inline constexpr const char* kHomeHost = "www.qorvella.example";
inline constexpr const char* kForumHost = "bbs.qorvella.example";

inline QString HomePageAddress(const QString& version) {
  return QStringLiteral("http://") + QLatin1String(kHomeHost) + QStringLiteral("/?qq=ZUN") +
         version;
}

inline QString FeedbackAddress(const QString& version) {
  return QStringLiteral("http://") + QLatin1String(kForumHost) + QStringLiteral("/?ZUN") + version;
}

inline QString OnlineVersionAddress(const QString& version) {
  return QStringLiteral("http://") + QLatin1String(kHomeHost) +
         QStringLiteral("/Tools/Tarnquill/?qq=ZUN") + version;
}
