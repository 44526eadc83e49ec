// Type filters that fill the processed list from the pre-processing list.
#include "Unit1.h"

void TForm1::Button18Click(QObject*) {}
void TForm1::Button6Click(QObject*) {}
void TForm1::Button7Click(QObject*) {}
void TForm1::Button8Click(QObject*) {}
void TForm1::Button9Click(QObject*) {}
void TForm1::Button10Click(QObject*) {}
void TForm1::Button11Click(QObject*) {}
void TForm1::Button12Click(QObject*) {}
