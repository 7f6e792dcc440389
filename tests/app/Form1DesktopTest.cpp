// The main window as a desktop user expects it: the usual keys for its commands, JPEG files
// dropped on it, and the busy pointer while it works.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>
#include <QToolTip>
#include <QWindow>

#include "app/Form1.h"
#include "app/Form2.h"
#include "platform/surface/PictureBox.h"
#include "settings/Application.h"
#include "support/Decoding.h"
#include "support/Fakes.h"
#include "support/Form1Fixture.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

// The override cursor's shape, or none.
std::optional<Qt::CursorShape> OverrideShape() {
  const QCursor* cursor = QGuiApplication::overrideCursor();
  if (!cursor) return std::nullopt;
  return cursor->shape();
}

// Loads with the real decoder and notes the pointers shown meanwhile.
class PointerWatchingLoader : public PictureLoader {
 public:
  LoadedPicture LoadPicture(const QString& path, const PictureRequest& request) override {
    seen.push_back(OverrideShape());
    return real_.LoadPicture(path, request);
  }
  std::vector<std::optional<Qt::CursorShape>> seen;

 private:
  test::JpegFileLoader real_;
};

class PointerWatchingImaging : public test::RecordingImagingLibrary {
 public:
  PointerWatchingImaging() : RecordingImagingLibrary(&real_) {}
  GpStatus GdipSaveImageToFile(GpBitmap* image, const char16_t* filename, const Guid* encoder,
                               const EncoderParameters* params) noexcept override {
    seen.push_back(OverrideShape());
    return RecordingImagingLibrary::GdipSaveImageToFile(image, filename, encoder, params);
  }
  std::vector<std::optional<Qt::CursorShape>> seen;

 private:
  TurboJpegImaging real_;
};

class Form1DesktopTest : public ::testing::Test {
 protected:
  Form1DesktopTest() : app{folder.path(), {}}, form(app, services.forWindows(&loader, &imaging)) {
    test::WriteJpeg(folder.path("Samples/sample1.jpg"), test::SmoothImage(800, 600));
  }

  QAction* command(const char* name) const { return form.findChild<QAction*>(name); }
  void showActive() {
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  }
  void press(const QKeySequence& keys) { QTest::keySequence(form.windowHandle(), keys); }
  PictureBox* view() const { return form.findChild<PictureBox*>("Picture1"); }

  // Drags the files over the view and drops them there, or leaves if `drop` is false. Answers
  // whether the window took the drag and, when dropped, the drop.
  bool dragFiles(const QStringList& paths, bool drop = true) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    const QPoint at = view()->mapTo(&form, QPoint(50, 50));
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.windowHandle(), &enter);
    if (!drop) {
      QDragLeaveEvent leave;
      QCoreApplication::sendEvent(form.windowHandle(), &leave);
      return enter.isAccepted();
    }
    QDropEvent dropped(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.windowHandle(), &dropped);
    QCoreApplication::processEvents();
    return enter.isAccepted() && dropped.isAccepted();
  }

  test::TempFolder folder;
  Application app;
  test::WindowServices services;
  test::RecordingErrorBox& errors = services.errors;
  test::ScriptedFileDialog& dialog = services.dialog;
  PointerWatchingLoader loader;
  PointerWatchingImaging imaging;
  Form1 form;
};

struct KeyCase {
  const char* command;
  QKeySequence::StandardKey standard;  // the desktop's own key for it, if it has one
  const char* keys;
  const char* hint;
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.command; }

class Form1ShortcutTest : public Form1DesktopTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(Form1ShortcutTest, CommandsAnswerTheUsualKeysAndTellThem) {
  QAction* action = command(GetParam().command);
  if (GetParam().standard != QKeySequence::UnknownKey) {
    EXPECT_EQ(action->shortcut(), QKeySequence(GetParam().standard));
  }
  EXPECT_EQ(action->shortcut(), QKeySequence(QString::fromLatin1(GetParam().keys)));
  EXPECT_EQ(action->toolTip(), QString::fromLatin1(GetParam().hint));

  // Resting the pointer on the command tells its key.
  showActive();
  QMenuBar* bar = form.menuBar();
  const QPoint on = bar->actionGeometry(action).center();
  QHelpEvent help(QEvent::ToolTip, on, bar->mapToGlobal(on));
  QCoreApplication::sendEvent(bar, &help);
  EXPECT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 2000));
  EXPECT_EQ(QToolTip::text(), QString::fromLatin1(GetParam().hint));
  QToolTip::hideText();
}

INSTANTIATE_TEST_SUITE_P(
    Commands, Form1ShortcutTest,
    ::testing::Values(
        KeyCase{"mnuSelectPicture", QKeySequence::Open, "Ctrl+O", "Select Picture (Ctrl+O)"},
        KeyCase{"mnuUndo", QKeySequence::Undo, "Ctrl+Z", "Go Back/Undo (Ctrl+Z)"},
        KeyCase{"mnuSave", QKeySequence::Save, "Ctrl+S", "Save Image (Ctrl+S)"},
        KeyCase{"mnuJPGQuality", QKeySequence::UnknownKey, "Ctrl+J", "Output JPG Quality (Ctrl+J)"},
        KeyCase{"LoadSample", QKeySequence::UnknownKey, "Ctrl+L", "Load Sample (Ctrl+L)"}),
    [](const auto& info) { return std::string(info.param.command); });

// F10 takes the keyboard to the bar; the mark skips the commands that are off and goes round the
// ends; Return runs the marked command and Escape runs none, both giving the keyboard back.
TEST_F(Form1DesktopTest, F10WalksTheMenuBarAndReturnRunsTheMarkedCommand) {
  showActive();
  QMenuBar* bar = form.menuBar();
  const auto marked = [&] { return bar->activeAction() ? bar->activeAction()->objectName() : ""; };
  const QImage unmarked = bar->grab().toImage();
  const std::vector<std::pair<Qt::Key, QString>> walk{
      {Qt::Key_F10, "mnuSelectPicture"}, {Qt::Key_Right, "mnuJPGQuality"},
      {Qt::Key_Right, "LoadSample"},     {Qt::Key_Right, "mnuSelectPicture"},
      {Qt::Key_Left, "LoadSample"},      {Qt::Key_Home, "mnuSelectPicture"},
      {Qt::Key_End, "LoadSample"},       {Qt::Key_Escape, ""},
      {Qt::Key_F10, "mnuSelectPicture"}, {Qt::Key_F10, ""},
      {Qt::Key_F10, "mnuSelectPicture"}, {Qt::Key_Left, "LoadSample"}};
  for (const auto& [key, expected] : walk) {
    QTest::keyClick(form.windowHandle(), key);
    EXPECT_EQ(marked(), expected) << key;
    EXPECT_EQ(bar->hasFocus(), !expected.isEmpty()) << key;
    EXPECT_EQ(bar->grab().toImage() != unmarked, !expected.isEmpty()) << key;  // the mark shows
  }
  EXPECT_TRUE(loader.seen.empty());  // Escape and F10 ran nothing
  QTest::keyClick(form.windowHandle(), Qt::Key_Return);
  EXPECT_FALSE(bar->hasFocus());
  EXPECT_EQ(marked(), "");
  EXPECT_EQ(form.document().Tag, folder.path("Samples/sample1.jpg"));

  // Once a picture is open, the mark stops on the commands it switched on.
  QTest::keyClick(form.windowHandle(), Qt::Key_F10);
  QTest::keyClick(form.windowHandle(), Qt::Key_Right);
  EXPECT_EQ(marked(), "mnuSave");
  QTest::keyClick(form.windowHandle(), Qt::Key_Escape);
  EXPECT_TRUE(errors.reports.empty());
}

TEST_F(Form1DesktopTest, TheKeysRunTheCommandsOnlyWhileTheyAreEnabled) {
  showActive();
  // Nothing is open yet: saving and undoing are off, and so are their keys.
  press(QKeySequence::Save);
  press(QKeySequence::Undo);
  EXPECT_TRUE(dialog.shown.empty());
  EXPECT_TRUE(loader.seen.empty());

  const QString picked = test::WriteJpeg(folder.path("a.jpg"), test::SmoothImage(1600, 1200));
  dialog.answers = {picked};
  press(QKeySequence::Open);
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_EQ(dialog.shown[0].title, "Select Image");
  EXPECT_EQ(form.document().Tag, picked);

  const QString target = folder.path("out.jpg");
  dialog.answers = {target};
  press(QKeySequence::Save);
  ASSERT_EQ(dialog.shown.size(), 2u);
  EXPECT_EQ(dialog.shown[1].title, "Save Image As");
  EXPECT_TRUE(QFileInfo::exists(target));

  // A crop switches undo on; its key shows the whole picture again.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.selectionForTest().IgnoreMouse(); }, 3000));
  QTest::mousePress(view(), Qt::LeftButton, {}, QPoint(20, 20));
  QTest::mouseMove(view(), QPoint(120, 90));
  QTest::mouseRelease(view(), Qt::LeftButton, {}, QPoint(120, 90));
  ASSERT_TRUE(form.selectionForTest().CropDone());
  press(QKeySequence::Undo);
  EXPECT_FALSE(form.selectionForTest().CropDone());
  EXPECT_FALSE(command("mnuUndo")->isEnabled());
  EXPECT_EQ(view()->size(), QSize(678, 485));

  // Load Sample and Output JPG Quality have keys of their own.
  press(QKeySequence(QStringLiteral("Ctrl+L")));
  EXPECT_EQ(form.document().Tag, folder.path("Samples/sample1.jpg"));
  press(QKeySequence(QStringLiteral("Ctrl+J")));
  ASSERT_NE(form.optionsDialogForTest(), nullptr);
  EXPECT_TRUE(form.optionsDialogForTest()->isVisible());
  EXPECT_TRUE(errors.reports.empty());
}

TEST_F(Form1DesktopTest, ADroppedJpegOpensAsIfPickedWithSelectPicture) {
  showActive();
  form.selectionForTest().stateForTest().CropDone = true;
  const QString path = test::WriteJpeg(folder.path("drop/a.jpg"), test::SmoothImage(300, 200));

  EXPECT_TRUE(dragFiles({path}));

  EXPECT_TRUE(dialog.shown.empty());  // nothing is asked
  EXPECT_EQ(form.document().Tag, path);
  EXPECT_TRUE(form.document().viewShowsPicture());
  EXPECT_FALSE(form.selectionForTest().CropDone());
  EXPECT_TRUE(form.selectionForTest().IgnoreMouse());
  EXPECT_TRUE(command("mnuSave")->isEnabled());
  EXPECT_FALSE(command("mnuUndo")->isEnabled());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form.selectionForTest().IgnoreMouse(); }, 3000));
  EXPECT_TRUE(errors.reports.empty());
}

TEST_F(Form1DesktopTest, SeveralDroppedJpegsOfOneFolderAreShownInTurn) {
  showActive();
  const QString a = test::WriteJpeg(folder.path("drop/a.jpg"), test::SmoothImage(300, 200));
  const QString b = test::WriteJpeg(folder.path("drop/b.JPG"), test::SmoothImage(200, 300));

  EXPECT_TRUE(dragFiles({a, b}));

  EXPECT_EQ(loader.seen.size(), 2u);
  EXPECT_EQ(form.document().Tag, b);
  EXPECT_EQ(form.document().picDraw.picture().naturalSize(), QSize(200, 300));
}

TEST_F(Form1DesktopTest, OtherDropsAreRefusedAndChangeNothing) {
  showActive();
  const QString png = folder.path("drop/a.png");
  test::WriteBytes(png, QByteArray("\x89PNG", 4));
  const QString jpeg = test::WriteJpeg(folder.path("other/b.jpg"), test::SmoothImage(30, 20));

  for (const QStringList& files : {QStringList{png}, QStringList{jpeg, png}}) {
    EXPECT_FALSE(dragFiles(files, false)) << files.join(' ').toStdString();
    EXPECT_FALSE(dragFiles(files)) << files.join(' ').toStdString();
  }

  EXPECT_TRUE(loader.seen.empty());
  EXPECT_TRUE(form.document().Tag.isEmpty());
  EXPECT_FALSE(command("mnuSave")->isEnabled());
}

TEST_F(Form1DesktopTest, TheBusyPointerCoversTheWindowWhileAPictureLoadsAndWhileItIsSaved) {
  showActive();
  EXPECT_FALSE(OverrideShape());

  form.findChild<QAction*>("LoadSample")->trigger();
  ASSERT_EQ(loader.seen.size(), 1u);
  EXPECT_EQ(loader.seen[0], Qt::WaitCursor);
  EXPECT_FALSE(OverrideShape());
  EXPECT_EQ(form.mousePointer(), MousePointer::Default);
  EXPECT_EQ(view()->cursor().shape(), Qt::CrossCursor);  // the view's own pointer stays

  dialog.answers = {folder.path("saved.jpg")};
  form.findChild<QAction*>("mnuSave")->trigger();
  ASSERT_EQ(imaging.seen.size(), 1u);
  EXPECT_EQ(imaging.seen[0], Qt::WaitCursor);
  EXPECT_FALSE(OverrideShape());
  EXPECT_EQ(form.mousePointer(), MousePointer::Default);
}

TEST_F(Form1DesktopTest, SettingTheBusyPointerTwiceNeedsOnlyOneRestore) {
  form.setMousePointer(MousePointer::Busy);
  form.setMousePointer(MousePointer::Busy);
  EXPECT_EQ(OverrideShape(), Qt::WaitCursor);
  form.setMousePointer(MousePointer::Crosshair);
  EXPECT_FALSE(OverrideShape());
  EXPECT_EQ(form.clientArea()->cursor().shape(), Qt::CrossCursor);
}

}  // namespace
}  // namespace brindlewick
