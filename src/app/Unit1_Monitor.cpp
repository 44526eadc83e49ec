// The completion monitor and opening an address of the download list.
#include "Unit1.h"

void TForm1::Timer_CheckDownFileTimer(QObject*) {}
void TForm1::ListBox_DownloadClick(QObject*) {}
