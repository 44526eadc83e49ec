// The main window's frame: the header above the pages, the footer and status
// bar below them, the pop-up menus and the completion timer. The pages are
// built in Unit1_Pages.cpp.
#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "HeaderPicture.h"
#include "LayoutKit.h"
#include "Links.h"
#include "Unit1.h"

using namespace layout;

void TForm1::BuildWindow() {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Pixvane"));
  QFont font;
  // 宋体 where it is installed; otherwise a CJK font with the same
  // half-width Latin letters and blanks, so captions keep their spacing.
  font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                    QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("Noto Sans CJK SC"),
                    QStringLiteral("WenQuanYi Micro Hei")});
  font.setPointSize(9);
  setFont(font);
  resize(kDesignWidth, kDesignHeight);

  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("Form1Client"));
  setCentralWidget(central);
  auto* main = Column(central, 0, 0);
  main->addWidget(BuildHeader(central));

  // Each page is added to the page control before its controls are made,
  // so that they measure their captions in the window's font.
  PageControl1 = Make<QTabWidget>("PageControl1", central);
  main->addWidget(PageControl1, 1);
  BuildAcquisitionPage();
  BuildPreviewPage();
  BuildDownloadPage();
  BuildBlacklistPage();
  BuildUpdatePage();
  PageControl1->setCurrentWidget(TabSheet2);

  main->addWidget(BuildFooter(central));
  BuildStatusBar();
  BuildMenus();

  Timer_CheckDownFile = Make<QTimer>("Timer_CheckDownFile", this);
  Timer_CheckDownFile->setInterval(1000);

  PlaceAnchored();
}

QWidget* TForm1::BuildHeader(QWidget* parent) {
  // A raised panel with a one-pixel bevel; the pictures fill its inside.
  auto* header = Make<QFrame>("Panel1", parent);
  header->setFrameStyle(QFrame::Panel | QFrame::Raised);
  header->setLineWidth(1);
  Panel1 = header;
  Panel1->setFixedHeight(108);
  Paint(Panel1, QPalette::Window, QColor(255, 0, 255));  // fuchsia, covered by the pictures
  Image1 = Make<TClickableLabel>("Image1", Panel1);
  Image1->setPixmap(QPixmap::fromImage(LoadHeaderPicture(QStringLiteral(":/assets/banner.jpg"))));
  Image1->setGeometry(1, 1, 656, 106);
  Image2 = Make<QLabel>("Image2", Panel1);
  Image2->setPixmap(QPixmap::fromImage(LoadHeaderPicture(QStringLiteral(":/assets/filler.jpg"))));
  Image2->setScaledContents(true);
  Image2->setGeometry(657, 1, kDesignWidth - 658, 106);
  Image2->setProperty(kRightMargin, 1);  // stretched to the right edge
  Label3 = Make<QLabel>("Label3", QStringLiteral("版本:"), Panel1);
  Paint(Label3, QPalette::Window, Qt::white);
  AnchorRight(Label3, kDesignWidth - 130, 4, 34, 18, kDesignWidth);
  Edit_Ver = Make<QLineEdit>("Edit_Ver", QStringLiteral(PIXVANE_VERSION), Panel1);
  Edit_Ver->setReadOnly(true);
  Edit_Ver->setFrame(false);
  AnchorRight(Edit_Ver, kDesignWidth - 96, 4, 92, 18, kDesignWidth);
  return Panel1;
}

QWidget* TForm1::BuildFooter(QWidget* parent) {
  Panel2 = Make<QWidget>("Panel2", parent);
  Panel2->setFixedHeight(40);
  Label5 = Make<TClickableLabel>(
      "Label5", QStringLiteral("Qorvella ") + QString::fromLatin1(kHomeHost), Panel2);
  Label5->setStyleSheet(QStringLiteral("color: green; font-weight: bold;"));
  Label5->setCursor(Qt::WhatsThisCursor);
  Label5->setGeometry(8, 12, Label5->sizeHint().width(), 18);
  Button17 = MakeButton("Button17", QStringLiteral("在线版"), Panel2);
  Button17->move(Label5->geometry().right() + 12, 8);
  Label8 = Make<TClickableLabel>("Label8", QStringLiteral("你提意见,我改进"), Panel2);
  Label8->setCursor(Qt::WhatsThisCursor);
  Button4 = MakeButton("Button4", QStringLiteral("退出"), Panel2);
  Button3 = MakeButton("Button3", QStringLiteral("软件更新"), Panel2);
  Button_About = MakeButton("Button_About", QStringLiteral("关于我们"), Panel2);
  // From the right edge: the three buttons 5 apart, then the feedback label.
  int x = kDesignWidth - 8;
  for (QPushButton* b : {Button_About, Button3, Button4}) {
    x -= 75;
    AnchorRight(b, x, 8, 75, 25, kDesignWidth);
    x -= 5;
  }
  const int label8Width = Label8->sizeHint().width();
  AnchorRight(Label8, x - 7 - label8Width, 12, label8Width, 18, kDesignWidth);
  return Panel2;
}

void TForm1::BuildStatusBar() {
  StatusBar1 = Make<QStatusBar>("StatusBar1", this);
  StatusBar1->setFixedHeight(19);
  StatusBar1->setSizeGripEnabled(true);
  StatusPanel = Make<QLabel>("StatusBar1Panel0", StatusBar1);
  StatusBar1->addWidget(StatusPanel, 1);
  setStatusBar(StatusBar1);
}

void TForm1::BuildMenus() {
  const auto item = [](QMenu* menu, const char* name, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    return a;
  };
  // Over the pre-processing list.
  PopupMenu1 = Make<QMenu>("PopupMenu1", this);
  N2 = item(PopupMenu1, "N2", QStringLiteral("->单个加入黑名单(下次自动屏蔽)"));
  N6 = item(PopupMenu1, "N6", QStringLiteral("->批量加入黑名单(下次自动屏蔽)"));
  N1 = item(PopupMenu1, "N1", QStringLiteral("删除列表选中图片地址"));
  N4 = item(PopupMenu1, "N4", QStringLiteral("打开该链接"));
  N5 = item(PopupMenu1, "N5", QStringLiteral("清理预处理列表"));
  N7 = PopupMenu1->addSeparator();
  N7->setObjectName(QStringLiteral("N7"));
  N8 = item(PopupMenu1, "N8", QStringLiteral("->批量加入[已处理]图片列表"));
  // Over the blacklist.
  PopupMenu2 = Make<QMenu>("PopupMenu2", this);
  N3 = item(PopupMenu2, "N3", QStringLiteral("删除列表选中图片地址"));
}

void TForm1::PlaceAnchored() {
  for (QWidget* panel : {Panel1, Panel2}) {
    const int width = panel->width() > 0 ? panel->width() : kDesignWidth;
    for (QWidget* child : panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      const QVariant margin = child->property(kRightMargin);
      if (!margin.isValid()) continue;
      if (child == Image2) {
        child->setGeometry(657, 1, std::max(0, width - 658), 106);
      } else {
        child->move(width - margin.toInt() - child->width(), child->y());
      }
    }
  }
  Label3->raise();
  Edit_Ver->raise();
}
