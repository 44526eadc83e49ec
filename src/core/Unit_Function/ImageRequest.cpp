#include "ImageRequest.h"

#include <QDate>

#include "RequestUrl.h"

std::string OriginOf(const QString& address) {
  return RequestUrlOf(address.toStdString());
}

QString RequestAddress(const QString& address) {
  const QString tag = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
  return address + (address.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?')) + tag;
}
