#include "app/Form2.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

#include "HandCursor.h"
#include "app/Form1.h"
#include "platform/dialogs/QtMessageBox.h"
#include "platform/errors/Trap.h"
#include "platform/skin/SystemColors.h"
#include "settings/Application.h"
#include "settings/SettingsStore.h"
#include "support/Fakes.h"
#include "support/FileSystem.h"
#include "support/Form1Fixture.h"
#include "support/TestFiles.h"
#include "view/PictureDocument.h"

namespace brindlewick {
namespace {

void Store(const QString& folder, const char* key, const char* value) {
  SettingsStore(folder).SaveSetting("Fenwright", "Brindlewick", key, value);
}

QString Stored(const QString& folder, const char* key) {
  return SettingsStore(folder).GetSetting("Fenwright", "Brindlewick", key, "(absent)");
}

class Form2Test : public ::testing::Test {
 protected:
  std::unique_ptr<Form2> open(Form2Services services) {
    return std::make_unique<Form2>(mainWindow, doc, app, services);
  }
  std::unique_ptr<Form2> open() { return open({errors, messages, settings}); }
  template <class T = QWidget>
  static T* control(const Form2& dialog, const char* name) {
    T* found = dialog.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  static void show(Form2& dialog) {
    dialog.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  }

  test::TempFolder config;
  test::TempFolder programFolder;
  SettingsStore settings{config.path()};
  test::FakeShell mainWindow;
  PictureDocument doc;
  test::RecordingErrorBox errors;
  test::RecordingMessageBox messages;
  Application app{programFolder.path(), "Brindlewick"};
};

TEST_F(Form2Test, IsLaidOutFromItsDesignAt15TwipsAPixel) {
  const auto dialog = open();
  const std::vector<std::tuple<const char*, const char*, QRect>> placed{
      {"Frame2", "Form2", QRect(8, 8, 520, 137)},
      {"Option21", "Frame2", QRect(16, 20, 101, 17)},
      {"Option22", "Frame2", QRect(16, 43, 105, 17)},  // 97 in design, which cut off the colon
      {"PushButton8", "Frame2", QRect(448, 18, 40, 27)},
      {"Frame4", "Frame2", QRect(32, 64, 456, 59)},
      {"Slider1", "Frame4", QRect(8, 16, 440, 36)},
      {"PushButton2", "Form2", QRect(8, 153, 520, 27)}};
  for (const auto& [name, parent, geometry] : placed) {
    const QWidget* widget = control(*dialog, name);
    EXPECT_EQ(widget->geometry(), geometry) << name;
    EXPECT_EQ(widget->parentWidget()->objectName(), parent) << name;
  }

  EXPECT_EQ(dialog->size(), QSize(536, 184));
  EXPECT_EQ(dialog->minimumSize(), QSize(536, 184));
  EXPECT_EQ(dialog->maximumSize(), QSize(536, 184));
  EXPECT_EQ(dialog->parentWidget(), nullptr);  // no owner window
  const Qt::WindowFlags flags = dialog->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
}

TEST_F(Form2Test, CaptionsAreArialBoldThroughAMetricTwin) {
  const auto dialog = open();
  const std::vector<std::tuple<const char*, double, int>> fonts{
      {"Frame2", 9, 12}, {"Option21", 9, 12},        {"Option22", 9, 12},
      {"Frame4", 9, 12}, {"PushButton8", 11.25, 15}, {"PushButton2", 11.25, 15}};
  for (const auto& [name, points, pixels] : fonts) {
    const QFont font = control(*dialog, name)->font();
    const QFontInfo shown(font);
    EXPECT_EQ(font.family(), "Arial") << name;
    EXPECT_EQ(font.pointSizeF(), points) << name;
    EXPECT_EQ(shown.family(), "Liberation Sans") << name;
    EXPECT_TRUE(shown.bold()) << name;
    EXPECT_EQ(shown.pixelSize(), pixels) << name;
  }
}

TEST_F(Form2Test, StartsWithItsCaptionsAndTheSliderFrom1To100) {
  const auto dialog = open();
  EXPECT_EQ(dialog->windowTitle(), "Brindlewick");
  EXPECT_TRUE(dialog->windowIcon().availableSizes().contains(QSize(32, 32)));
  EXPECT_EQ(control<QGroupBox>(*dialog, "Frame2")->title(), "Output JPG Quality Option");
  EXPECT_EQ(control<QRadioButton>(*dialog, "Option21")->text(), "Smart-Detect");
  EXPECT_EQ(control<QRadioButton>(*dialog, "Option22")->text(), "Fixed Quality:");
  EXPECT_EQ(control<QPushButton>(*dialog, "PushButton8")->text(), "?");
  EXPECT_EQ(control<QPushButton>(*dialog, "PushButton2")->text(), "< Back");
  EXPECT_EQ(control<QGroupBox>(*dialog, "Frame4")->title(), "85%");

  const QSlider* slider = control<QSlider>(*dialog, "Slider1");
  EXPECT_EQ(slider->orientation(), Qt::Horizontal);
  EXPECT_EQ(slider->minimum(), 1);
  EXPECT_EQ(slider->maximum(), 100);
  EXPECT_EQ(slider->tickInterval(), 1);
  EXPECT_NE(slider->tickPosition(), QSlider::NoTicks);
  EXPECT_TRUE(errors.reports.empty());
}

TEST_F(Form2Test, IsPaintedInTheButtonFaceColour) {
  const QPalette system = QApplication::palette();
  QPalette scheme = system;
  scheme.setColor(QPalette::Button, QColor(0xd4, 0xd0, 0xc8));
  QApplication::setPalette(scheme);
  const auto dialog = open();
  QApplication::setPalette(system);

  for (const char* name : {"Form2", "Frame2", "Option21", "Option22", "Frame4"}) {
    const QWidget* widget = name == QLatin1String("Form2") ? dialog.get() : control(*dialog, name);
    EXPECT_EQ(widget->palette().color(QPalette::Window), QColor(0xd4, 0xd0, 0xc8)) << name;
    EXPECT_TRUE(widget->autoFillBackground()) << name;
  }
  EXPECT_FALSE(control(*dialog, "PushButton2")->autoFillBackground());
}

TEST_F(Form2Test, IsCentredOnItsFirstShow) {
  const auto dialog = open();
  show(*dialog);
  const QPoint centre = dialog->screen()->availableGeometry().center();
  EXPECT_LE((dialog->frameGeometry().center() - centre).manhattanLength(), 2);
}

TEST_F(Form2Test, ArrowKeysMoveTheSliderBy1AndPageKeysBy5) {
  Store(config.path(), "Option22", "True");
  const auto dialog = open();
  QSlider* slider = control<QSlider>(*dialog, "Slider1");
  const std::vector<std::pair<Qt::Key, int>> steps{{Qt::Key_Right, 86},  {Qt::Key_Up, 87},
                                                   {Qt::Key_Left, 86},   {Qt::Key_Down, 85},
                                                   {Qt::Key_PageUp, 90}, {Qt::Key_PageDown, 85}};
  for (const auto& [key, value] : steps) {
    QTest::keyClick(slider, key);
    EXPECT_EQ(slider->value(), value) << key;
    EXPECT_EQ(control<QGroupBox>(*dialog, "Frame4")->title(), QString::number(value) + "%");
    EXPECT_EQ(Stored(config.path(), "Slider1"), QString::number(value));
  }
}

TEST_F(Form2Test, ADragIsStoredOnceWhenItEndsWhileTheCaptionFollowsIt) {
  Store(config.path(), "Option22", "True");
  const auto dialog = open();
  auto* slider = control<QSlider>(*dialog, "Slider1");
  auto* frame = control<QGroupBox>(*dialog, "Frame4");

  slider->setSliderDown(true);
  slider->setSliderPosition(40);
  slider->setSliderPosition(41);
  EXPECT_EQ(frame->title(), "41%");
  EXPECT_EQ(Stored(config.path(), "Slider1"), "(absent)");

  slider->setSliderDown(false);
  EXPECT_EQ(slider->value(), 41);
  EXPECT_EQ(frame->title(), "41%");
  EXPECT_EQ(Stored(config.path(), "Slider1"), "41");
}

TEST_F(Form2Test, ClickingAnOptionStoresBothAndSwitchesTheSlider) {
  const auto dialog = open();
  show(*dialog);
  auto* smart = control<QRadioButton>(*dialog, "Option21");
  auto* fixed = control<QRadioButton>(*dialog, "Option22");
  auto* slider = control<QSlider>(*dialog, "Slider1");

  QTest::keyClick(slider, Qt::Key_Right);  // the frame is disabled in Smart-Detect
  EXPECT_EQ(slider->value(), 85);

  QTest::mouseClick(fixed, Qt::LeftButton);
  EXPECT_TRUE(fixed->isChecked());
  EXPECT_FALSE(smart->isChecked());
  EXPECT_TRUE(control(*dialog, "Frame4")->isEnabled());
  EXPECT_EQ(Stored(config.path(), "Option21"), "False");
  EXPECT_EQ(Stored(config.path(), "Option22"), "True");
  QTest::keyClick(slider, Qt::Key_Right);
  EXPECT_EQ(slider->value(), 86);

  QTest::mouseClick(smart, Qt::LeftButton);
  EXPECT_FALSE(control(*dialog, "Frame4")->isEnabled());
  EXPECT_EQ(Stored(config.path(), "Option21"), "True");
  EXPECT_EQ(Stored(config.path(), "Option22"), "False");
  EXPECT_TRUE(errors.reports.empty());
}

TEST_F(Form2Test, BothStoredFalseLeavesNeitherSelectedUntilOneIsClicked) {
  Store(config.path(), "Option21", "False");
  Store(config.path(), "Option22", "False");
  const auto dialog = open();
  show(*dialog);
  auto* smart = control<QRadioButton>(*dialog, "Option21");
  auto* fixed = control<QRadioButton>(*dialog, "Option22");
  EXPECT_FALSE(smart->isChecked());
  EXPECT_FALSE(fixed->isChecked());
  EXPECT_TRUE(control(*dialog, "Frame4")->isEnabled());

  QTest::mouseClick(fixed, Qt::LeftButton);
  QTest::mouseClick(smart, Qt::LeftButton);
  EXPECT_TRUE(smart->isChecked());
  EXPECT_FALSE(fixed->isChecked());  // still one group
}

TEST_F(Form2Test, AStoredValueThatCannotBeReadKeepsTheDesignState) {
  Store(config.path(), "Option21", "False");
  Store(config.path(), "Option22", "perhaps");
  Store(config.path(), "Slider1", "lots");
  const auto dialog = open();
  ASSERT_EQ(errors.reports.size(), 2u);
  EXPECT_EQ(errors.reports[0], FailureReport("Type mismatch", "Form2", "Form_Load", 112));
  EXPECT_EQ(errors.reports[1], FailureReport("Type mismatch", "Form2", "Form_Load", 114));
  EXPECT_FALSE(control<QRadioButton>(*dialog, "Option21")->isChecked());
  EXPECT_FALSE(control<QRadioButton>(*dialog, "Option22")->isChecked());
  EXPECT_EQ(control<QSlider>(*dialog, "Slider1")->value(), 85);
  EXPECT_EQ(control<QGroupBox>(*dialog, "Frame4")->title(), "85%");
  EXPECT_TRUE(control(*dialog, "Frame4")->isEnabled());
}

// Runs again at QT_SCALE_FACTOR 1.25, 1.5 and 2 (tests/CMakeLists.txt).
TEST_F(Form2Test, HighDensityCaptionsShowWholeAndTheHandKeepsItsPhysicalSize) {
  test::WriteBytes(programFolder.path("HAND-M.CUR"), HandCursorFileBytes());
  const auto dialog = open();
  for (auto* option : dialog->findChildren<QRadioButton*>()) {
    QStyleOptionButton style;
    style.initFrom(option);
    style.text = option->text();
    EXPECT_GE(
        option->style()->subElementRect(QStyle::SE_RadioButtonContents, &style, option).width(),
        option->fontMetrics().horizontalAdvance(option->text()));
  }
  const double ratio = dialog->devicePixelRatioF();
  const QImage hand =
      dialog->handCursorForTest().pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(hand.width(), qRound(32 * ratio));
  EXPECT_EQ(
      dialog->handCursorForTest().hotSpot(),
      (std::map<double, QPoint>{{1, {10, 1}}, {1.25, {12, 1}}, {1.5, {15, 1}}, {2, {20, 2}}}.at(
          ratio)));
  if (ratio == 2) {
    EXPECT_EQ(hand, RenderHandCursor(64));  // drawn at that size, not magnified
  }
}

TEST_F(Form2Test, TheHandShowsOverThePushButtonsOnlyAndNeverOverABusyPointer) {
  test::WriteBytes(programFolder.path("HAND-M.CUR"),
                   CursorFileBytes(RenderHandCursor(), kHandHotSpot));
  const auto dialog = open();
  show(*dialog);
  ASSERT_EQ(dialog->handCursorForTest().shape(), Qt::BitmapCursor);
  EXPECT_EQ(dialog->handCursorForTest().hotSpot(), kHandHotSpot);

  const auto pointerOver = [&](const char* name, QPoint at = {}) {
    QTest::mouseMove(control(*dialog, name), at);
    return dialog->testAttribute(Qt::WA_SetCursor) ? dialog->cursor().shape() : Qt::ArrowCursor;
  };
  EXPECT_EQ(pointerOver("PushButton2"), Qt::BitmapCursor);
  EXPECT_EQ(pointerOver("Frame2", {200, 40}), Qt::ArrowCursor);
  EXPECT_EQ(pointerOver("PushButton8"), Qt::BitmapCursor);
  EXPECT_EQ(pointerOver("Slider1"), Qt::ArrowCursor);  // counts as its frame
  EXPECT_EQ(pointerOver("PushButton8"), Qt::BitmapCursor);
  EXPECT_EQ(pointerOver("Option22"), Qt::ArrowCursor);

  dialog->setCursor(Qt::WaitCursor);
  EXPECT_EQ(pointerOver("PushButton2"), Qt::WaitCursor);
  EXPECT_EQ(pointerOver("Option21"), Qt::WaitCursor);
}

TEST_F(Form2Test, WithoutTheCursorFileTheButtonsKeepTheDefaultLook) {
  const auto dialog = open();
  show(*dialog);
  QTest::mouseMove(control(*dialog, "PushButton2"));
  EXPECT_EQ(dialog->cursor().shape(), Qt::ArrowCursor);
  EXPECT_TRUE(errors.reports.empty());
}

TEST_F(Form2Test, HelpIsAPlainBoxTitledWithTheApplicationTitle) {
  app.Title = "Brindle";
  QtMessageBox realMessages;
  const auto dialog = open({errors, realMessages, settings});
  show(*dialog);
  QString text, title;
  QMessageBox::Icon icon = QMessageBox::Warning;
  QMessageBox::StandardButtons buttons;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    text = box->text();
    title = box->windowTitle();
    icon = box->icon();
    buttons = box->standardButtons();
    box->button(QMessageBox::Ok)->click();
  });
  poll.start(10);
  QTest::mouseClick(control(*dialog, "PushButton8"), Qt::LeftButton);
  poll.stop();

  EXPECT_EQ(text,
            "Smart-Detect will automatically detect the image quality of each input JPG file and "
            "use this information to create a similar quality output JPG file.\n\nFixed Quality "
            "will use the same image quality for every output JPG file.");
  EXPECT_EQ(title, "Brindle");
  EXPECT_EQ(icon, QMessageBox::NoIcon);
  EXPECT_EQ(buttons, QMessageBox::Ok);
}

TEST_F(Form2Test, AnUnwritableConfigFolderLeavesTheDialogUsable) {
  test::WriteBytes(config.path("plain"), "x");
  const test::ConfigHome home(config.path("plain/config"));  // a file where a folder should be
  SettingsStore userSettings;  // in the user's config folder, as the program's own is
  const auto dialog = open({errors, messages, userSettings});
  show(*dialog);
  EXPECT_TRUE(errors.reports.empty());  // loading stores nothing

  QTest::mouseClick(control(*dialog, "Option22"), Qt::LeftButton);
  auto* slider = control<QSlider>(*dialog, "Slider1");
  QTest::keyClick(slider, Qt::Key_PageDown);
  QTest::keyClick(slider, Qt::Key_PageDown);

  ASSERT_EQ(errors.reports.size(), 1u);
  EXPECT_TRUE(errors.reports[0].startsWith("Cannot store the setting \"Option21\" in \"" +
                                           config.path("plain/config/Fenwright.ini") + "\""));
  EXPECT_EQ(control<QGroupBox>(*dialog, "Frame4")->title(), "75%");
  doc.JPGQuality = 91;
  QTest::mouseClick(control(*dialog, "PushButton2"), Qt::LeftButton);
  EXPECT_EQ(doc.JPGQuality, 75);
  EXPECT_FALSE(dialog->isVisible());
}

// The dialog as the main window opens it, with the settings in a config folder of the test's own.
class OptionsDialogThroughTheMainWindow : public ::testing::Test {
 protected:
  OptionsDialogThroughTheMainWindow()
      : home(config.path()), app{programFolder.path(), {}}, form(app, services.forWindows()) {}

  void showForm() {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  }
  // Clicks "Output JPG Quality" where it stands on the menu bar.
  void openOptions() {
    QMenuBar* bar = form.menuBar();
    QAction* command = form.findChild<QAction*>("mnuJPGQuality");
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(command).center());
  }
  template <class T = QWidget>
  T* control(const char* name) {
    return form.optionsDialogForTest()->findChild<T*>(name);
  }
  void click(const char* name) { QTest::mouseClick(control(name), Qt::LeftButton); }

  test::TempFolder config;
  test::TempFolder programFolder;
  test::ConfigHome home;
  Application app;
  test::WindowServices services;  // its settings store is made in the config folder above
  test::RecordingErrorBox& errors = services.errors;
  Form1 form;
};

TEST_F(OptionsDialogThroughTheMainWindow, TakesTheMainWindowsPlaceOnFirstUse) {
  showForm();
  EXPECT_EQ(form.optionsDialogForTest(), nullptr);
  openOptions();
  ASSERT_NE(form.optionsDialogForTest(), nullptr);
  EXPECT_TRUE(form.optionsDialogForTest()->isVisible());
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(control<QRadioButton>("Option21")->isChecked());
  EXPECT_EQ(control<QGroupBox>("Frame4")->title(), "85%");
  EXPECT_FALSE(control("Frame4")->isEnabled());
  EXPECT_TRUE(errors.reports.empty());
}

TEST_F(OptionsDialogThroughTheMainWindow, BackHidesTheDialogAndKeepsItsState) {
  showForm();
  openOptions();
  Form2* first = form.optionsDialogForTest();
  click("Option22");
  QTest::keyClick(control("Slider1"), Qt::Key_Right);
  Store(config.path(), "Option22", "False");  // a reload would pick this up

  click("PushButton2");
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(first->isVisible());
  EXPECT_EQ(form.document().JPGQuality, 86);

  openOptions();
  EXPECT_EQ(form.optionsDialogForTest(), first);
  EXPECT_TRUE(first->isVisible());
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(control<QRadioButton>("Option22")->isChecked());
  EXPECT_EQ(control<QSlider>("Slider1")->value(), 86);
}

// From the keyboard alone: Tab reaches every control and shows where it is, the slider takes the
// arrow keys, and Escape returns as "< Back" does.
TEST_F(OptionsDialogThroughTheMainWindow, TabReachesEveryControlWithAVisibleFocusEscapeGoesBack) {
  Store(config.path(), "Option22", "True");
  showForm();
  openOptions();
  Form2* dialog = form.optionsDialogForTest();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
  const QStringList names{"Option21", "Option22", "PushButton8", "Slider1", "PushButton2"};
  std::map<QString, QImage> unmarked;
  for (const QString& name : names) {
    unmarked[name] = control(name.toLatin1().constData())->grab().toImage();
  }
  QStringList reached;
  for (qsizetype i = 0; i < names.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    reached << focus->objectName();
    EXPECT_NE(focus->grab().toImage(), unmarked[focus->objectName()])
        << focus->objectName().toStdString();
  }
  reached.sort();
  QStringList all = names;
  all.sort();
  EXPECT_EQ(reached, all);

  control("Slider1")->setFocus(Qt::TabFocusReason);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageUp);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.document().JPGQuality, 90);
  EXPECT_TRUE(errors.reports.empty());
}

TEST_F(OptionsDialogThroughTheMainWindow,
       ClosingAppliesTheModeDiscardsTheDialogAndReloadsNextTime) {
  showForm();
  openOptions();
  QPointer<Form2> first = form.optionsDialogForTest();
  click("Option22");
  QTest::keyClick(control("Slider1"), Qt::Key_PageDown);

  first->close();  // the window's own close control
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.document().JPGQuality, 80);
  EXPECT_EQ(form.optionsDialogForTest(), nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 2000));

  Store(config.path(), "Slider1", "33");
  openOptions();
  ASSERT_NE(form.optionsDialogForTest(), nullptr);
  EXPECT_TRUE(control<QRadioButton>("Option22")->isChecked());
  EXPECT_EQ(control<QSlider>("Slider1")->value(), 33);
  EXPECT_EQ(control<QGroupBox>("Frame4")->title(), "33%");
  EXPECT_TRUE(errors.reports.empty());
}

TEST_F(OptionsDialogThroughTheMainWindow, TheProgramEndsOnlyWithTheMainWindow) {
  QSignalSpy unloaded(&form, &Form1::unloaded);
  showForm();
  openOptions();
  form.optionsDialogForTest()->close();
  EXPECT_EQ(unloaded.count(), 0);
  EXPECT_TRUE(form.isVisible());

  openOptions();
  click("PushButton2");
  QPointer<Form2> hidden = form.optionsDialogForTest();
  ASSERT_FALSE(hidden.isNull());
  form.close();
  EXPECT_EQ(unloaded.count(), 1);
  EXPECT_TRUE(hidden.isNull());  // gone with the main window, its handlers not run
  EXPECT_FALSE(form.isVisible());
}

TEST_F(OptionsDialogThroughTheMainWindow, AFixedQualityHoldsUntilThePictureIsShownAgain) {
  test::WriteJpeg(programFolder.path("Samples/sample1.jpg"), test::SmoothImage(800, 600),
                  {.quality = 50});
  showForm();
  form.findChild<QAction*>("LoadSample")->trigger();
  const int16_t estimate = form.document().JPGQuality;
  ASSERT_GT(estimate, 0);
  ASSERT_NE(estimate, 60);

  Store(config.path(), "Option21", "False");
  Store(config.path(), "Option22", "True");
  Store(config.path(), "Slider1", "60");
  openOptions();
  click("PushButton2");
  EXPECT_EQ(form.document().JPGQuality, 60);  // what the next save uses
  EXPECT_EQ(form.document().PrevQuality, estimate);

  form.resize(form.width() - 40, form.height());  // the picture is shown again
  QCoreApplication::processEvents();
  EXPECT_EQ(form.document().JPGQuality, estimate);

  openOptions();
  click("Option21");
  form.document().JPGQuality = 60;
  click("PushButton2");
  EXPECT_EQ(form.document().JPGQuality, estimate);
  EXPECT_TRUE(errors.reports.empty());
}

}  // namespace
}  // namespace brindlewick
