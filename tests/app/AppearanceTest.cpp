#include "app/Appearance.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/Form1.h"
#include "app/Form2.h"
#include "platform/errors/RuntimeError.h"
#include "platform/errors/Trap.h"
#include "platform/skin/SkinFramework.h"
#include "platform/skin/StyleSheetSkinEngine.h"
#include "platform/skin/SystemColors.h"
#include "platform/skin/WindowHandles.h"
#include "settings/Application.h"
#include "support/Fakes.h"
#include "support/Form1Fixture.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

const QColor kFace(0xd4, 0xd0, 0xc8);

// Keeps every call in the order made; answers reads of the option flags.
class RecordingEngine : public SkinFramework {
 public:
  QVariant Invoke(int id, DispatchKind kind, const QVariantList& arguments) override {
    QStringList shown;
    for (const QVariant& argument : arguments) shown << argument.toString();
    static const char* const kKinds[] = {"call", "get", "put"};
    calls << QStringLiteral("%1 %2 (%3)").arg(id).arg(kKinds[int(kind)], shown.join(", "));
    if (id == failAt) throw RuntimeError(ErrorNumber::InvalidProcedureCall, "Skin rejected");
    return kind == DispatchKind::PropertyGet ? options : QVariant();
  }
  QStringList calls;
  int failAt = 0;
  QVariant options = 0;
};

// The main window started with a button face colour of its own, so it can be told from the
// default window colour.
class AppearanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QPalette scheme = system;
    scheme.setColor(QPalette::Button, kFace);
    QApplication::setPalette(scheme);
  }
  void TearDown() override {
    form.reset();
    QApplication::setPalette(system);
  }
  QString skinPath() const { return folder.path("x/o.cjs"); }
  void writeSkin(const QByteArray& text = "QMenuBar { color: red; }") {
    test::WriteBytes(skinPath(), text);
  }
  void start(SkinFramework* engine) {
    form = std::make_unique<Form1>(app, services.forWindows(nullptr, nullptr, engine));
  }
  QColor background() const { return form->clientArea()->palette().color(QPalette::Window); }

  const QPalette system = QApplication::palette();
  test::TempFolder folder;
  Application app{folder.path(), {}};
  test::WindowServices services;
  test::RecordingErrorBox& errors = services.errors;
  RecordingEngine engine;
  std::unique_ptr<Form1> form;
};

TEST_F(AppearanceTest, WithoutASkinTheMainWindowStaysWhiteAndTheEngineIdle) {
  start(&engine);
  EXPECT_EQ(background(), QColor(Qt::white));
  EXPECT_TRUE(engine.calls.isEmpty());
  EXPECT_TRUE(errors.reports.empty());
}

TEST_F(AppearanceTest, ASkinFileDrivesTheEngineInItsOrder) {
  writeSkin();
  engine.options = 6;
  start(&engine);

  const int32_t handle = WindowHandle(*form);
  EXPECT_EQ(WindowFromHandle(handle), form.get());
  EXPECT_EQ(engine.calls,
            (QStringList{"2 call (" + skinPath() + ", )", "1 get ()", "1 put (7)", "5 put (true)",
                         "10 put (true)", QStringLiteral("3 call (%1)").arg(handle)}));
  EXPECT_EQ(background(), kFace);
  EXPECT_TRUE(errors.reports.empty());
  EXPECT_EQ(form->windowTitle(), "Brindlewick");
}

TEST_F(AppearanceTest, TheOptionFlagKeepsEveryOtherBit) {
  writeSkin();
  for (const auto& [read, written] :
       std::vector<std::pair<int, int>>{{0, 1}, {1, 1}, {-2, -1}, {0x40000000, 0x40000001}}) {
    engine.calls.clear();
    engine.options = read;
    start(&engine);
    ASSERT_GE(engine.calls.size(), 3);
    EXPECT_EQ(engine.calls[2], QStringLiteral("1 put (%1)").arg(written)) << read;
  }
}

TEST_F(AppearanceTest, ASkinPathThatIsNotANormalFileCountsAsMissing) {
  QDir().mkpath(folder.path("x"));
  const std::vector<std::pair<const char*, std::function<void()>>> entries{
      {"a folder", [&] { QDir().mkpath(skinPath()); }},
      {"a pipe", [&] { ::mkfifo(QFile::encodeName(skinPath()).constData(), 0600); }},
      {"a dangling link", [&] { QFile::link(folder.path("x/gone.cjs"), skinPath()); }}};
  for (const auto& [what, make] : entries) {
    QDir(skinPath()).removeRecursively();
    QFile::remove(skinPath());
    make();
    engine.calls.clear();
    start(&engine);
    EXPECT_TRUE(engine.calls.isEmpty()) << what;
    EXPECT_EQ(background(), QColor(Qt::white)) << what;
  }
}

TEST_F(AppearanceTest, AnEngineFailureIsReportedAt102AndStartUpGoesOn) {
  writeSkin();
  engine.failAt = SkinDispatchId::LoadSkin;
  start(&engine);

  ASSERT_EQ(errors.reports.size(), 1u);
  EXPECT_EQ(errors.reports[0], FailureReport("Skin rejected", "Form1", "Form_Load", 102));
  EXPECT_EQ(engine.calls.size(), 1);  // the rest of the skin step is abandoned
  EXPECT_EQ(background(), kFace);     // what was done before the failure stays
  EXPECT_EQ(form->windowTitle(), "Brindlewick");
  EXPECT_EQ(app.Title, "Brindlewick");
}

TEST_F(AppearanceTest, OurEngineSkinsTheMainWindowAndTheWindowsOpenedLater) {
  QFile demo(BRINDLEWICK_SOURCE_DIR "/assets/skins/demo.cjs");
  ASSERT_TRUE(demo.open(QIODevice::ReadOnly));
  const QByteArray sheet = demo.readAll();
  writeSkin(sheet);
  start(nullptr);
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));

  EXPECT_TRUE(errors.reports.empty());
  EXPECT_EQ(form->styleSheet(), QString::fromUtf8(sheet));
  const QImage client = form->clientArea()->grab().toImage();
  EXPECT_EQ(QColor(client.pixel(2, 2)), QColor(0x26, 0x31, 0x3d));

  form->findChild<QAction*>("mnuJPGQuality")->trigger();
  ASSERT_NE(form->optionsDialogForTest(), nullptr);
  EXPECT_EQ(form->optionsDialogForTest()->styleSheet(), QString::fromUtf8(sheet));
}

TEST_F(AppearanceTest, OurEngineReportsASkinItCannotRead) {
  writeSkin(QByteArray((1 << 20) + 1, ' '));
  start(nullptr);
  ASSERT_EQ(errors.reports.size(), 1u);
  EXPECT_EQ(errors.reports[0], FailureReport("Cannot read \"" + skinPath() +
                                                 "\": the file is larger than 1048576 bytes",
                                             "Form1", "Form_Load", 102));
  EXPECT_TRUE(form->styleSheet().isEmpty());
  EXPECT_EQ(background(), kFace);
}

// The engine's calls one by one.
class StyleSheetEngine : public ::testing::Test {
 protected:
  int failureOf(int id, DispatchKind kind, const QVariantList& arguments) {
    try {
      engine.Invoke(id, kind, arguments);
      return 0;
    } catch (const RuntimeError& e) {
      return e.number();
    }
  }
  void load() {
    test::WriteBytes(folder.path("skin.cjs"), "QLabel { color: red; }");
    engine.Invoke(SkinDispatchId::LoadSkin, DispatchKind::Method, {folder.path("skin.cjs"), ""});
  }

  test::TempFolder folder;
  StyleSheetSkinEngine engine;
};

TEST_F(StyleSheetEngine, RefusesWhatItDoesNotKnow) {
  using K = DispatchKind;
  QWidget window;
  const int32_t handle = WindowHandle(window);
  EXPECT_EQ(failureOf(4, K::Method, {}), 438);
  EXPECT_EQ(failureOf(SkinDispatchId::LoadSkin, K::PropertyGet, {}), 438);
  EXPECT_EQ(failureOf(SkinDispatchId::ApplyWindow, K::Method, {handle}),
            ErrorNumber::InvalidProcedureCall);  // nothing loaded yet
  EXPECT_EQ(failureOf(SkinDispatchId::LoadSkin, K::Method, {folder.path("none.cjs"), ""}),
            ErrorNumber::FileNotFound);
  load();
  EXPECT_EQ(failureOf(SkinDispatchId::LoadSkin, K::Method, {folder.path("skin.cjs"), "dark"}),
            ErrorNumber::InvalidProcedureCall);
  EXPECT_EQ(failureOf(SkinDispatchId::ApplyWindow, K::Method, {handle + 1000}),
            ErrorNumber::InvalidProcedureCall);
  EXPECT_EQ(failureOf(SkinDispatchId::ApplyOptions, K::PropertyPut, {"lots"}),
            ErrorNumber::TypeMismatch);
  EXPECT_EQ(failureOf(SkinDispatchId::ApplyOptions, K::PropertyPut, {}),
            ErrorNumber::InvalidProcedureCall);
  EXPECT_EQ(failureOf(SkinDispatchId::ApplyWindow, K::Method, {handle}), 0);
  EXPECT_EQ(window.styleSheet(), "QLabel { color: red; }");
}

TEST_F(StyleSheetEngine, WithoutBit0OnlyTheClientAreaIsSkinned) {
  load();
  QMainWindow window;
  auto* client = new QWidget(&window);
  window.setCentralWidget(client);
  engine.Invoke(SkinDispatchId::ApplyWindow, DispatchKind::Method, {WindowHandle(window)});
  EXPECT_TRUE(window.styleSheet().isEmpty());
  EXPECT_EQ(client->styleSheet(), "QLabel { color: red; }");
}

TEST_F(StyleSheetEngine, LaterWindowsAndDialogsAreSkinnedAsSwitchedOn) {
  load();
  QWidget first;
  engine.Invoke(SkinDispatchId::AutoApplyNewWindows, DispatchKind::PropertyPut, {true});
  engine.Invoke(SkinDispatchId::ApplyWindow, DispatchKind::Method, {WindowHandle(first)});

  QWidget later;
  QDialog box;
  later.show();
  box.show();
  EXPECT_EQ(later.styleSheet(), "QLabel { color: red; }");
  EXPECT_TRUE(box.styleSheet().isEmpty());

  engine.Invoke(SkinDispatchId::AutoApplyNewDialogs, DispatchKind::PropertyPut, {true});
  QDialog secondBox;
  secondBox.show();
  EXPECT_EQ(secondBox.styleSheet(), "QLabel { color: red; }");
  EXPECT_EQ(engine.Invoke(SkinDispatchId::AutoApplyNewDialogs, DispatchKind::PropertyGet, {}),
            QVariant(true));
}

TEST(WindowHandles, NameEachWindowOnceAndNothingOnceItIsGone) {
  auto first = std::make_unique<QWidget>();
  QWidget second;
  const int32_t handle = WindowHandle(*first);
  EXPECT_GT(handle, 0);
  EXPECT_EQ(WindowHandle(*first), handle);
  EXPECT_NE(WindowHandle(second), handle);
  EXPECT_EQ(WindowFromHandle(handle), first.get());
  first.reset();
  EXPECT_EQ(WindowFromHandle(handle), nullptr);
  EXPECT_EQ(WindowFromHandle(0), nullptr);
  EXPECT_EQ(WindowFromHandle(-1), nullptr);
}

TEST(ApplySystemColors, ColoursTheWindowAndItsOptionsFramesAndLabelsOnly) {
  QWidget window;
  auto* frame = new QGroupBox(&window);
  auto* inner = new QRadioButton(frame);
  auto* check = new QCheckBox(&window);
  auto* label = new QLabel(&window);
  auto* button = new QPushButton(&window);
  auto* edit = new QLineEdit(&window);
  QDialog owned(&window);  // a window of its own, not a control
  auto* ownedLabel = new QLabel(&owned);

  ApplySystemColors(window);

  const QColor face = ButtonFaceColor();
  for (QWidget* w : std::initializer_list<QWidget*>{&window, frame, inner, check, label}) {
    EXPECT_TRUE(w->autoFillBackground()) << w->metaObject()->className();
    EXPECT_EQ(w->palette().color(QPalette::Window), face);
  }
  for (QWidget* w : std::initializer_list<QWidget*>{button, edit, ownedLabel}) {
    EXPECT_FALSE(w->autoFillBackground()) << w->metaObject()->className();
  }
}

}  // namespace
}  // namespace brindlewick
