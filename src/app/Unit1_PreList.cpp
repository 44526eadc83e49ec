// Pop-up commands of the pre-processing list.
#include "Unit1.h"

void TForm1::N1Click(QObject*) {}
void TForm1::N4Click(QObject*) {}
void TForm1::N5Click(QObject*) {}
void TForm1::N8Click(QObject*) {}
