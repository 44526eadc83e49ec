// The controls of the main window and their arrangement: header, the four
// pages, footer, status bar, pop-up menus and the completion timer.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "HeaderPicture.h"
#include "Links.h"
#include "Unit1.h"

namespace {

// The client area of the window as designed (outer 701 x 684).
constexpr int kDesignWidth = 685;
constexpr int kDesignHeight = 646;

template <typename T, typename... Args>
T* Make(const char* name, Args&&... args) {
  T* w = new T(std::forward<Args>(args)...);
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

QPushButton* MakeButton(const char* name, const QString& caption, QWidget* parent, int w = 75,
                        int h = 25) {
  auto* b = Make<QPushButton>(name, caption, parent);
  b->setFixedSize(w, h);
  return b;
}

QGroupBox* MakeFrame(const char* name, const QString& caption, QWidget* parent) {
  return Make<QGroupBox>(name, caption, parent);
}

QVBoxLayout* Column(QWidget* w, int margin = 4, int spacing = 4) {
  auto* l = new QVBoxLayout(w);
  l->setContentsMargins(margin, margin, margin, margin);
  l->setSpacing(spacing);
  return l;
}

QHBoxLayout* Row(QWidget* w, int margin = 4, int spacing = 4) {
  auto* l = new QHBoxLayout(w);
  l->setContentsMargins(margin, margin, margin, margin);
  l->setSpacing(spacing);
  return l;
}

// Distance of a widget's right edge from its parent's right edge at the
// design width; widgets with an entry keep it when the window is resized.
const char* const kRightMargin = "pixvaneRightMargin";

void AnchorRight(QWidget* w, int x, int y, int width, int height, int parentDesignWidth) {
  w->setGeometry(x, y, width, height);
  w->setProperty(kRightMargin, parentDesignWidth - (x + width));
}

const QStringList& Memo3Lines() {
  static const QStringList lines = {
      QStringLiteral("常见问题:"),
      QStringLiteral("1.问:支持下载服务器带防盗链功能的资源吗"),
      QStringLiteral("  答:图片服务器带防盗链功能，将无法下载图片."),
      QStringLiteral("2.问:下载列表存在一些无法下载的链接?"),
      QStringLiteral("  答:下载列表剩余图片列表多数为无法下载的图片,或网络太慢导致无法下载."),
      QStringLiteral("3.问:下载列表剩余无法下载的列表怎么办?"),
      QStringLiteral("  答:剩余列表无法下载的链接不用理会下次导入下载列表会自动清空."),
      QStringLiteral("4.问:提示下载任务完成滚动条为什么还不停的动? "),
      QStringLiteral("  答:由于采用了多线程下载引擎所以难免会存在进度不同步的问题."),
  };
  return lines;
}

const QStringList& Memo4Lines() {
  static const QStringList lines = {
      QStringLiteral("更新说明:"),
      QStringLiteral("版本:1.3.2010.10.27"),
      QStringLiteral("1.修正了右键菜单 ->批量加入[已处理]图片列表 不能清空旧数据的问题"),
      QString(),
      QString(),
      QStringLiteral("版本:1.2.2010.10.24"),
      QStringLiteral("1.加入了多线程下载引擎"),
      QStringLiteral("2.加入进度条显示"),
      QStringLiteral("3.加入了图片下载文件夹预览按钮"),
      QStringLiteral("4.加入了图片链接强制下载，解决个别服务器图片没有扩展名无法下载的问题"),
      QStringLiteral("5.已处理图片列表加入了统计图片链接数"),
      QStringLiteral("6.采用了更加丰富的图片链接获取引擎"),
      QStringLiteral("7.优化了批量下载图片时程序界面假死的问题"),
      QStringLiteral("8.加入了丰富的过滤规则"),
  };
  return lines;
}

QPlainTextEdit* MakeMemo(const char* name, QWidget* parent, bool horizontalBar) {
  auto* m = Make<QPlainTextEdit>(name, parent);
  m->setLineWrapMode(QPlainTextEdit::NoWrap);
  m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m->setHorizontalScrollBarPolicy(horizontalBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  return m;
}

// A design height, raised where this platform's frame caption needs more room.
void FixHeight(QWidget* w, int designHeight) {
  w->setFixedHeight(std::max(designHeight, w->sizeHint().height()));
}

void Paint(QWidget* w, QPalette::ColorRole role, const QColor& color) {
  QPalette p = w->palette();
  p.setColor(role, color);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

}  // namespace

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

  // ---- Header -------------------------------------------------------------
  // A raised panel with a one-pixel bevel; the pictures fill its inside.
  auto* header = Make<QFrame>("Panel1", central);
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
  Edit_Ver = Make<QLineEdit>("Edit_Ver", QStringLiteral("1.3.2010.10.27"), Panel1);
  Edit_Ver->setReadOnly(true);
  Edit_Ver->setFrame(false);
  AnchorRight(Edit_Ver, kDesignWidth - 96, 4, 92, 18, kDesignWidth);
  main->addWidget(Panel1);

  // ---- Pages --------------------------------------------------------------
  PageControl1 = Make<QTabWidget>("PageControl1", central);
  main->addWidget(PageControl1, 1);

  // Page "图片获取"
  TabSheet2 = Make<QWidget>("TabSheet2");
  PageControl1->addTab(TabSheet2, QStringLiteral("图片获取"));
  GroupBox1 = MakeFrame("GroupBox1", QString(), TabSheet2);
  Column(TabSheet2, 0)->addWidget(GroupBox1);
  auto* page1 = Column(GroupBox1);

  GroupBox2 = MakeFrame("GroupBox2", QStringLiteral("工作模式"), GroupBox1);
  auto* mode = Column(GroupBox2, 4, 2);
  auto* modeRow = new QHBoxLayout;
  RadioButton1 = Make<QRadioButton>("RadioButton1", QStringLiteral("批量获取"), GroupBox2);
  RadioButton1->setChecked(true);
  Label1 = Make<QLabel>("Label1", QStringLiteral("网页链接"), GroupBox2);
  Url = Make<QLineEdit>("Url", QStringLiteral("http://"), GroupBox2);
  ButtonGetPicUrlList = MakeButton("ButtonGetPicUrlList", QStringLiteral("批量获取"), GroupBox2);
  Button16 = MakeButton("Button16", QStringLiteral("粘贴"), GroupBox2, 50);
  modeRow->addWidget(RadioButton1);
  modeRow->addWidget(Label1);
  modeRow->addWidget(Url, 1);
  modeRow->addWidget(ButtonGetPicUrlList);
  modeRow->addWidget(Button16);
  mode->addLayout(modeRow);
  RadioButton2 = Make<QRadioButton>(
      "RadioButton2",
      QStringLiteral("手动获取  鼠标右键复制图片链接，软件自动从剪切板嗅探图片地址"), GroupBox2);
  mode->addWidget(RadioButton2);
  FixHeight(GroupBox2, 66);
  page1->addWidget(GroupBox2);

  Splitter2 = Make<QSplitter>("Splitter2", Qt::Vertical, GroupBox1);
  Splitter2->setHandleWidth(3);
  Splitter2->setChildrenCollapsible(false);
  page1->addWidget(Splitter2, 1);

  GroupBox3 = MakeFrame("GroupBox3", QStringLiteral("[预处理]图片列表"), Splitter2);
  ListBox_imglist = Make<QListWidget>("ListBox_imglist", GroupBox3);
  ListBox_imglist->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListBox_imglist->setContextMenuPolicy(Qt::CustomContextMenu);
  ListBox_imglist->setUniformItemSizes(true);
  Column(GroupBox3, 2)->addWidget(ListBox_imglist);
  // The raw-result memo lies beneath the list and is never seen.
  Memo1 = MakeMemo("Memo1", GroupBox3, true);
  Memo1->setPlainText(QStringLiteral("Memo1"));
  Memo1->hide();
  Splitter2->addWidget(GroupBox3);

  auto* lower = new QWidget(Splitter2);
  lower->setObjectName(QStringLiteral("Splitter2Lower"));
  auto* lowerColumn = Column(lower, 0);
  Splitter2->addWidget(lower);
  Splitter2->setSizes({113, 400});
  Splitter2->setStretchFactor(1, 1);

  GroupBox5 = MakeFrame("GroupBox5", QStringLiteral("图片筛选"), lower);
  auto* filters = Row(GroupBox5, 4, 2);
  Button18 = MakeButton("Button18", QStringLiteral("清空"), GroupBox5, 41);
  Button6 = MakeButton("Button6", QStringLiteral("全部"), GroupBox5, 41);
  Button7 = MakeButton("Button7", QStringLiteral("gif"), GroupBox5, 41);
  Button8 = MakeButton("Button8", QStringLiteral("jpg"), GroupBox5, 41);
  Button9 = MakeButton("Button9", QStringLiteral("jpeg"), GroupBox5, 41);
  Button10 = MakeButton("Button10", QStringLiteral("png"), GroupBox5, 41);
  Button11 = MakeButton("Button11", QStringLiteral("bmp"), GroupBox5, 41);
  Button12 = MakeButton("Button12", QStringLiteral("其他"), GroupBox5, 41);
  for (QPushButton* b :
       {Button18, Button6, Button7, Button8, Button9, Button10, Button11, Button12})
    filters->addWidget(b);
  ComboBox_imgtype = Make<QComboBox>("ComboBox_imgtype", GroupBox5);
  ComboBox_imgtype->setEditable(true);
  ComboBox_imgtype->setInsertPolicy(QComboBox::NoInsert);
  ComboBox_imgtype->setFixedWidth(80);
  filters->addWidget(ComboBox_imgtype);
  Label2 = Make<QLabel>("Label2", QStringLiteral("如:gif或.gif"), GroupBox5);
  filters->addWidget(Label2);
  filters->addStretch(1);
  FixHeight(GroupBox5, 44);
  lowerColumn->addWidget(GroupBox5);

  GroupBox4 = MakeFrame("GroupBox4", QStringLiteral("[已处理]图片列表"), lower);
  Memo2 = MakeMemo("Memo2", GroupBox4, true);
  Column(GroupBox4, 2)->addWidget(Memo2);
  lowerColumn->addWidget(GroupBox4, 1);

  Panel3 = Make<QWidget>("Panel3", lower);
  auto* imports = Row(Panel3, 4, 6);
  imports->addStretch(1);
  Button5 = MakeButton("Button5", QStringLiteral("导入下载列表 ->"), Panel3, 101);
  Button15 = MakeButton("Button15", QStringLiteral("查看下载列表 ->"), Panel3, 101);
  imports->addWidget(Button5);
  imports->addWidget(Button15);
  FixHeight(Panel3, 35);
  lowerColumn->addWidget(Panel3);

  // Page "下载列表"
  TabSheet5 = Make<QWidget>("TabSheet5");
  PageControl1->addTab(TabSheet5, QStringLiteral("下载列表"));
  GroupBox8 = MakeFrame("GroupBox8", QString(), TabSheet5);
  Column(TabSheet5, 0)->addWidget(GroupBox8);
  auto* page2 = Column(GroupBox8);

  GroupBox9 = MakeFrame("GroupBox9", QStringLiteral("下载列表"), GroupBox8);
  Splitter1 = Make<QSplitter>("Splitter1", Qt::Vertical, GroupBox9);
  Splitter1->setHandleWidth(3);
  Splitter1->setChildrenCollapsible(false);
  Splitter1->setStyleSheet(QStringLiteral("QSplitter::handle { background-color: maroon; }"));
  ListBox_Download = Make<QListWidget>("ListBox_Download", Splitter1);
  ListBox_Download->setSelectionMode(QAbstractItemView::SingleSelection);
  ListBox_Download->setUniformItemSizes(true);
  Memo3 = MakeMemo("Memo3", Splitter1, false);
  Memo3->setPlainText(Memo3Lines().join(QLatin1Char('\n')));
  Splitter1->addWidget(ListBox_Download);
  Splitter1->addWidget(Memo3);
  Splitter1->setSizes({200, 89});
  Splitter1->setStretchFactor(0, 1);
  Column(GroupBox9, 2)->addWidget(Splitter1);
  page2->addWidget(GroupBox9, 1);

  GroupBox11 = MakeFrame("GroupBox11", QStringLiteral("下载进度"), GroupBox8);
  auto* progress = Row(GroupBox11, 6, 6);
  // The two size boxes sit in the two gaps of the label's caption.
  auto* sizes = new QWidget(GroupBox11);
  sizes->setObjectName(QStringLiteral("Label9Holder"));
  Label9 = Make<QLabel>("Label9",
                        QStringLiteral("需要下载:") + QString(10, QLatin1Char(' ')) +
                            QStringLiteral("KB 已经下载:") + QString(10, QLatin1Char(' ')) +
                            QStringLiteral("KB"),
                        sizes);
  {
    const QFontMetrics fm(Label9->font());
    const int firstGap = fm.horizontalAdvance(QStringLiteral("需要下载:"));
    const int secondGap =
        fm.horizontalAdvance(QStringLiteral("需要下载:") + QString(10, QLatin1Char(' ')) +
                             QStringLiteral("KB 已经下载:"));
    const int gapWidth = fm.horizontalAdvance(QString(10, QLatin1Char(' ')));
    const int total = fm.horizontalAdvance(Label9->text());
    Label9->setGeometry(0, 2, total + 2, 18);
    sizes->setFixedSize(total + 4, 22);
    Edit_DownLoadSize_B = Make<QLineEdit>("Edit_DownLoadSize_B", sizes);
    Edit_DownLoadSize_A = Make<QLineEdit>("Edit_DownLoadSize_A", sizes);
    for (QLineEdit* e : {Edit_DownLoadSize_B, Edit_DownLoadSize_A}) e->setReadOnly(true);
    Edit_DownLoadSize_B->setGeometry(firstGap + (gapWidth - 56) / 2, 0, 56, 20);
    Edit_DownLoadSize_A->setGeometry(secondGap + (gapWidth - 56) / 2, 0, 56, 20);
  }
  progress->addWidget(sizes);
  DownLoadProgressBar = Make<QProgressBar>("DownLoadProgressBar", GroupBox11);
  DownLoadProgressBar->setRange(0, 100);
  DownLoadProgressBar->setValue(0);
  DownLoadProgressBar->setTextVisible(false);
  progress->addWidget(DownLoadProgressBar, 1);
  FixHeight(GroupBox11, 40);
  page2->addWidget(GroupBox11);

  GroupBox10 = MakeFrame("GroupBox10", QStringLiteral("图片保存路径"), GroupBox8);
  auto* save = Row(GroupBox10, 4, 4);
  SavePath = Make<QLineEdit>("SavePath", GroupBox10);
  Button13 = MakeButton("Button13", QStringLiteral("..."), GroupBox10, 28, 22);
  Label4 = Make<QLabel>("Label4", QStringLiteral("新建文件夹:"), GroupBox10);
  FileName = Make<QLineEdit>("FileName", QStringLiteral("文件夹名称"), GroupBox10);
  FileName->setFixedWidth(120);
  Button2 = MakeButton("Button2", QStringLiteral("查看"), GroupBox10, 50, 22);
  for (QLineEdit* e : {SavePath, FileName}) Paint(e, QPalette::Base, Qt::yellow);
  save->addWidget(SavePath, 1);
  save->addWidget(Button13);
  save->addWidget(Label4);
  save->addWidget(FileName);
  save->addWidget(Button2);
  FixHeight(GroupBox10, 44);
  page2->addWidget(GroupBox10);

  Panel4 = Make<QWidget>("Panel4", GroupBox8);
  auto* start = Row(Panel4, 4, 12);
  Button14 = MakeButton("Button14", QStringLiteral("开始下载"), Panel4, 90, 30);
  CheckBox_QiangZhiXiaZai = Make<QCheckBox>(
      "CheckBox_QiangZhiXiaZai", QStringLiteral("强制下载(图片链接无扩展名的情况下使用)"), Panel4);
  start->addWidget(Button14);
  start->addWidget(CheckBox_QiangZhiXiaZai);
  start->addStretch(1);
  FixHeight(Panel4, 45);
  page2->addWidget(Panel4);

  // Page "图片黑名单"
  TabSheet3 = Make<QWidget>("TabSheet3");
  PageControl1->addTab(TabSheet3, QStringLiteral("图片黑名单"));
  GroupBox6 = MakeFrame("GroupBox6", QString(), TabSheet3);
  Column(TabSheet3, 0)->addWidget(GroupBox6);
  auto* page3 = Column(GroupBox6);
  GroupBox7 = MakeFrame("GroupBox7", QStringLiteral("图片地址黑名单"), GroupBox6);
  GroupBox7->setMinimumHeight(339);
  ListBox_imgheimingdan = Make<QListWidget>("ListBox_imgheimingdan", GroupBox7);
  ListBox_imgheimingdan->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListBox_imgheimingdan->setContextMenuPolicy(Qt::CustomContextMenu);
  ListBox_imgheimingdan->setUniformItemSizes(true);
  Column(GroupBox7, 2)->addWidget(ListBox_imgheimingdan);
  page3->addWidget(GroupBox7, 1);
  GroupBox13 = MakeFrame("GroupBox13", QString(), GroupBox6);
  Button1 = MakeButton("Button1", QStringLiteral("清空列表"), GroupBox13);
  auto* clearRow = Row(GroupBox13, 8);
  clearRow->addWidget(Button1);
  clearRow->addStretch(1);
  FixHeight(GroupBox13, 56);
  page3->addWidget(GroupBox13);

  // Page "软件更新"
  TabSheet1 = Make<QWidget>("TabSheet1");
  PageControl1->addTab(TabSheet1, QStringLiteral("软件更新"));
  GroupBox12 = MakeFrame("GroupBox12", QString(), TabSheet1);
  Column(TabSheet1, 0)->addWidget(GroupBox12);
  auto* page4 = Column(GroupBox12);
  Memo4 = MakeMemo("Memo4", GroupBox12, false);
  Memo4->setFixedHeight(155);
  Memo4->setPlainText(Memo4Lines().join(QLatin1Char('\n')));
  page4->addWidget(Memo4);
  page4->addStretch(1);

  PageControl1->setCurrentWidget(TabSheet2);

  // ---- Footer -------------------------------------------------------------
  Panel2 = Make<QWidget>("Panel2", central);
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
  int x = kDesignWidth - 8;
  for (QPushButton* b : {Button_About, Button3, Button4}) {
    x -= 75;
    AnchorRight(b, x, 8, 75, 25, kDesignWidth);
    x -= 5;
  }
  const int label8Width = Label8->sizeHint().width();
  AnchorRight(Label8, x - 7 - label8Width, 12, label8Width, 18, kDesignWidth);
  main->addWidget(Panel2);

  // ---- Status bar ---------------------------------------------------------
  StatusBar1 = Make<QStatusBar>("StatusBar1", this);
  StatusBar1->setFixedHeight(19);
  StatusBar1->setSizeGripEnabled(true);
  StatusPanel = Make<QLabel>("StatusBar1Panel0", StatusBar1);
  StatusBar1->addWidget(StatusPanel, 1);
  setStatusBar(StatusBar1);

  // ---- Pop-up menus -------------------------------------------------------
  PopupMenu1 = Make<QMenu>("PopupMenu1", this);
  const auto item = [](QMenu* menu, const char* name, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    return a;
  };
  N2 = item(PopupMenu1, "N2", QStringLiteral("->单个加入黑名单(下次自动屏蔽)"));
  N6 = item(PopupMenu1, "N6", QStringLiteral("->批量加入黑名单(下次自动屏蔽)"));
  N1 = item(PopupMenu1, "N1", QStringLiteral("删除列表选中图片地址"));
  N4 = item(PopupMenu1, "N4", QStringLiteral("打开该链接"));
  N5 = item(PopupMenu1, "N5", QStringLiteral("清理预处理列表"));
  N7 = PopupMenu1->addSeparator();
  N7->setObjectName(QStringLiteral("N7"));
  N8 = item(PopupMenu1, "N8", QStringLiteral("->批量加入[已处理]图片列表"));
  PopupMenu2 = Make<QMenu>("PopupMenu2", this);
  N3 = item(PopupMenu2, "N3", QStringLiteral("删除列表选中图片地址"));

  // ---- Completion monitor -------------------------------------------------
  Timer_CheckDownFile = Make<QTimer>("Timer_CheckDownFile", this);
  Timer_CheckDownFile->setInterval(1000);

  PlaceAnchored();
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
