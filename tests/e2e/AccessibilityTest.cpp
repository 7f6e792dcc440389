// The program as a screen reader meets it: over the accessibility bus (AT-SPI), on a session bus
// of the test's own, each control found by its role and name.
#include <gtest/gtest.h>

#include <vector>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "e2e/ProgramOnScreen.h"
#include "support/TestFiles.h"

namespace brindlewick::e2e {
namespace {

struct Control {
  QString role;
  QString name;
  QString description;
  QJsonObject all;
};

class AccessibilityTest : public ProgramOnScreen {
 protected:
  void TearDown() override {
    ProgramOnScreen::TearDown();
    if (bus_.state() != QProcess::NotRunning) {
      bus_.terminate();
      bus_.waitForFinished(5000);
    }
  }

  // A session bus for the program and the reader; the accessibility bus starts on it on demand.
  ::testing::AssertionResult startBus() {
    bus_.setProcessEnvironment(x.environment(home()));
    asOrdinaryUser(bus_);  // a session bus takes only its own user's programs
    bus_.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--session"), QStringLiteral("--nofork"),
                QStringLiteral("--print-address=1")});
    QByteArray address;
    const bool started = WaitFor(
        [&] {
          bus_.waitForReadyRead(100);
          address += bus_.readAllStandardOutput();
          return address.contains('\n') || bus_.state() == QProcess::NotRunning;
        },
        15000);
    if (!started || !address.contains('\n')) {
      return ::testing::AssertionFailure() << "dbus-daemon gave no address";
    }
    address_ = QString::fromLatin1(address.trimmed());
    environmentAdded.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    environmentAdded.insert(QStringLiteral("QT_ACCESSIBILITY"), QStringLiteral("1"));
    // No screen reader runs, so Qt is told to show its controls on the bus all the same.
    environmentAdded.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"),
                            QStringLiteral("1"));
    return ::testing::AssertionSuccess();
  }

  // The reader's environment: the program's session bus, which takes only its own user's
  // programs, so the reader runs as the program does.
  QProcessEnvironment readerEnvironment() const {
    QProcessEnvironment env = x.environment(home());
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    return env;
  }

  Finished probe(const QStringList& args) {
    return RunToEnd(kProbe, QStringList{QStringLiteral("brindlewick")} + args, readerEnvironment(),
                    As::OrdinaryUser);
  }

  // The controls shown on screen now, as the reader lists them.
  std::vector<Control> shownControls() {
    const Finished tree = probe({QStringLiteral("tree")});
    EXPECT_EQ(tree.exitCode, 0) << tree.output().toStdString();
    std::vector<Control> controls;
    for (const QString& line : tree.standardOutput.split('\n', Qt::SkipEmptyParts)) {
      const QJsonObject node = QJsonDocument::fromJson(line.toUtf8()).object();
      if (!node[QStringLiteral("showing")].toBool()) continue;
      controls.push_back({node[QStringLiteral("role")].toString(),
                          node[QStringLiteral("name")].toString(),
                          node[QStringLiteral("description")].toString(), node});
    }
    return controls;
  }

  // Starts the reader listening for the descriptions the program announces.
  ::testing::AssertionResult listen(QProcess& reader) {
    reader.setProcessEnvironment(readerEnvironment());
    asOrdinaryUser(reader);
    reader.start(kProbe,
                 {QStringLiteral("brindlewick"), QStringLiteral("listen"), QStringLiteral("60")});
    if (WaitFor([&] { return reader.waitForReadyRead(100) && reader.canReadLine(); }, 15000) &&
        reader.readLine().trimmed() == "listening") {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "the reader never listened: " << reader.readAllStandardError().toStdString();
  }

  // The view's descriptions the reader has heard since last asked, in order.
  static QStringList heard(QProcess& reader) {
    QStringList descriptions;
    reader.waitForReadyRead(200);
    while (reader.canReadLine()) {
      const QJsonObject node = QJsonDocument::fromJson(reader.readLine()).object();
      if (node[QStringLiteral("role")].toString() == QStringLiteral("image")) {
        descriptions << node[QStringLiteral("description")].toString();
      }
    }
    return descriptions;
  }

  static inline const QString kProbe =
      QStringLiteral(BRINDLEWICK_SOURCE_DIR "/tests/e2e/atspi-probe");
  QString address_;

 private:
  QProcess bus_;
};

const Control* Find(const std::vector<Control>& controls, const QString& role,
                    const QString& name) {
  for (const Control& control : controls) {
    if (control.role == role && control.name == name) return &control;
  }
  return nullptr;
}

TEST_F(AccessibilityTest, AReaderFindsEveryControlReadsTheQualityAndRunsACommand) {
  // A quality chosen earlier, so the value read is the stored one and not the default.
  test::WriteBytes(home() + QStringLiteral("/.config/Fenwright.ini"),
                   "[Brindlewick]\nOption21=False\nOption22=True\nSlider1=37\n");
  ASSERT_TRUE(startBus());
  ASSERT_TRUE(launch(QStringLiteral(BRINDLEWICK_PROGRAM), home()));

  std::vector<Control> controls = shownControls();
  const Control* view = Find(controls, QStringLiteral("image"), QStringLiteral("Picture"));
  ASSERT_TRUE(view);
  EXPECT_TRUE(view->description.contains(QStringLiteral("drag")))
      << view->description.toStdString();
  ASSERT_TRUE(Find(controls, QStringLiteral("menu bar"), QStringLiteral("Commands")));
  for (const auto& [caption, key] :
       {std::pair{"Select Picture", "Ctrl+O"}, std::pair{"Go Back/Undo", "Ctrl+Z"},
        std::pair{"Save Image", "Ctrl+S"}, std::pair{"Output JPG Quality", "Ctrl+J"},
        std::pair{"Load Sample", "Ctrl+L"}}) {
    const Control* command =
        Find(controls, QStringLiteral("menu item"), QString::fromLatin1(caption));
    ASSERT_TRUE(command) << caption;
    EXPECT_FALSE(command->description.isEmpty()) << caption;
    EXPECT_EQ(command->all[QStringLiteral("keys")].toArray().first().toString(),
              QString::fromLatin1(key))
        << caption;
  }

  // The command runs through its accessible action: the options dialog takes the window's place.
  const Finished pressed = probe({QStringLiteral("press"), QStringLiteral("Output JPG Quality")});
  ASSERT_EQ(pressed.exitCode, 0) << pressed.output().toStdString();
  WindowId options = 0;
  ASSERT_TRUE(x.waitForWindow(QStringLiteral("^Brindlewick$"), &options, 15000, mainWindow));
  ASSERT_TRUE(x.waitUntilHidden(mainWindow));

  controls = shownControls();
  for (const auto& [role, name] :
       {std::pair{"dialog", "Output JPG Quality"}, std::pair{"panel", "Output JPG Quality Option"},
        std::pair{"radio button", "Smart-Detect"}, std::pair{"radio button", "Fixed Quality"},
        std::pair{"push button", "Help"}, std::pair{"panel", "Fixed quality"},
        std::pair{"slider", "Quality"}, std::pair{"push button", "Back"}}) {
    const Control* control = Find(controls, QLatin1String(role), QLatin1String(name));
    ASSERT_TRUE(control) << role << " " << name;
    EXPECT_FALSE(control->description.isEmpty()) << name;
  }
  EXPECT_EQ(Find(controls, QStringLiteral("slider"), QStringLiteral("Quality"))
                ->all[QStringLiteral("value")]
                .toDouble(),
            37);
}

// The selection is spoken: its size and place, each change announced as the keys make it.
TEST_F(AccessibilityTest, AReaderHearsTheSelectionsSizeAndPlaceAsTheKeysChangeIt) {
  ASSERT_TRUE(startBus());
  ASSERT_TRUE(launch(QStringLiteral(BRINDLEWICK_PROGRAM), home()));
  ASSERT_TRUE(x.keys(mainWindow, {QStringLiteral("ctrl+l")}));
  ASSERT_TRUE(waitForView(ShowsWholePicture, "showed the sample"));
  QProcess reader;
  ASSERT_TRUE(listen(reader));
  // Each press shrinks the selection, so each is a change to announce once the program has
  // learnt of the reader and the opened picture takes the keys.
  QStringList spoken;
  ASSERT_TRUE(WaitFor(
      [&] {
        (void)x.keys(mainWindow, {QStringLiteral("shift+Left")});
        spoken += heard(reader);
        return !spoken.isEmpty();
      },
      15000))
      << "no change of the view's description was announced";

  ASSERT_TRUE(x.keys(mainWindow, {QStringLiteral("ctrl+a"), QStringLiteral("ctrl+shift+Left"),
                                  QStringLiteral("shift+Up"), QStringLiteral("ctrl+Right"),
                                  QStringLiteral("Down")}));
  const QSize view = fittedView();
  const QString last =
      QStringLiteral("Selection of %1 x %2 pixels, 10 from the left and 1 from the top.")
          .arg(view.width() - 10)
          .arg(view.height() - 1);
  ASSERT_TRUE(WaitFor([&] { return (spoken += heard(reader)).endsWith(last); }, 10000))
      << spoken.join(QLatin1Char('\n')).toStdString();
  EXPECT_TRUE(spoken.contains(
      QStringLiteral("Selection of %1 x %2 pixels, 0 from the left and 0 from the top.")
          .arg(view.width())
          .arg(view.height())));
  const Control* image = Find(shownControls(), QStringLiteral("image"), QStringLiteral("Picture"));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->description, last);

  // Return crops, and the description goes back to how to select.
  ASSERT_TRUE(x.keys(mainWindow, {QStringLiteral("Return")}));
  ASSERT_TRUE(WaitFor(
      [&] { return (spoken += heard(reader)).last().contains(QStringLiteral("drag")); }, 10000));
  reader.kill();
  reader.waitForFinished();
}

}  // namespace
}  // namespace brindlewick::e2e
