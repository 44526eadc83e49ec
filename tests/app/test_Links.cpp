// The publisher links and the exit button.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "WindowFixture.h"

using PublisherLinks = WindowTest;

TEST_F(PublisherLinks, FourControlsOpenOneHomePageWithTheVersion) {
  CreateWindow();
  Form->show();
  Form->Button_About->click();
  Form->Button3->click();
  QTest::mouseClick(Form->Label5, Qt::LeftButton);
  QTest::mouseClick(Form->Image1, Qt::LeftButton);
  ASSERT_EQ(Seam.OpenedAddresses.size(), 4);
  for (const QString& a : Seam.OpenedAddresses)
    EXPECT_EQ(a, "http://www.qorvella.example/?qq=ZUN1.3.2010.10.27");
}

TEST_F(PublisherLinks, FeedbackAndOnlineVersionFollowTheVersionBox) {
  CreateWindow();
  Form->show();
  Form->Edit_Ver->setText("9.9");
  QTest::mouseClick(Form->Label8, Qt::LeftButton);
  Form->Button17->click();
  EXPECT_EQ(Seam.OpenedAddresses,
            (QStringList{"http://bbs.qorvella.example/?ZUN9.9",
                         "http://www.qorvella.example/Tools/Tarnquill/?qq=ZUN9.9"}));
}

TEST_F(PublisherLinks, ExitClosesTheWindowWithoutAsking) {
  CreateWindow();
  Form->show();
  Form->Button4->click();
  EXPECT_FALSE(Form->isVisible());
  EXPECT_TRUE(Seam.Messages.isEmpty());
}
