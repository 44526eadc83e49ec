// The save folder: browser, folder name selection, view.
#include "Unit1.h"

void TForm1::Button13Click(QObject*) {}
void TForm1::FileNameDblClick(QObject*) {}
void TForm1::Button2Click(QObject*) {}
