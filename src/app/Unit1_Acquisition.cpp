// Batch acquisition of a page's image addresses, the clipboard sniffer of the
// manual mode, and the two small commands of the page address box.
#include <QLineEdit>

#include "Unit1.h"

void TForm1::ButtonGetPicUrlListClick(QObject*) {}

void TForm1::Button16Click(QObject*) {}

void TForm1::UrlDblClick(QObject*) {
  Url->selectAll();
}

void TForm1::ClipboardChanged() {}
