// Publisher links and the exit button. The banner, the publisher's name,
// "软件更新" and "关于我们" all run what a click on Button_About runs.
#include <QLineEdit>
#include <QPushButton>

#include "Links.h"
#include "Seam.h"
#include "Unit1.h"

void TForm1::Button_AboutClick(QObject*) {
  Shell().OpenAddress(this, HomePageAddress(Edit_Ver->text()));
}

void TForm1::Button3Click(QObject*) {
  Button_About->click();
}

void TForm1::Label5Click(QObject*) {
  Button_About->click();
}

void TForm1::Image1Click(QObject*) {
  Button_About->click();
}

void TForm1::Label8Click(QObject*) {
  Shell().OpenAddress(this, FeedbackAddress(Edit_Ver->text()));
}

void TForm1::Button17Click(QObject*) {
  Shell().OpenAddress(this, OnlineVersionAddress(Edit_Ver->text()));
}

void TForm1::Button4Click(QObject*) {
  close();
}
