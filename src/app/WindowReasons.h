// The reasons the core gives for a failure (English, as pixvane-get prints
// them and both programs log them), in the window's language: one catalogue
// of every reason the page fetch, the download worker, the internet layer
// and the batch produce, each matched by its pattern with its variable part
// (status, path, host, count) kept. A reason the catalogue does not know is
// shown as it is.
#pragma once

#include <QString>
#include <string>

QString InWindowLanguage(const std::string& raw);
QString InWindowLanguage(const QString& raw);
