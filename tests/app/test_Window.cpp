// The main window as the user first sees it.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include "HeaderPicture.h"
#include "WindowFixture.h"

namespace {

struct Caption {
  const char* name;
  const char* text;  // caption, title or preset text
};

QString TextOf(QObject* o) {
  if (auto* g = qobject_cast<QGroupBox*>(o)) return g->title();
  if (auto* e = qobject_cast<QLineEdit*>(o)) return e->text();
  if (auto* a = qobject_cast<QAction*>(o)) return a->text();
  return o->property("text").toString();
}

}  // namespace

using MainWindow = WindowTest;

TEST_F(MainWindow, EveryControlHasItsNameAndCaption) {
  CreateWindow();
  const Caption captions[] = {
      {"Label3", "版本:"},
      {"Edit_Ver", "1.3.2010.10.27"},
      {"GroupBox1", ""},
      {"GroupBox2", "工作模式"},
      {"RadioButton1", "批量获取"},
      {"Label1", "网页链接"},
      {"Url", "http://"},
      {"ButtonGetPicUrlList", "批量获取"},
      {"Button16", "粘贴"},
      {"RadioButton2", "手动获取  鼠标右键复制图片链接，软件自动从剪切板嗅探图片地址"},
      {"GroupBox3", "[预处理]图片列表"},
      {"GroupBox5", "图片筛选"},
      {"Button18", "清空"},
      {"Button6", "全部"},
      {"Button7", "gif"},
      {"Button8", "jpg"},
      {"Button9", "jpeg"},
      {"Button10", "png"},
      {"Button11", "bmp"},
      {"Button12", "其他"},
      {"Label2", "如:gif或.gif"},
      {"GroupBox4", "[已处理]图片列表"},
      {"Button5", "导入下载列表 ->"},
      {"Button15", "查看下载列表 ->"},
      {"GroupBox8", ""},
      {"GroupBox9", "下载列表"},
      {"GroupBox11", "下载进度"},
      {"Label9", "需要下载:          KB 已经下载:          KB"},
      {"Edit_DownLoadSize_B", ""},
      {"Edit_DownLoadSize_A", ""},
      {"GroupBox10", "图片保存路径"},
      {"Button13", "..."},
      {"Label4", "新建文件夹:"},
      {"FileName", "文件夹名称"},
      {"Button2", "查看"},
      {"Button14", "开始下载"},
      {"CheckBox_QiangZhiXiaZai", "强制下载(图片链接无扩展名的情况下使用)"},
      {"GroupBox6", ""},
      {"GroupBox7", "图片地址黑名单"},
      {"GroupBox13", ""},
      {"Button1", "清空列表"},
      {"GroupBox12", ""},
      {"Label5", "Qorvella www.qorvella.example"},
      {"Label8", "你提意见,我改进"},
      {"Button4", "退出"},
      {"Button17", "在线版"},
      {"Button3", "软件更新"},
      {"Button_About", "关于我们"},
      {"N2", "->单个加入黑名单(下次自动屏蔽)"},
      {"N6", "->批量加入黑名单(下次自动屏蔽)"},
      {"N1", "删除列表选中图片地址"},
      {"N4", "打开该链接"},
      {"N5", "清理预处理列表"},
      {"N8", "->批量加入[已处理]图片列表"},
      {"N3", "删除列表选中图片地址"},
  };
  for (const Caption& c : captions) {
    QObject* o = Form->findChild<QObject*>(QString::fromLatin1(c.name));
    ASSERT_NE(o, nullptr) << c.name;
    EXPECT_EQ(TextOf(o), QString::fromUtf8(c.text)) << c.name;
  }
  for (const char* name : {"Form1",
                           "Panel1",
                           "Image1",
                           "Image2",
                           "PageControl1",
                           "TabSheet2",
                           "TabSheet5",
                           "TabSheet3",
                           "TabSheet1",
                           "Splitter2",
                           "Splitter1",
                           "ListBox_imglist",
                           "Memo1",
                           "ComboBox_imgtype",
                           "Memo2",
                           "Panel3",
                           "ListBox_Download",
                           "Memo3",
                           "DownLoadProgressBar",
                           "SavePath",
                           "Panel4",
                           "ListBox_imgheimingdan",
                           "Memo4",
                           "Panel2",
                           "StatusBar1",
                           "PopupMenu1",
                           "PopupMenu2",
                           "N7",
                           "Timer_CheckDownFile"}) {
    const bool found = Form->objectName() == QLatin1String(name) ||
                       Form->findChild<QObject*>(QString::fromLatin1(name)) != nullptr;
    EXPECT_TRUE(found) << name;
  }
}

TEST_F(MainWindow, PagesMenusAndInitialState) {
  CreateWindow();
  ASSERT_EQ(Form->PageControl1->count(), 5);
  const QStringList tabs = {"图片获取", "图片预览", "下载列表", "图片黑名单", "软件更新"};
  const QList<QWidget*> sheets = {Form->TabSheet2, Form->TabSheet_Preview, Form->TabSheet5,
                                  Form->TabSheet3, Form->TabSheet1};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Form->PageControl1->tabText(i), tabs[i]);
    EXPECT_EQ(Form->PageControl1->widget(i), sheets[i]);
  }
  EXPECT_EQ(Form->PageControl1->currentWidget(), Form->TabSheet2);

  EXPECT_TRUE(Form->RadioButton1->isChecked());
  EXPECT_FALSE(Form->RadioButton2->isChecked());
  EXPECT_FALSE(Form->CheckBox_QiangZhiXiaZai->isChecked());
  EXPECT_EQ(Form->DownLoadProgressBar->value(), 0);
  EXPECT_EQ(Form->DownLoadProgressBar->maximum(), 100);
  EXPECT_EQ(Form->StatusText(), QString());
  EXPECT_FALSE(Form->Timer_CheckDownFile->isActive());
  EXPECT_EQ(Form->Timer_CheckDownFile->interval(), 1000);
  EXPECT_TRUE(Form->Edit_Ver->isReadOnly());
  EXPECT_TRUE(Form->Edit_DownLoadSize_A->isReadOnly());
  EXPECT_TRUE(Form->Edit_DownLoadSize_B->isReadOnly());
  EXPECT_TRUE(Form->ComboBox_imgtype->isEditable());
  EXPECT_EQ(Form->ComboBox_imgtype->count(), 0);
  EXPECT_EQ(Form->ListBox_imglist->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(Form->ListBox_imgheimingdan->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(Form->ListBox_Download->selectionMode(), QAbstractItemView::SingleSelection);

  const QList<QAction*> items = Form->PopupMenu1->actions();
  ASSERT_EQ(items.size(), 7);
  const QList<QAction*> expected = {Form->N2, Form->N6, Form->N1, Form->N4,
                                    Form->N5, Form->N7, Form->N8};
  EXPECT_EQ(items, expected);
  EXPECT_TRUE(Form->N7->isSeparator());
  EXPECT_EQ(Form->PopupMenu2->actions(), QList<QAction*>{Form->N3});

  // The status bar has one panel and the help texts are exact.
  EXPECT_EQ(Form->Memo3->toPlainText().split('\n').size(), 9);
  EXPECT_TRUE(Form->Memo3->toPlainText().split('\n')[7].endsWith("? "));
  const QStringList log = Form->Memo4->toPlainText().split('\n');
  ASSERT_EQ(log.size(), 14);
  EXPECT_EQ(log[1], "版本:1.3.2010.10.27");
  EXPECT_TRUE(log[3].isEmpty());
  EXPECT_TRUE(log[4].isEmpty());
  EXPECT_EQ(log[13], "8.加入了丰富的过滤规则");
}

TEST_F(MainWindow, RawResultMemoIsNeverSeen) {
  CreateWindow();
  Form->show();
  QCoreApplication::processEvents();
  EXPECT_FALSE(Form->Memo1->isVisible());
  EXPECT_TRUE(Form->ListBox_imglist->isVisible());
}

TEST_F(MainWindow, WideningKeepsRightAnchoredItemsAtTheRightEdge) {
  CreateWindow();
  Form->show();
  QCoreApplication::processEvents();
  const auto rightGap = [&](QWidget* w) {
    return w->parentWidget()->width() - w->geometry().right();
  };
  const auto leftOf = [](QWidget* w) { return w->geometry().left(); };
  QList<QWidget*> right = {Form->Edit_Ver, Form->Label3,       Form->Label8,  Form->Button4,
                           Form->Button3,  Form->Button_About, Form->Button5, Form->Button15};
  QList<int> before;
  for (QWidget* w : right) before << rightGap(w);
  const int label5 = leftOf(Form->Label5);
  const int button17 = leftOf(Form->Button17);

  Form->resize(Form->width() + 240, Form->height() + 100);
  QCoreApplication::processEvents();
  for (int i = 0; i < right.size(); ++i)
    EXPECT_EQ(rightGap(right[i]), before[i]) << right[i]->objectName().toStdString();
  EXPECT_EQ(leftOf(Form->Label5), label5);
  EXPECT_EQ(leftOf(Form->Button17), button17);
  // The filler picture reaches the right edge; the banner keeps its size.
  EXPECT_EQ(Form->Image2->geometry().right(), Form->Panel1->width() - 2);
  EXPECT_EQ(Form->Image1->size(), QSize(656, 106));
  // No footer item overlaps another.
  const QList<QWidget*> footer = {Form->Label5,  Form->Button17, Form->Label8,
                                  Form->Button4, Form->Button3,  Form->Button_About};
  for (QWidget* a : footer) {
    for (QWidget* b : footer) {
      if (a != b) {
        EXPECT_FALSE(a->geometry().intersects(b->geometry()));
      }
    }
  }
}

TEST(HeaderPicture, DecodesTheStoredPicturesAndRefusesGarbage) {
  const QImage banner = LoadHeaderPicture(":/assets/banner.jpg");
  EXPECT_EQ(banner.size(), QSize(656, 106));
  EXPECT_FALSE(LoadHeaderPicture(":/assets/filler.jpg").isNull());
  // A bad file gives a null picture instead of ending the program.
  EXPECT_TRUE(DecodeJpeg(QByteArray("not a picture")).isNull());
  QFile file(":/assets/banner.jpg");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray cut = file.readAll().left(600);
  const QImage partial = DecodeJpeg(cut);  // truncated data: no crash, either outcome
  (void)partial;
}
