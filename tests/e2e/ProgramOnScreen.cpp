#include "e2e/ProgramOnScreen.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <utility>

#include <QDir>
#include <QFile>

#include "e2e/OrdinaryAccount.h"
#include "platform/jpeg/JpegDecoder.h"
#include "support/Decoding.h"

namespace brindlewick::e2e {
namespace {

bool Differs(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
             std::abs(qBlue(a) - qBlue(b)) >
         60;
}

// Captions on the bar are separated by much more than the space between two words.
constexpr int kWordGap = 7;

QString TestName() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return QString::fromLatin1(info->test_suite_name()) + QLatin1Char('.') +
         QString::fromLatin1(info->name());
}

}  // namespace

// Takes the picture of the screen at the first failed check, while the program still shows what
// went wrong.
class ProgramOnScreen::ScreenAtFailure : public ::testing::EmptyTestEventListener {
 public:
  explicit ScreenAtFailure(XSession& session) : session_(session) {}
  void OnTestPartResult(const ::testing::TestPartResult& result) override {
    if (result.failed() && shot.isNull()) shot = session_.screenshot();
  }
  QImage shot;

 private:
  XSession& session_;
};

bool ShowsWholePicture(const QImage& view) {
  const QRect r = view.rect();
  if (r.isEmpty()) return false;
  for (QPoint p : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()}) {
    if (view.pixel(p) == qRgb(255, 255, 255)) return false;
  }
  return true;
}

QByteArray WaitForFileBytes(const QString& path) {
  QByteArray bytes;
  WaitFor(
      [&] {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return false;
        bytes = file.readAll();
        return !bytes.isEmpty();
      },
      15000, 50);
  return bytes;
}

Finished RunToEnd(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                  As as) {
  QProcess process;
  process.setProcessEnvironment(env);
  if (as == As::OrdinaryUser) RunAsOrdinaryUser(process);
  process.start(program, args);
  Finished result;
  if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit) {
    result.exitCode = process.exitCode();
  } else {
    process.kill();
    process.waitForFinished(5000);
  }
  result.standardOutput = QString::fromLocal8Bit(process.readAllStandardOutput());
  result.standardError = QString::fromLocal8Bit(process.readAllStandardError());
  return result;
}

QSize JpegSize(const QByteArray& jpeg) { return test::DecodeJpeg(jpeg).pixels().size(); }

void ProgramOnScreen::SetUp() {
  ASSERT_TRUE(home_.isValid());
  ASSERT_TRUE(scratch_.isValid());
  outputFolder_ = QStringLiteral(BRINDLEWICK_E2E_OUTPUT_DIR);
  QDir().mkpath(outputFolder_);
  ASSERT_TRUE(x.start(QSize(1280, 1024) * scaleFactor));
  screenAtFailure_ = new ScreenAtFailure(x);
  ::testing::UnitTest::GetInstance()->listeners().Append(screenAtFailure_);
}

void ProgramOnScreen::TearDown() {
  const QString base = outputFolder_ + QLatin1Char('/') + TestName();
  std::unique_ptr<ScreenAtFailure> listener(std::exchange(screenAtFailure_, nullptr));
  if (listener) ::testing::UnitTest::GetInstance()->listeners().Release(listener.get());
  if (HasFailure()) {
    const QImage shot = listener && !listener->shot.isNull() ? listener->shot : x.screenshot();
    if (SavePng(shot, base + QStringLiteral(".png"))) {
      std::printf("The screen at the failure: %s.png\n", qPrintable(base));
    }
  } else {
    QFile::remove(base + QStringLiteral(".png"));
  }
  if (program_.state() != QProcess::NotRunning) {
    program_.kill();
    program_.waitForFinished(5000);
  }
  if (HasFailure()) std::printf("The program's output: %s.log\n", qPrintable(base));
}

::testing::AssertionResult ProgramOnScreen::launch(const QString& program,
                                                   const QString& workingFolder,
                                                   const QStringList& arguments) {
  QProcessEnvironment environment = x.environment(home());
  if (scaleFactor != 1) {
    environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(scaleFactor));
  }
  environment.insert(environmentAdded);
  program_.setProcessEnvironment(environment);
  asOrdinaryUser(program_);
  program_.setWorkingDirectory(workingFolder);
  program_.setProcessChannelMode(QProcess::MergedChannels);
  program_.setStandardOutputFile(outputFolder_ + QLatin1Char('/') + TestName() +
                                 QStringLiteral(".log"));
  program_.start(program, arguments);
  if (!program_.waitForStarted(20000)) {
    return ::testing::AssertionFailure() << "cannot start " << program.toStdString() << ": "
                                         << program_.errorString().toStdString();
  }
  if (!RunsAsOrdinaryUser(program_.processId())) {
    return ::testing::AssertionFailure() << "the program does not run as an ordinary user";
  }
  if (auto shown = x.waitForWindow(QStringLiteral("^Brindlewick$"), &mainWindow); !shown) {
    return shown;
  }
  return readMenuBar();
}

::testing::AssertionResult ProgramOnScreen::readMenuBar() {
  // The pointer stays off the bar, which highlights the caption under it.
  if (auto moved = x.movePointer(mainWindow, {300, 300}); !moved) return moved;
  // Read once the window has painted: the client area below the bar is white.
  QImage shot;
  const bool painted = WaitFor(
      [&] {
        shot = x.grab(mainWindow);
        if (shot.height() < 100) return false;
        menuBarHeight = 0;
        while (menuBarHeight < 60 && shot.pixel(2, menuBarHeight) != qRgb(255, 255, 255)) {
          ++menuBarHeight;
        }
        return menuBarHeight > 4 && menuBarHeight < 60;
      },
      15000, 50);
  if (!painted)
    return ::testing::AssertionFailure() << "the main window never painted its menu bar";

  // Columns with ink on them: anything unlike the bar's own colour at the right end of the row.
  std::vector<bool> ink(size_t(shot.width()), false);
  for (int y = 1; y + 1 < menuBarHeight; ++y) {
    const QRgb background = shot.pixel(shot.width() - 1, y);
    if (Differs(shot.pixel(2, y), background)) continue;  // a border line, thicker when scaled
    for (int x = 0; x < shot.width(); ++x) {
      if (Differs(shot.pixel(x, y), background)) ink[size_t(x)] = true;
    }
  }
  menuItems.clear();
  const int wordGap = qRound(kWordGap * scaleFactor);
  int gap = wordGap + 1;
  for (int x = 0; x < shot.width(); ++x) {
    if (!ink[size_t(x)]) {
      ++gap;
      continue;
    }
    if (gap > wordGap) {
      menuItems.push_back(QRect(x, 0, 1, menuBarHeight));
    } else {
      menuItems.back().setRight(x);
    }
    gap = 0;
  }
  if (menuItems.size() != 5) {
    return ::testing::AssertionFailure()
           << "the menu bar shows " << menuItems.size() << " captions instead of 5";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult ProgramOnScreen::clickMenu(Menu command) {
  if (auto clean = noErrorBox(); !clean) return clean;
  return x.click(mainWindow, menuItems[size_t(command)].center());
}

QImage ProgramOnScreen::viewImage() {
  return x.grab(mainWindow)
      .copy(QRect(kViewOrigin * scaleFactor + QPoint(0, menuBarHeight), fittedView()));
}

// The first client area of 693 x 500 logical pixels less the layout's margin of 15, both in the
// screen's pixels.
QSize ProgramOnScreen::fittedView() const {
  const auto side = [this](int logical) {
    return int(std::nearbyint(qRound(logical * scaleFactor) - 15 * scaleFactor));
  };
  return {side(693), side(500)};
}

::testing::AssertionResult ProgramOnScreen::answerFileDialog(const QString& title,
                                                             const QString& path) {
  WindowId dialog = 0;
  if (auto shown = x.waitForWindow(QLatin1Char('^') + title + QLatin1Char('$'), &dialog); !shown) {
    return shown;
  }
  if (auto typed = x.type(dialog, path); !typed) return typed;
  // The name field may be showing its completion list, which takes the first Return.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (auto pressed = x.keys(dialog, {QStringLiteral("Return")}); !pressed) {
      return x.isViewable(dialog) ? pressed : ::testing::AssertionSuccess();
    }
    if (x.waitUntilHidden(dialog, 3000)) return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "the dialog \"" << title.toStdString() << "\" did not take " << path.toStdString();
}

void ProgramOnScreen::asOrdinaryUser(QProcess& process) {
  EXPECT_TRUE(GiveToOrdinaryUser(home()));
  EXPECT_TRUE(GiveToOrdinaryUser(scratch_.path()));
  RunAsOrdinaryUser(process);
}

::testing::AssertionResult ProgramOnScreen::noErrorBox() {
  if (x.visibleWindows(QStringLiteral("^Application Error$")).empty()) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "an error box is on the screen";
}

::testing::AssertionResult ProgramOnScreen::closeAndWaitForExit(int* exitCode) {
  if (auto asked = x.requestClose(mainWindow); !asked) return asked;
  if (!program_.waitForFinished(20000)) {
    return ::testing::AssertionFailure() << "the program did not end when its window closed";
  }
  if (program_.exitStatus() != QProcess::NormalExit) {
    return ::testing::AssertionFailure() << "the program crashed";
  }
  *exitCode = program_.exitCode();
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult ProgramOnScreen::opensTheSampleAndQuitsCleanly() {
  if (auto clicked = clickMenu(Menu::LoadSample); !clicked) return clicked;
  if (auto shown = waitForView(ShowsWholePicture, "showed the sample"); !shown) return shown;
  if (auto clean = noErrorBox(); !clean) return clean;
  int exitCode = -1;
  if (auto ended = closeAndWaitForExit(&exitCode); !ended) return ended;
  if (exitCode != 0) return ::testing::AssertionFailure() << "the program ended with " << exitCode;
  return ::testing::AssertionSuccess();
}

}  // namespace brindlewick::e2e
