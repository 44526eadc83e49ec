// Import into the download list, the batch start and the progress display.
#include "Unit1.h"

void TForm1::Button5Click(QObject*) {}
void TForm1::Button15Click(QObject*) {}
void TForm1::Button14Click(QObject*) {}
void TForm1::HTTPGetProgress(QObject*, std::int32_t, std::int32_t) {}
void TForm1::HTTPGetDoneFile(QObject*, const std::string&, std::int32_t) {}
