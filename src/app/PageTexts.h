// The fixed texts of two pages: the questions and answers under the download
// list ("常见问题", Memo3) and the release notes of "软件更新" (Memo4).
#pragma once

#include <QStringList>

const QStringList& Memo3Lines();
const QStringList& Memo4Lines();
