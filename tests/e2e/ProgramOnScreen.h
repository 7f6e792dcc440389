#pragma once

#include <vector>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "e2e/XSession.h"

namespace brindlewick::e2e {

// The commands on the main window's menu bar, left to right.
enum class Menu { SelectPicture, Undo, Save, JPGQuality, LoadSample };

// The program on a screen of its own, with a home of its own, seen and handled as a user sees
// and handles it. A failing test leaves a picture of the screen and the program's output in the
// end-to-end output folder.
class ProgramOnScreen : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the program from the given folder, with the arguments given, and waits for its main
  // window.
  ::testing::AssertionResult launch(const QString& program, const QString& workingFolder,
                                    const QStringList& arguments = {});
  // Asks the main window to close, as its close box would, and waits for the program to end.
  ::testing::AssertionResult closeAndWaitForExit(int* exitCode);
  // The program is still fully usable: the sample opens without an error box, and closing the
  // window ends the program successfully.
  ::testing::AssertionResult opensTheSampleAndQuitsCleanly();

  ::testing::AssertionResult clickMenu(Menu command);
  // Waits until the view's pixels satisfy the condition; the view image is the view's area only.
  template <class Condition>
  ::testing::AssertionResult waitForView(Condition condition, const char* what,
                                         int timeoutMs = 15000) {
    if (WaitFor([&] { return condition(viewImage()); }, timeoutMs, 50)) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "the view never " << what;
  }
  QImage viewImage();
  // The view's size while it shows the whole picture, in the screen's pixels.
  QSize fittedView() const;
  // Answers the open or save dialog of that title with the path, typed, and Return.
  ::testing::AssertionResult answerFileDialog(const QString& title, const QString& path);
  ::testing::AssertionResult noErrorBox();
  // Starts the process as the program is started: as an ordinary user (OrdinaryAccount), who owns
  // the home and the scratch folder.
  void asOrdinaryUser(QProcess& process);

  // The home folder of the program's user; the settings live under its .config.
  QString home() const { return home_.path(); }
  QString scratch(const QString& name) const { return scratch_.filePath(name); }
  qint64 programId() const { return program_.processId(); }

  XSession x;
  // The program's QT_SCALE_FACTOR; the screen grows with it. Set before SetUp.
  double scaleFactor = 1;
  // Set in the program's environment on top of the session's; set before launch.
  QProcessEnvironment environmentAdded;
  WindowId mainWindow = 0;
  int menuBarHeight = 0;
  std::vector<QRect> menuItems;  // where each command's caption is, in window coordinates

 private:
  ::testing::AssertionResult readMenuBar();

  class ScreenAtFailure;

  QTemporaryDir home_;
  QTemporaryDir scratch_;
  QProcess program_;
  QString outputFolder_;
  ScreenAtFailure* screenAtFailure_ = nullptr;  // owned by gtest's listener list while it runs
};

// The view's place in the main window's client area, and its size while it shows the whole
// picture.
inline constexpr QPoint kViewOrigin(8, 8);
inline constexpr QSize kFittedView(678, 485);
// The options dialog's "< Back" button, where its fixed layout puts it in its window.
inline constexpr QPoint kBack(268, 166);

// The whole view is covered by a picture: none of its corners is the white of an empty view.
bool ShowsWholePicture(const QImage& view);

// A program run to its end: how it ended (-1 when it crashed or did not end) and what it wrote.
struct Finished {
  int exitCode = -1;
  QString standardOutput;
  QString standardError;
  QString output() const { return standardOutput + standardError; }
};
// Who runs a process: the tests' own user, or the ordinary one the program runs as.
enum class As { Tester, OrdinaryUser };
Finished RunToEnd(const QString& program, const QStringList& args,
                  const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                  As as = As::Tester);

// The file's bytes once it exists and is not empty (the program may still be writing it), or
// none after a while.
QByteArray WaitForFileBytes(const QString& path);
// The pixel size of a JPEG file's picture.
QSize JpegSize(const QByteArray& jpeg);

}  // namespace brindlewick::e2e
