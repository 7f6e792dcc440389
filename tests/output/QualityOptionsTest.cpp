#include "output/QualityOptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include <QDir>
#include <QFile>
#include <QIcon>

#include "HandCursor.h"
#include "platform/errors/RuntimeError.h"
#include "platform/errors/Trap.h"
#include "platform/skin/CursorFile.h"
#include "settings/Application.h"
#include "settings/SettingsStore.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"
#include "view/PictureDocument.h"

namespace brindlewick {
namespace {

// The dialog's controls as plain state, starting in their design state.
class FakeForm2 : public Form2Shell {
 public:
  void setCaption(const QString& text) override { caption = text; }
  void setIcon(const QIcon& value) override { icon = value; }
  void ApplySystemColors() override { coloured = true; }
  void setMouseIcon(const CursorImage& value) override { cursor = value; }
  bool Option21() const override { return option21; }
  void setOption21(bool selected) override {
    option21 = selected;
    if (selected) option22 = false;
  }
  bool Option22() const override { return option22; }
  void setOption22(bool selected) override {
    option22 = selected;
    if (selected) option21 = false;
  }
  QString Option21Caption() const override { return option21Caption; }
  QString Option22Caption() const override { return option22Caption; }
  int Slider1() const override { return slider; }
  void setSlider1(int value) override { slider = std::clamp(value, 1, 100); }
  void setFrame4Caption(const QString& text) override { frame4Caption = text; }
  void setFrame4Enabled(bool enabled) override { frame4Enabled = enabled; }
  void showForm1() override {
    if (failShowingForm1) throw RuntimeError(ErrorNumber::OutOfMemory, "Out of memory");
    steps.push_back("show Form1");
  }
  void Hide() override { steps.push_back("hide Form2"); }

  QString caption;
  QIcon icon;
  bool coloured = false;
  std::optional<CursorImage> cursor;
  bool option21 = true;
  bool option22 = false;
  QString option21Caption = "Smart-Detect";
  QString option22Caption = "Fixed Quality:";
  int slider = 85;
  QString frame4Caption = "0%";
  bool frame4Enabled = true;
  bool failShowingForm1 = false;
  std::vector<QString> steps;
};

class QualityOptionsTest : public ::testing::Test {
 protected:
  QString stored(const char* key) {
    return SettingsStore(config.path()).GetSetting("Fenwright", "Brindlewick", key, "(absent)");
  }
  void store(const char* key, const char* value) {
    SettingsStore(config.path()).SaveSetting("Fenwright", "Brindlewick", key, value);
  }
  void useUnwritableStore() {
    test::WriteBytes(config.path("plain"), "x");
    settings = SettingsStore(config.path("plain/config"));
  }

  test::TempFolder config;
  test::TempFolder programFolder;
  PictureDocument doc;
  FakeForm2 dialog;
  test::RecordingErrorBox errors;
  test::RecordingMessageBox messages;
  SettingsStore settings{config.path()};
  Application app{programFolder.path(), "Brindlewick"};
  Form2Context form{dialog, doc, errors, messages, settings, app};
};

TEST_F(QualityOptionsTest, FirstUseStartsInSmartDetectAt85) {
  Form_Load(form);

  EXPECT_TRUE(errors.reports.empty());
  EXPECT_EQ(dialog.caption, "Brindlewick");
  EXPECT_FALSE(dialog.icon.availableSizes().isEmpty());
  EXPECT_TRUE(dialog.coloured);
  EXPECT_FALSE(dialog.cursor);  // no hand cursor in this program folder
  EXPECT_TRUE(dialog.option21);
  EXPECT_FALSE(dialog.option22);
  EXPECT_EQ(dialog.slider, 85);
  EXPECT_EQ(dialog.frame4Caption, "85%");
  EXPECT_FALSE(dialog.frame4Enabled);
  EXPECT_EQ(stored("Option21"), "(absent)");  // loading stores nothing
}

struct Stored {
  const char* name;
  const char* option21;  // null: absent
  const char* option22;
  const char* slider;
  bool expect21;
  bool expect22;
  int expectSlider;
  bool expectFrameEnabled;
  std::optional<std::pair<const char*, int>> failure;  // description and line
};

class QualityOptionsLoad : public QualityOptionsTest,
                           public ::testing::WithParamInterface<Stored> {};

TEST_P(QualityOptionsLoad, RestoresTheStoredChoices) {
  const Stored& c = GetParam();
  if (c.option21) store("Option21", c.option21);
  if (c.option22) store("Option22", c.option22);
  if (c.slider) store("Slider1", c.slider);

  Form_Load(form);

  EXPECT_EQ(dialog.option21, c.expect21);
  EXPECT_EQ(dialog.option22, c.expect22);
  EXPECT_EQ(dialog.slider, c.expectSlider);
  EXPECT_EQ(dialog.frame4Caption, QString::number(c.expectSlider) + "%");
  EXPECT_EQ(dialog.frame4Enabled, c.expectFrameEnabled);
  if (c.failure) {
    ASSERT_EQ(errors.reports.size(), 1u);
    EXPECT_EQ(errors.reports[0],
              FailureReport(c.failure->first, "Form2", "Form_Load", c.failure->second));
  } else {
    EXPECT_TRUE(errors.reports.empty()) << errors.reports[0].toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(
    QualityOptionsTest, QualityOptionsLoad,
    ::testing::Values(
        Stored{"BothTrueFixedWins", "True", "True", nullptr, false, true, 85, true, {}},
        Stored{"BothFalseNeitherSelected", "False", "False", nullptr, false, false, 85, true, {}},
        Stored{"SmartInAnyCase", "tRUE", "false", "70", true, false, 70, false, {}},
        Stored{"NumbersAsBooleans", "0", "-1", "60", false, true, 60, true, {}},
        Stored{"FixedAt1", "False", "True", "1", false, true, 1, true, {}},
        Stored{"RoundedSlider", nullptr, nullptr, "42.5", true, false, 42, false, {}},
        Stored{"SliderAboveTheRange", "False", "True", "250", false, true, 100, true, {}},
        Stored{"SliderBelowTheRange", "False", "True", "-4", false, true, 1, true, {}},
        Stored{"GarbageSmartKeepsItsDesignState", "maybe", nullptr, nullptr, true, false, 85, false,
               std::pair{"Type mismatch", 110}},
        Stored{"GarbageFixedKeepsItsDesignState", "False", "yes", nullptr, false, false, 85, true,
               std::pair{"Type mismatch", 112}},
        Stored{"GarbageSliderKeeps85", "False", "True", "sixty", false, true, 85, true,
               std::pair{"Type mismatch", 114}},
        Stored{"SliderBeyond32Bits", "False", "True", "1e12", false, true, 85, true,
               std::pair{"Overflow", 114}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(QualityOptionsTest, LoadsTheHandPointerFromTheProgramFolder) {
  test::WriteBytes(programFolder.path("HAND-M.CUR"),
                   CursorFileBytes(RenderHandCursor(), kHandHotSpot));
  Form_Load(form);
  ASSERT_TRUE(dialog.cursor);
  EXPECT_EQ(dialog.cursor->hotSpot, kHandHotSpot);
  EXPECT_EQ(dialog.cursor->image.size(), QSize(32, 32));
  EXPECT_TRUE(errors.reports.empty());
}

TEST_F(QualityOptionsTest, AnUnusableHandPointerIsReportedAndTheLoadGoesOn) {
  const QString path = programFolder.path("HAND-M.CUR");
  for (const bool folder : {false, true}) {
    SCOPED_TRACE(folder ? "a folder of that name" : "a damaged file");
    QFile::remove(path);
    if (folder) {
      QDir().mkpath(path);
    } else {
      test::WriteBytes(path, "plain text that is certainly not a cursor");
    }
    errors.reports.clear();
    store("Option22", "True");

    Form_Load(form);

    const QString description =
        folder ? "Cannot read \"" + path + "\": it is a folder"
               : "Invalid picture: not a usable cursor file (the file does not start as a cursor)";
    ASSERT_EQ(errors.reports.size(), 1u);
    EXPECT_EQ(errors.reports[0].toStdString(),
              FailureReport(description, "Form2", "Form_Load", 108).toStdString());
    EXPECT_FALSE(dialog.cursor);
    EXPECT_TRUE(dialog.option22);
    EXPECT_EQ(dialog.frame4Caption, "85%");
  }
}

TEST_F(QualityOptionsTest, OptionClicksStoreBothAndSwitchTheSlidersFrame) {
  dialog.setOption22(true);
  Option22_Click(form);
  EXPECT_EQ(stored("Option21"), "False");
  EXPECT_EQ(stored("Option22"), "True");
  EXPECT_TRUE(dialog.frame4Enabled);

  dialog.setOption21(true);
  Option21_Click(form);
  EXPECT_EQ(stored("Option21"), "True");
  EXPECT_EQ(stored("Option22"), "False");
  EXPECT_FALSE(dialog.frame4Enabled);

  dialog.setSlider1(60);
  Slider1_Change(form);
  EXPECT_EQ(dialog.frame4Caption, "60%");
  EXPECT_EQ(stored("Slider1"), "60");
  EXPECT_TRUE(errors.reports.empty());
}

TEST_F(QualityOptionsTest, AChoiceThatCannotBeStoredIsToldOnceAndStillApplies) {
  useUnwritableStore();
  dialog.setOption22(true);
  Option22_Click(form);
  dialog.setSlider1(60);
  Slider1_Change(form);
  dialog.setSlider1(61);
  Slider1_Change(form);

  ASSERT_EQ(errors.reports.size(), 1u);
  EXPECT_EQ(errors.reports[0], "Cannot store the setting \"Option21\" in \"" +
                                   config.path("plain/config/Fenwright.ini") +
                                   "\": the file or its folder cannot be written\r\nYour choice "
                                   "applies now but cannot be kept for the next run.");
  EXPECT_TRUE(dialog.frame4Enabled);
  EXPECT_EQ(dialog.frame4Caption, "61%");

  doc.JPGQuality = 90;
  PushButton2_Click(form);
  EXPECT_EQ(doc.JPGQuality, 61);
}

struct Leaving {
  const char* name;
  bool option21;
  bool option22;
  int16_t expectQuality;
};

class QualityOptionsBack : public QualityOptionsTest,
                           public ::testing::WithParamInterface<Leaving> {
 protected:
  void choose() {
    dialog.option21 = GetParam().option21;
    dialog.option22 = GetParam().option22;
    dialog.slider = 60;
    doc.JPGQuality = 33;  // a fixed value applied earlier
    doc.PrevQuality = 77;
  }
  void expectApplied() {
    EXPECT_EQ(doc.JPGQuality, GetParam().expectQuality);
    EXPECT_EQ(doc.PrevQuality, 77);
    EXPECT_EQ(dialog.steps, (std::vector<QString>{"show Form1", "hide Form2"}));
    EXPECT_TRUE(errors.reports.empty());
  }
};

TEST_P(QualityOptionsBack, BackAppliesTheMode) {
  choose();
  PushButton2_Click(form);
  expectApplied();
}

TEST_P(QualityOptionsBack, ClosingAppliesTheModeLikeBack) {
  choose();
  Form_QueryUnload(form);
  expectApplied();
}

INSTANTIATE_TEST_SUITE_P(QualityOptionsTest, QualityOptionsBack,
                         ::testing::Values(Leaving{"SmartDetectTakesTheEstimate", true, false, 77},
                                           Leaving{"FixedTakesTheSlider", false, true, 60},
                                           Leaving{"NeitherKeepsTheQuality", false, false, 33}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(QualityOptionsTest, BackBeforeAnyPictureSetsZeroInSmartDetect) {
  // No picture yet: no estimate either. A fixed 60 applied first is dropped again.
  doc.JPGQuality = 0;
  doc.PrevQuality = 0;
  dialog.setOption22(true);
  dialog.setSlider1(60);
  PushButton2_Click(form);
  ASSERT_EQ(doc.JPGQuality, 60);
  dialog.setOption21(true);
  PushButton2_Click(form);
  EXPECT_EQ(doc.JPGQuality, 0);
}

TEST_F(QualityOptionsTest, AFailureInBackIsReportedAndTheDialogStillHides) {
  dialog.failShowingForm1 = true;
  PushButton2_Click(form);
  ASSERT_EQ(errors.reports.size(), 1u);
  EXPECT_EQ(errors.reports[0], FailureReport("Out of memory", "Form2", "PushButton2_Click", 108));
  EXPECT_EQ(dialog.steps, std::vector<QString>{"hide Form2"});
}

TEST_F(QualityOptionsTest, HelpExplainsBothModesUnderTheApplicationTitle) {
  app.Title = "Brindle";
  PushButton8_Click(form);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].first,
            "Smart-Detect will automatically detect the image quality of each input JPG file and "
            "use this information to create a similar quality output JPG file.\r\n\r\nFixed "
            "Quality will use the same image quality for every output JPG file.");
  EXPECT_EQ(messages.shown[0].second, "Brindle");

  // Built from the captions as they stand; every colon goes.
  EXPECT_EQ(HelpText("Auto", "Fixed: Quality::").left(4), "Auto");
  EXPECT_TRUE(HelpText("Auto", "Fixed: Quality::").contains("\r\n\r\nFixed Quality will use"));
}

}  // namespace
}  // namespace brindlewick
