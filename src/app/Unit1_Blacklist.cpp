// The blacklist and its file.
#include "Unit1.h"

void TForm1::N2Click(QObject*) {}
void TForm1::N6Click(QObject*) {}
void TForm1::N3Click(QObject*) {}
void TForm1::Button1Click(QObject*) {}
QString TForm1::BlacklistPath() const {
  return AppDir + QStringLiteral("黑名单.txt");
}
void TForm1::LoadBlacklist() {}
void TForm1::SaveBlacklist() {}
