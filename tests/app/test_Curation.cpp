// Curation of the lists: the type filters, the blacklist and its file, and
// the pop-up commands of the pre-processing list.
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>

#include "ListText.h"
#include "LocalServer.h"
#include "WindowFixture.h"

namespace {

class Curation : public OpenWindowTest {
 protected:
  void Fill(const QStringList& items) { SetItems(Form->ListBox_imglist, items); }
  void Select(QListWidget* list, std::initializer_list<int> rows) {
    for (int row : rows) list->item(row)->setSelected(true);
  }
  // Puts the caret on row without selecting it.
  void Focus(QListWidget* list, int row) {
    list->setCurrentRow(row, QItemSelectionModel::NoUpdate);
  }
  QString Caption() const { return Form->GroupBox4->title(); }
  std::string BlacklistFile() const { return ReadFile("bin/黑名单.txt"); }
};

const QStringList kMixed = {
    "http://h/a/PIC.JPG", "http://h/a/pic.jpeg", "http://h/a/pic.jpg?w=100", "http://h/a/one.gif",
    "http://h/a/two.GIF", "http://h/a/p.png",    "http://h/a/b.bmp",         "http://h/a/x.tiff",
};

}  // namespace

// ---- Type filters ---------------------------------------------------------

TEST_F(Curation, FixedFiltersCompareTheEndOfThePath) {
  Fill(kMixed);
  Form->Button8->click();  // capitals kept; the query is no part of the type
  EXPECT_EQ(MemoLines(Form->Memo2),
            (QStringList{"http://h/a/PIC.JPG", "http://h/a/pic.jpg?w=100"}));
  EXPECT_EQ(Caption(), "[已处理]图片列表 共2张图片");
  Form->Button9->click();
  EXPECT_EQ(MemoLines(Form->Memo2), QStringList{"http://h/a/pic.jpeg"});
  Form->Button7->click();
  EXPECT_EQ(MemoLines(Form->Memo2), (QStringList{"http://h/a/one.gif", "http://h/a/two.GIF"}));
  Form->Button10->click();
  EXPECT_EQ(MemoLines(Form->Memo2), QStringList{"http://h/a/p.png"});
  Form->Button11->click();
  EXPECT_EQ(MemoLines(Form->Memo2), QStringList{"http://h/a/b.bmp"});
  Form->Button6->click();
  EXPECT_EQ(MemoLines(Form->Memo2), kMixed);
  EXPECT_EQ(Caption(), "[已处理]图片列表 共8张图片");
  EXPECT_EQ(ItemTexts(Form->ListBox_imglist), kMixed);  // the source is only read
}

TEST_F(Curation, EveryFillDiscardsHandEditsAndClearKeepsTheCaption) {
  Fill(kMixed);
  Form->Button6->click();
  Form->Memo2->setPlainText("typed by hand\nhttp://h/a/one.gif");
  Form->Button7->click();
  EXPECT_EQ(MemoLines(Form->Memo2), (QStringList{"http://h/a/one.gif", "http://h/a/two.GIF"}));
  Form->Button18->click();
  EXPECT_TRUE(Form->Memo2->toPlainText().isEmpty());
  EXPECT_EQ(Caption(), "[已处理]图片列表 共2张图片");
  Fill({});
  Form->Button8->click();
  EXPECT_EQ(Caption(), "[已处理]图片列表 共0张图片");
}

TEST_F(Curation, OtherTypeTakesTheTypedExtensionInAnyForm) {
  Fill(kMixed);
  for (const char* typed : {"gif", "GIF", ".gif", "..gif"}) {
    Form->ComboBox_imgtype->setEditText(typed);
    Form->Button12->click();
    EXPECT_EQ(MemoLines(Form->Memo2), (QStringList{"http://h/a/one.gif", "http://h/a/two.GIF"}))
        << typed;
  }
  // Longer extensions work: the suffix compared is as long as the pattern.
  Form->ComboBox_imgtype->setEditText("tiff");
  Form->Button12->click();
  EXPECT_EQ(MemoLines(Form->Memo2), QStringList{"http://h/a/x.tiff"});
  Form->ComboBox_imgtype->setEditText(" gif");  // a blank stays in the pattern
  Form->Button12->click();
  EXPECT_EQ(Caption(), "[已处理]图片列表 共0张图片");
}

TEST_F(Curation, OtherTypeWithAnEmptyBoxChangesNothing) {
  Fill(kMixed);
  Form->Memo2->setPlainText("hand edit");
  Form->Button12->click();
  EXPECT_EQ(Seam.Messages, QStringList{"请填写其他图片扩展名,如:gif"});
  EXPECT_EQ(Form->Memo2->toPlainText(), "hand edit");
  EXPECT_EQ(Caption(), "[已处理]图片列表");
}

// ---- Pre-processing list commands ----------------------------------------

TEST_F(Curation, DeleteSelectedKeepsTheOthersInOrder) {
  Fill({"i0", "i1", "i2", "i3", "i4"});
  Form->N1->trigger();  // nothing selected: nothing happens
  EXPECT_EQ(Form->ListBox_imglist->count(), 5);
  Select(Form->ListBox_imglist, {1, 3});
  Form->N1->trigger();
  EXPECT_EQ(ItemTexts(Form->ListBox_imglist), (QStringList{"i0", "i2", "i4"}));
}

TEST_F(Curation, DeletingKeepsTheCaretOnItsItem) {
  Fill({"i0", "i1", "i2", "i3", "i4"});
  Select(Form->ListBox_imglist, {0, 1});
  Focus(Form->ListBox_imglist, 3);
  Form->N1->trigger();
  EXPECT_EQ(Form->ListBox_imglist->currentItem()->text(), "i3");
  Select(Form->ListBox_imglist, {1});  // i3 itself
  Form->N1->trigger();
  EXPECT_EQ(Form->ListBox_imglist->currentItem()->text(), "i4");
}

TEST_F(Curation, RightClickKeepsTheSelectionAndMovesTheCaret) {
  Form->show();
  QCoreApplication::processEvents();
  Fill({"i0", "i1", "i2", "i3"});
  Select(Form->ListBox_imglist, {0, 1});
  QWidget* viewport = Form->ListBox_imglist->viewport();
  const QPoint onItem3 =
      Form->ListBox_imglist->visualItemRect(Form->ListBox_imglist->item(3)).center();
  QTest::mousePress(viewport, Qt::RightButton, {}, onItem3);
  QTest::mouseRelease(viewport, Qt::RightButton, {}, onItem3);
  EXPECT_EQ(Form->ListBox_imglist->selectedItems().size(), 2);
  EXPECT_EQ(Form->ListBox_imglist->currentRow(), 3);
  Form->PopupMenu1->close();
}

TEST_F(Curation, OpenActsOnTheFocusedItemOnly) {
  Form->N4->trigger();  // empty list: the shell is not called
  EXPECT_TRUE(Seam.OpenedAddresses.isEmpty());
  Fill({"http://h/0.jpg", "http://h/1.jpg", "http://h/2.jpg"});
  Select(Form->ListBox_imglist, {0, 1});
  Focus(Form->ListBox_imglist, 2);
  Form->N4->trigger();
  EXPECT_EQ(Seam.OpenedAddresses, QStringList{"http://h/2.jpg"});
}

TEST_F(Curation, EmptyAndBatchAddToTheProcessedList) {
  Fill({"i0", "i1", "i2", "i3", "i4"});
  Form->Memo2->setPlainText("old\nlines");
  Select(Form->ListBox_imglist, {4, 0, 2});
  Form->N8->trigger();
  EXPECT_EQ(MemoLines(Form->Memo2), (QStringList{"i0", "i2", "i4"}));
  EXPECT_EQ(Caption(), "[已处理]图片列表 共3张图片");
  EXPECT_EQ(Form->ListBox_imglist->selectedItems().size(), 3);  // selection untouched

  Form->ListBox_imglist->clearSelection();
  Form->N8->trigger();
  EXPECT_TRUE(Form->Memo2->toPlainText().isEmpty());
  EXPECT_EQ(Caption(), "[已处理]图片列表 共0张图片");

  Form->Memo2->setPlainText("kept");
  Form->SetStatusText("status");
  Form->N5->trigger();
  EXPECT_EQ(Form->ListBox_imglist->count(), 0);
  EXPECT_EQ(Form->Memo2->toPlainText(), "kept");
  EXPECT_EQ(Form->StatusText(), "status");
}

// ---- Blacklist ------------------------------------------------------------

TEST_F(Curation, SingleAddTakesTheFocusedItemAndSaves) {
  Fill({"http://h/0.jpg", "http://h/1.jpg", "http://h/2.jpg"});
  Select(Form->ListBox_imglist, {0, 2});
  Focus(Form->ListBox_imglist, 1);
  Form->N2->trigger();
  EXPECT_EQ(ItemTexts(Form->ListBox_imgheimingdan), QStringList{"http://h/1.jpg"});
  EXPECT_EQ(ItemTexts(Form->ListBox_imglist), (QStringList{"http://h/0.jpg", "http://h/2.jpg"}));
  EXPECT_EQ(BlacklistFile(), "http://h/1.jpg\r\n");

  // The same address in other letter case is refused and nothing changes.
  Form->ListBox_imglist->addItem("HTTP://H/1.JPG");
  Focus(Form->ListBox_imglist, 2);
  Form->N2->trigger();
  EXPECT_EQ(Seam.Messages, QStringList{"该黑名单已存在"});
  EXPECT_EQ(Form->ListBox_imglist->count(), 3);
  EXPECT_EQ(BlacklistFile(), "http://h/1.jpg\r\n");
}

TEST_F(Curation, SingleAddOnAnEmptyListDoesNothing) {
  Form->N2->trigger();
  EXPECT_EQ(Form->ListBox_imgheimingdan->count(), 0);
  EXPECT_FALSE(Exists("bin/黑名单.txt"));
  EXPECT_TRUE(Seam.Messages.isEmpty());
}

TEST_F(Curation, BatchAddInTheManualModeAppendsWithoutCheckAndSaves) {
  Form->ListBox_imgheimingdan->addItem("http://h/0.jpg");
  Fill({"http://h/0.jpg", "http://h/1.jpg", "http://h/2.jpg"});
  Select(Form->ListBox_imglist, {0, 2});
  Form->RadioButton2->setChecked(true);
  Form->N6->trigger();
  EXPECT_EQ(Seam.Messages, QStringList{"请选中批量模式."});
  EXPECT_EQ(ItemTexts(Form->ListBox_imglist).size(), 3);
  EXPECT_EQ(BlacklistFile(), "http://h/0.jpg\r\nhttp://h/0.jpg\r\nhttp://h/2.jpg\r\n");
}

TEST_F(Curation, BatchAddInTheBatchModeAcquiresThePageAgain) {
  testnet::LocalServer server;
  server->Get("/p.htm", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<img src='pics/one.jpg'><img src='pics/two.jpg'><img src='pics/six.jpg'>",
                    "text/html");
  });
  ASSERT_TRUE(server.Start());
  Form->Url->setText(QString::fromStdString(server.Url("/p.htm")));
  Form->ButtonGetPicUrlList->click();
  ASSERT_EQ(Form->ListBox_imglist->count(), 3);
  Select(Form->ListBox_imglist, {0, 2});
  Form->N6->trigger();
  const QString base = QString::fromStdString(server.Url("/pics/"));
  EXPECT_EQ(ItemTexts(Form->ListBox_imglist), QStringList{base + "two.jpg"});
  EXPECT_TRUE(Form->ListBox_imglist->selectedItems().isEmpty());
  EXPECT_EQ(ItemTexts(Form->ListBox_imgheimingdan),
            (QStringList{base + "one.jpg", base + "six.jpg"}));
}

TEST_F(Curation, DeleteAndClearRewriteTheFile) {
  Form->ListBox_imgheimingdan->addItems({"a", "b", "c", "d"});
  Select(Form->ListBox_imgheimingdan, {1, 3});
  Form->N3->trigger();
  EXPECT_EQ(BlacklistFile(), "a\r\nc\r\n");
  Form->N3->trigger();  // nothing selected: written again unchanged
  EXPECT_EQ(BlacklistFile(), "a\r\nc\r\n");
  Form->Button1->click();
  EXPECT_TRUE(Exists("bin/黑名单.txt"));
  EXPECT_EQ(BlacklistFile(), "");
}

using BlacklistFile = WindowTest;

// The file's line, encoding and atomic-save rules are TBlacklist's and are
// tested with it; here the window loads and saves through it.
TEST_F(BlacklistFile, LoadedAtStartupAndSavedWithALineEndAfterEachEntry) {
  WriteFile("bin/黑名单.txt", "a\r\nb\r\nc");
  CreateWindow();
  EXPECT_EQ(ItemTexts(Form->ListBox_imgheimingdan), (QStringList{"a", "b", "c"}));
  Form->N3->trigger();
  EXPECT_EQ(ReadFile("bin/黑名单.txt"), "a\r\nb\r\nc\r\n");
}

TEST_F(BlacklistFile, MissingOrUnreadableFileStartsEmptyAndSilently) {
  CreateWindow();
  EXPECT_EQ(Form->ListBox_imgheimingdan->count(), 0);
  DestroyWindow();
  // A folder where the file should be: empty list, and a save is reported
  // while the list keeps the change and the folder stays.
  QDir().mkpath(QString::fromStdString(PathOf("bin/黑名单.txt")));
  CreateWindow();
  EXPECT_EQ(Form->ListBox_imgheimingdan->count(), 0);
  EXPECT_TRUE(Seam.Errors.isEmpty());
  Form->ListBox_imglist->addItem("http://h/x.jpg");
  Form->ListBox_imglist->setCurrentRow(0, QItemSelectionModel::NoUpdate);
  Form->N2->trigger();
  ASSERT_EQ(Seam.Errors.size(), 1);
  EXPECT_TRUE(Seam.Errors[0].startsWith("无法保存黑名单文件")) << Seam.Errors[0].toStdString();
  EXPECT_EQ(ItemTexts(Form->ListBox_imgheimingdan), QStringList{"http://h/x.jpg"});
  EXPECT_EQ(Form->ListBox_imglist->count(), 0);
  EXPECT_TRUE(QFileInfo(QString::fromStdString(PathOf("bin/黑名单.txt"))).isDir());
}
