#include "platform/dialogs/QtFileDialog.h"

#include <gtest/gtest.h>

#include <functional>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "support/TestFiles.h"

namespace brindlewick {
namespace {

TEST(QtFileDialog, ShowsTheFilterLabelAsWrittenAndMatchesBothCases) {
  EXPECT_EQ(QtFileDialog::NameFilters("JPEG Image (*.jpg;*.jpeg)|*.jpg;*.jpeg"),
            QStringList{"JPEG Image (*.jpg;*.jpeg) (*.jpg *.JPG *.jpeg *.JPEG)"});
  EXPECT_EQ(QtFileDialog::NameFilters("All|*|Text|*.txt").size(), 2);
}

TEST(QtFileDialog, JoinsSeveralPicksAsFolderThenNames) {
  EXPECT_EQ(QtFileDialog::JoinSelection({}), "");
  EXPECT_EQ(QtFileDialog::JoinSelection({"/p/a.jpg"}), "/p/a.jpg");
  EXPECT_EQ(QtFileDialog::JoinSelection({"/p/a.jpg", "/p/b c.jpg"}),
            QString("/p") + QChar(0) + "a.jpg" + QChar(0) + "b c.jpg");
  EXPECT_EQ(QtFileDialog::JoinSelection({"/a.jpg", "/b.jpg"}),
            QString("/") + QChar(0) + "a.jpg" + QChar(0) + "b.jpg");
  // Typed paths from several folders stay the files picked.
  EXPECT_EQ(QtFileDialog::JoinSelection({"/p/q/a.jpg", "/p/r/b.jpg", "/p/c.jpg"}),
            QString("/p") + QChar(0) + "q/a.jpg" + QChar(0) + "r/b.jpg" + QChar(0) + "c.jpg");
  EXPECT_EQ(QtFileDialog::JoinSelection({"/pq/a.jpg", "/p/b.jpg"}),
            QString("/") + QChar(0) + "pq/a.jpg" + QChar(0) + "p/b.jpg");
}

// Waits for the next modal window of type T and hands it to `act`; gives up after two seconds
// so a missing window fails the test instead of hanging it.
template <class T>
void WhenShown(std::function<void(T*)> act) {
  auto* poll = new QTimer;
  auto waited = std::make_shared<int>(0);
  QObject::connect(poll, &QTimer::timeout, [poll, waited, act] {
    if (T* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
      poll->deleteLater();
      poll->stop();
      act(window);
    } else if ((*waited += 10) > 2000) {
      poll->deleteLater();
      poll->stop();
      ADD_FAILURE() << "no such window showed";
    }
  });
  poll->start(10);
}

TEST(QtFileDialog, SavingOverAnExistingFileAsksFirst) {
  test::TempFolder folder;
  test::WriteBytes(folder.path("old.jpg"), "old");
  QtFileDialog dialog;
  dialog.DialogTitle = "Save Image As";
  dialog.Filter = "JPEG Image (*.jpg;*.jpeg)|*.jpg;*.jpeg";
  QString question;
  bool openAfterNo = false;

  WhenShown<QFileDialog>([&](QFileDialog* shown) {
    EXPECT_EQ(shown->windowTitle(), "Save Image As");
    EXPECT_EQ(shown->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(shown->defaultSuffix(), "");
    auto* name = shown->findChild<QLineEdit*>("fileNameEdit");
    if (!name) {
      ADD_FAILURE() << "no file name field";
      shown->reject();
      return;
    }
    name->setText(folder.path("old.jpg"));
    WhenShown<QMessageBox>([&question, &openAfterNo, shown, name](QMessageBox* box) {
      question = box->text();
      box->button(QMessageBox::No)->click();
      // Keeping the old file leaves the dialog open for another name; now replace it.
      WhenShown<QFileDialog>([&openAfterNo, shown, name](QFileDialog* again) {
        openAfterNo = again == shown;
        WhenShown<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
        QTest::keyClick(name, Qt::Key_Return);
      });
    });
    QTest::keyClick(name, Qt::Key_Return);
  });
  dialog.ShowSave();

  EXPECT_TRUE(question.contains("already exists")) << question.toStdString();
  EXPECT_TRUE(openAfterNo);
  EXPECT_EQ(dialog.FileName, folder.path("old.jpg"));
}

TEST(QtFileDialog, StartsInTheFolderItLastShowedAndProposesNoName) {
  test::TempFolder folder;
  for (const char* name : {"first", "second"}) ASSERT_TRUE(QDir().mkpath(folder.path(name)));
  QtFileDialog dialog;
  dialog.InitDir = folder.path("first");
  QString startedIn, proposed = "not shown";
  const auto look = [&](QFileDialog* shown) {
    startedIn = shown->directory().absolutePath();
    auto* name = shown->findChild<QLineEdit*>("fileNameEdit");
    proposed = name ? name->text() : "no file name field";
  };

  // The user goes to another folder and cancels: the next dialog, a save, starts there.
  WhenShown<QFileDialog>([&](QFileDialog* shown) {
    look(shown);
    shown->setDirectory(folder.path("second"));
    shown->reject();
  });
  dialog.ShowOpen();
  EXPECT_EQ(startedIn, folder.path("first"));
  EXPECT_EQ(dialog.InitDir, folder.path("second"));
  WhenShown<QFileDialog>([&](QFileDialog* shown) {
    look(shown);
    shown->reject();
  });
  dialog.ShowSave();
  EXPECT_EQ(startedIn, folder.path("second"));
  EXPECT_EQ(proposed, "");
  EXPECT_EQ(dialog.FileName, "");

  // Gone since, the folder is not offered; the dialog starts where it would on its own.
  ASSERT_TRUE(QDir(folder.path("second")).removeRecursively());
  WhenShown<QFileDialog>([&](QFileDialog* shown) {
    look(shown);
    shown->reject();
  });
  dialog.ShowSave();
  EXPECT_NE(startedIn, folder.path("second"));
  EXPECT_TRUE(QFileInfo(startedIn).isDir()) << startedIn.toStdString();
}

}  // namespace
}  // namespace brindlewick
