#include "ImageRequest.h"

#include <QDate>

QString RequestAddress(const QString& address) {
  const QString tag = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
  return address + (address.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?')) + tag;
}
