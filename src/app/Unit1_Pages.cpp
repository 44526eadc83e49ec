// The pages of the main window: "图片获取", "图片预览", "下载列表", "图片黑名单"
// and "软件更新".
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

#include "LayoutKit.h"
#include "PageTexts.h"
#include "PreviewProbes.h"
#include "Unit1.h"

using namespace layout;

namespace {

// Adds the sheet to the pages under caption and fills it with one untitled
// frame, which it returns.
QGroupBox* AddPage(QTabWidget* pages, QWidget* sheet, const QString& caption,
                   const char* frameName) {
  pages->addTab(sheet, caption);
  QGroupBox* frame = MakeFrame(frameName, QString(), sheet);
  Column(sheet, 0)->addWidget(frame);
  return frame;
}

QSplitter* MakeSplitter(const char* name, QWidget* parent) {
  auto* s = Make<QSplitter>(name, Qt::Vertical, parent);
  s->setHandleWidth(3);
  s->setChildrenCollapsible(false);
  return s;
}

QListWidget* MakeList(const char* name, QWidget* parent, QAbstractItemView::SelectionMode mode) {
  auto* l = Make<QListWidget>(name, parent);
  l->setSelectionMode(mode);
  l->setUniformItemSizes(true);
  return l;
}

}  // namespace

// ---- "图片获取" ------------------------------------------------------------

void TForm1::BuildAcquisitionPage() {
  TabSheet2 = Make<QWidget>("TabSheet2");
  GroupBox1 = AddPage(PageControl1, TabSheet2, QStringLiteral("图片获取"), "GroupBox1");
  QVBoxLayout* page = Column(GroupBox1);
  page->addWidget(BuildModeBox(GroupBox1));

  Splitter2 = MakeSplitter("Splitter2", GroupBox1);
  page->addWidget(Splitter2, 1);
  GroupBox3 = MakeFrame("GroupBox3", QStringLiteral("[预处理]图片列表"), Splitter2);
  ListBox_imglist = MakeList("ListBox_imglist", GroupBox3, QAbstractItemView::ExtendedSelection);
  ListBox_imglist->setContextMenuPolicy(Qt::CustomContextMenu);
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

  lowerColumn->addWidget(BuildFilterBox(lower));
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
}

QWidget* TForm1::BuildModeBox(QWidget* parent) {
  GroupBox2 = MakeFrame("GroupBox2", QStringLiteral("工作模式"), parent);
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
  // The deep scan's box takes the free end of the second row.
  CheckBox_DeepScan = Make<QCheckBox>("CheckBox_DeepScan", QStringLiteral("深度扫描"), GroupBox2);
  CheckBox_DeepScan->setToolTip(QStringLiteral(
      "用 HTML5 解析器读整个网页: 另外列出 srcset 大图、懒加载图片、原图链接、CSS 背景图和分享图"));
  CheckBox_DeepScan->setChecked(Settings.DeepScan());
  connect(CheckBox_DeepScan, &QCheckBox::clicked, this,
          [this] { Guarded([&] { CheckBox_DeepScanClick(CheckBox_DeepScan); }); });
  auto* secondRow = new QHBoxLayout;
  secondRow->addWidget(RadioButton2);
  secondRow->addStretch(1);
  secondRow->addWidget(CheckBox_DeepScan);
  mode->addLayout(secondRow);
  FixHeight(GroupBox2, 66);
  return GroupBox2;
}

QWidget* TForm1::BuildFilterBox(QWidget* parent) {
  GroupBox5 = MakeFrame("GroupBox5", QStringLiteral("图片筛选"), parent);
  auto* filters = Row(GroupBox5, 4, 2);
  const struct {
    QPushButton* TForm1::*button;
    const char* name;
    QString caption;
  } buttons[] = {
      {&TForm1::Button18, "Button18", QStringLiteral("清空")},
      {&TForm1::Button6, "Button6", QStringLiteral("全部")},
      {&TForm1::Button7, "Button7", QStringLiteral("gif")},
      {&TForm1::Button8, "Button8", QStringLiteral("jpg")},
      {&TForm1::Button9, "Button9", QStringLiteral("jpeg")},
      {&TForm1::Button10, "Button10", QStringLiteral("png")},
      {&TForm1::Button11, "Button11", QStringLiteral("bmp")},
      {&TForm1::Button12, "Button12", QStringLiteral("其他")},
  };
  for (const auto& b : buttons) {
    this->*b.button = MakeButton(b.name, b.caption, GroupBox5, 41);
    filters->addWidget(this->*b.button);
  }
  ComboBox_imgtype = Make<QComboBox>("ComboBox_imgtype", GroupBox5);
  ComboBox_imgtype->setEditable(true);
  ComboBox_imgtype->setInsertPolicy(QComboBox::NoInsert);
  ComboBox_imgtype->setFixedWidth(80);
  filters->addWidget(ComboBox_imgtype);
  Label2 = Make<QLabel>("Label2", QStringLiteral("如:gif或.gif"), GroupBox5);
  filters->addWidget(Label2);
  filters->addStretch(1);
  FixHeight(GroupBox5, 44);
  return GroupBox5;
}

// ---- "图片预览" ------------------------------------------------------------

void TForm1::BuildPreviewPage() {
  TabSheet_Preview = Make<QWidget>("TabSheet_Preview");
  GroupBox_Preview =
      AddPage(PageControl1, TabSheet_Preview, QStringLiteral("图片预览"), "GroupBox_Preview");
  QVBoxLayout* page = Column(GroupBox_Preview);
  // The size filter: the least width and height in pixels; empty is no limit.
  auto* filter = new QHBoxLayout;
  Label_MinWidth = Make<QLabel>("Label_MinWidth", QStringLiteral("最小宽度:"), GroupBox_Preview);
  Edit_MinWidth = Make<QLineEdit>("Edit_MinWidth", GroupBox_Preview);
  Label_MinHeight = Make<QLabel>("Label_MinHeight", QStringLiteral("最小高度:"), GroupBox_Preview);
  Edit_MinHeight = Make<QLineEdit>("Edit_MinHeight", GroupBox_Preview);
  for (QLineEdit* e : {Edit_MinWidth, Edit_MinHeight}) {
    e->setValidator(new QIntValidator(0, 1000000, e));
    e->setFixedWidth(60);
  }
  Button_SizeFilter =
      MakeButton("Button_SizeFilter", QStringLiteral("按尺寸筛选"), GroupBox_Preview, 90);
  for (QWidget* w : std::initializer_list<QWidget*>{Label_MinWidth, Edit_MinWidth, Label_MinHeight,
                                                    Edit_MinHeight, Button_SizeFilter})
    filter->addWidget(w);
  filter->addStretch(1);
  page->addLayout(filter);

  ListView_Preview = Make<QListWidget>("ListView_Preview", GroupBox_Preview);
  ListView_Preview->setViewMode(QListView::IconMode);
  ListView_Preview->setResizeMode(QListView::Adjust);
  ListView_Preview->setMovement(QListView::Static);
  ListView_Preview->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView_Preview->setWordWrap(true);
  // Not uniform: the first entry is still "读取中..." without a thumbnail when
  // the sizes are measured, and every thumbnail would be squeezed to it.
  ListView_Preview->setIconSize(
      QSize(TPreviewProbes::kThumbnailSide, TPreviewProbes::kThumbnailSide));
  ListView_Preview->setGridSize(QSize(132, 150));
  page->addWidget(ListView_Preview, 1);
}

// ---- "下载列表" ------------------------------------------------------------

void TForm1::BuildDownloadPage() {
  TabSheet5 = Make<QWidget>("TabSheet5");
  GroupBox8 = AddPage(PageControl1, TabSheet5, QStringLiteral("下载列表"), "GroupBox8");
  QVBoxLayout* page = Column(GroupBox8);
  GroupBox9 = MakeFrame("GroupBox9", QStringLiteral("下载列表"), GroupBox8);
  Splitter1 = MakeSplitter("Splitter1", GroupBox9);
  Splitter1->setStyleSheet(QStringLiteral("QSplitter::handle { background-color: maroon; }"));
  ListBox_Download = MakeList("ListBox_Download", Splitter1, QAbstractItemView::SingleSelection);
  Memo3 = MakeMemo("Memo3", Splitter1, false);
  Memo3->setPlainText(Memo3Lines().join(QLatin1Char('\n')));
  Splitter1->addWidget(ListBox_Download);
  Splitter1->addWidget(Memo3);
  Splitter1->setSizes({200, 89});
  Splitter1->setStretchFactor(0, 1);
  Column(GroupBox9, 2)->addWidget(Splitter1);
  page->addWidget(GroupBox9, 1);

  page->addWidget(BuildProgressBox(GroupBox8));
  page->addWidget(BuildSaveFolderBox(GroupBox8));

  Panel4 = Make<QWidget>("Panel4", GroupBox8);
  auto* start = Row(Panel4, 4, 12);
  Button14 = MakeButton("Button14", QStringLiteral("开始下载"), Panel4, 90, 30);
  CheckBox_QiangZhiXiaZai = Make<QCheckBox>(
      "CheckBox_QiangZhiXiaZai", QStringLiteral("强制下载(图片链接无扩展名的情况下使用)"), Panel4);
  start->addWidget(Button14);
  start->addWidget(CheckBox_QiangZhiXiaZai);
  start->addStretch(1);
  FixHeight(Panel4, 45);
  page->addWidget(Panel4);
}

QWidget* TForm1::BuildProgressBox(QWidget* parent) {
  GroupBox11 = MakeFrame("GroupBox11", QStringLiteral("下载进度"), parent);
  auto* progress = Row(GroupBox11, 6, 6);
  // The two size boxes sit in the two gaps of the label's caption.
  const QString gap(10, QLatin1Char(' '));
  const QString before = QStringLiteral("需要下载:");
  const QString between = QStringLiteral("KB 已经下载:");
  auto* sizes = new QWidget(GroupBox11);
  sizes->setObjectName(QStringLiteral("Label9Holder"));
  Label9 = Make<QLabel>("Label9", before + gap + between + gap + QStringLiteral("KB"), sizes);
  const QFontMetrics fm(Label9->font());
  const int firstGap = fm.horizontalAdvance(before);
  const int secondGap = fm.horizontalAdvance(before + gap + between);
  const int gapWidth = fm.horizontalAdvance(gap);
  const int total = fm.horizontalAdvance(Label9->text());
  Label9->setGeometry(0, 2, total + 2, 18);
  sizes->setFixedSize(total + 4, 22);
  Edit_DownLoadSize_B = Make<QLineEdit>("Edit_DownLoadSize_B", sizes);
  Edit_DownLoadSize_A = Make<QLineEdit>("Edit_DownLoadSize_A", sizes);
  for (QLineEdit* e : {Edit_DownLoadSize_B, Edit_DownLoadSize_A}) e->setReadOnly(true);
  Edit_DownLoadSize_B->setGeometry(firstGap + (gapWidth - 56) / 2, 0, 56, 20);
  Edit_DownLoadSize_A->setGeometry(secondGap + (gapWidth - 56) / 2, 0, 56, 20);
  progress->addWidget(sizes);

  DownLoadProgressBar = Make<QProgressBar>("DownLoadProgressBar", GroupBox11);
  DownLoadProgressBar->setRange(0, 100);
  DownLoadProgressBar->setValue(0);
  DownLoadProgressBar->setTextVisible(false);
  progress->addWidget(DownLoadProgressBar, 1);
  FixHeight(GroupBox11, 40);
  return GroupBox11;
}

QWidget* TForm1::BuildSaveFolderBox(QWidget* parent) {
  GroupBox10 = MakeFrame("GroupBox10", QStringLiteral("图片保存路径"), parent);
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
  return GroupBox10;
}

// ---- "图片黑名单" and "软件更新" ------------------------------------------

void TForm1::BuildBlacklistPage() {
  TabSheet3 = Make<QWidget>("TabSheet3");
  GroupBox6 = AddPage(PageControl1, TabSheet3, QStringLiteral("图片黑名单"), "GroupBox6");
  QVBoxLayout* page = Column(GroupBox6);
  GroupBox7 = MakeFrame("GroupBox7", QStringLiteral("图片地址黑名单"), GroupBox6);
  GroupBox7->setMinimumHeight(339);
  ListBox_imgheimingdan =
      MakeList("ListBox_imgheimingdan", GroupBox7, QAbstractItemView::ExtendedSelection);
  ListBox_imgheimingdan->setContextMenuPolicy(Qt::CustomContextMenu);
  Column(GroupBox7, 2)->addWidget(ListBox_imgheimingdan);
  page->addWidget(GroupBox7, 1);
  GroupBox13 = MakeFrame("GroupBox13", QString(), GroupBox6);
  Button1 = MakeButton("Button1", QStringLiteral("清空列表"), GroupBox13);
  auto* clearRow = Row(GroupBox13, 8);
  clearRow->addWidget(Button1);
  clearRow->addStretch(1);
  FixHeight(GroupBox13, 56);
  page->addWidget(GroupBox13);
}

void TForm1::BuildUpdatePage() {
  TabSheet1 = Make<QWidget>("TabSheet1");
  GroupBox12 = AddPage(PageControl1, TabSheet1, QStringLiteral("软件更新"), "GroupBox12");
  QVBoxLayout* page = Column(GroupBox12);
  Memo4 = MakeMemo("Memo4", GroupBox12, false);
  Memo4->setFixedHeight(155);
  Memo4->setPlainText(Memo4Lines().join(QLatin1Char('\n')));
  page->addWidget(Memo4);
  page->addStretch(1);
}
