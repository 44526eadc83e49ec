// The deep scan's fixture pages (pages/NAME.htm), modelled on what real CMS,
// news and blog pages write, each with its exact list (pages/NAME.list, one
// address a line, "{site}" for the scheme and server the page is served from;
// the page itself lies at {site}/pages/NAME.htm).
#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <string>
#include <vector>

namespace deepscanpages {

struct TPage {
  QString Name;
  std::string Html;
  // The expected list, for the page served from site ("http://h:port").
  std::vector<std::string> ListFor(const std::string& site) const {
    std::vector<std::string> list;
    for (QString line : Lines)
      list.push_back(line.replace("{site}", QString::fromStdString(site)).toStdString());
    return list;
  }
  QStringList Lines;
};

inline std::vector<TPage> Pages() {
  const QDir dir(QStringLiteral(PIXVANE_DEEPSCAN_PAGES));
  std::vector<TPage> pages;
  for (const QString& file : dir.entryList({"*.htm"}, QDir::Files, QDir::Name)) {
    TPage page;
    page.Name = file.chopped(4);
    QFile html(dir.filePath(file));
    QFile list(dir.filePath(page.Name + ".list"));
    if (!html.open(QIODevice::ReadOnly) || !list.open(QIODevice::ReadOnly)) continue;
    page.Html = html.readAll().toStdString();
    page.Lines = QString::fromUtf8(list.readAll()).split('\n', Qt::SkipEmptyParts);
    pages.push_back(std::move(page));
  }
  return pages;
}

}  // namespace deepscanpages
