#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

#include "HandCursor.h"
#include "e2e/OrdinaryAccount.h"
#include "e2e/ProgramOnScreen.h"
#include "e2e/WaylandSession.h"
#include "support/TestFiles.h"

namespace brindlewick::e2e {
namespace {

// Where a picture is see-through and how much, which survives the server's premultiplying.
QImage AlphaOf(const QImage& image) {
  return image.convertToFormat(QImage::Format_ARGB32).convertToFormat(QImage::Format_Alpha8);
}

// The desktop entry's keys, from its main group.
std::map<QString, QString> EntryKeys(const QString& path) {
  std::map<QString, QString> keys;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return keys;
  bool inEntry = false;
  for (const QByteArray& raw : file.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.startsWith(QLatin1Char('['))) inEntry = line == QStringLiteral("[Desktop Entry]");
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (inEntry && eq > 0) keys[line.left(eq)] = line.mid(eq + 1);
  }
  return keys;
}

class InstalledProgramTest : public ProgramOnScreen {
 protected:
  // Installs the build under a prefix of the test's own, as `cmake --install` does for a user.
  ::testing::AssertionResult install() {
    const Finished install =
        RunToEnd(QStringLiteral(BRINDLEWICK_CMAKE_COMMAND),
                 {QStringLiteral("--install"), QStringLiteral(BRINDLEWICK_BUILD_DIR),
                  QStringLiteral("--prefix"), prefix});
    if (install.exitCode == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << install.output().toStdString();
  }

  const QString prefix = scratch(QStringLiteral("prefix"));
};

TEST_F(InstalledProgramTest, InstallsWhereDesktopsFindItAndRunsThroughItsLinkFromAnyFolder) {
  ASSERT_TRUE(install());

  // The program keeps a folder of its own; what it reads from there is shared data reached
  // through links, the same files the built program has beside it.
  const QString folder = prefix + QStringLiteral("/lib/brindlewick");
  EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/brindlewick")).isExecutable());
  for (const QString& name :
       {QStringLiteral("Samples/sample1.jpg"), QStringLiteral("HAND-M.CUR")}) {
    const QString shared = prefix + QStringLiteral("/share/brindlewick/") + name;
    EXPECT_TRUE(QFileInfo(shared).isFile()) << name.toStdString();
    EXPECT_EQ(QFileInfo(folder + QLatin1Char('/') + name).canonicalFilePath(),
              QFileInfo(shared).canonicalFilePath())
        << name.toStdString();
    EXPECT_EQ(test::ReadBytes(folder + QLatin1Char('/') + name),
              test::ReadBytes(QStringLiteral(BRINDLEWICK_BUILD_DIR "/") + name))
        << name.toStdString();
  }
  const QFileInfo link(prefix + QStringLiteral("/bin/brindlewick"));
  EXPECT_TRUE(link.isSymLink());
  EXPECT_EQ(link.canonicalFilePath(),
            QFileInfo(folder + QStringLiteral("/brindlewick")).canonicalFilePath());

  // Debian's own files are the package's alone; the manual page names the files under the prefix
  // (a '-' escaped, as roff prints it).
  EXPECT_FALSE(QFileInfo::exists(prefix + QStringLiteral("/share/doc/brindlewick/changelog.gz")));
  EXPECT_FALSE(QFileInfo::exists(prefix + QStringLiteral("/share/doc/brindlewick/copyright")));
  EXPECT_FALSE(QFileInfo::exists(prefix + QStringLiteral("/share/lintian")));
  EXPECT_TRUE(QFileInfo(prefix + QStringLiteral("/share/doc/brindlewick/LICENSE")).isFile());
  const Finished manual = RunToEnd(
      QStringLiteral("gzip"), {"-dc", prefix + QStringLiteral("/share/man/man1/brindlewick.1.gz")});
  const QString roffPrefix = QString(prefix).replace(QLatin1Char('-'), QStringLiteral("\\-"));
  EXPECT_TRUE(
      manual.standardOutput.contains(QStringLiteral("\n.I ") + roffPrefix +
                                     QStringLiteral("/share/brindlewick/Samples/sample1.jpg\n")))
      << manual.output().toStdString();

  // Desktops find the entry, its icon and the AppStream description by the one id.
  const QString id = QStringLiteral(BRINDLEWICK_APP_ID);
  for (int size : {32, 48, 128, 256}) {
    QImageReader icon(prefix + QStringLiteral("/share/icons/hicolor/%1x%1/apps/").arg(size) + id +
                      QStringLiteral(".png"));
    EXPECT_EQ(icon.size(), QSize(size, size)) << size;
  }
  EXPECT_TRUE(
      QFileInfo(prefix + QStringLiteral("/share/metainfo/") + id + QStringLiteral(".metainfo.xml"))
          .isFile());
  const QString entryPath =
      prefix + QStringLiteral("/share/applications/") + id + QStringLiteral(".desktop");
  std::map<QString, QString> entry = EntryKeys(entryPath);
  EXPECT_EQ(entry["Type"], QStringLiteral("Application"));
  EXPECT_EQ(entry["Name"], QStringLiteral("Brindlewick"));
  EXPECT_EQ(entry["Categories"], QStringLiteral("Graphics;2DGraphics;RasterGraphics;"));
  EXPECT_EQ(entry["StartupNotify"], QStringLiteral("true"));
  EXPECT_EQ(entry["StartupWMClass"], QStringLiteral("brindlewick"));
  EXPECT_EQ(entry["Icon"], id);
  EXPECT_EQ(entry["Exec"], prefix + QStringLiteral("/bin/brindlewick %F"));
  EXPECT_EQ(entry["MimeType"], QStringLiteral("image/jpeg;"));
  EXPECT_EQ(entry["TryExec"], prefix + QStringLiteral("/bin/brindlewick"));
  const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
  ASSERT_FALSE(validator.isEmpty())
      << "desktop-file-validate is missing: scripts/install-deps test";
  const Finished validation = RunToEnd(validator, {entryPath});
  EXPECT_EQ(validation.exitCode, 0) << validation.output().toStdString();
  EXPECT_TRUE(validation.output().trimmed().isEmpty()) << validation.output().toStdString();

  // A file manager of a user who sees the prefix offers it for JPEG files, as their only program.
  QProcessEnvironment desktop = x.environment(home());
  desktop.insert(QStringLiteral("XDG_DATA_DIRS"), prefix + QStringLiteral("/share"));
  const Finished mime = RunToEnd(QStringLiteral("gio"), {"mime", "image/jpeg"}, desktop);
  EXPECT_TRUE(mime.standardOutput.contains(": " + id + ".desktop\n"))
      << mime.output().toStdString();

  // Started through the link from an unrelated folder, it shows the hand of its cursor file over
  // the options dialog's buttons and opens the sample, both read from its own folder.
  const QString elsewhere = scratch(QStringLiteral("elsewhere"));
  ASSERT_TRUE(QDir().mkpath(elsewhere));
  ASSERT_TRUE(launch(link.filePath(), elsewhere));
  ASSERT_TRUE(clickMenu(Menu::JPGQuality));
  WindowId options = 0;
  ASSERT_TRUE(x.waitForWindow(QStringLiteral("^Brindlewick$"), &options, 15000, mainWindow));
  // Beside where the click goes: xdotool waits long for a move to where the pointer is already.
  ASSERT_TRUE(x.movePointer(options, kBack + QPoint(20, 0)));
  const QImage hand = RenderHandCursor(32);
  XSession::Pointer pointer;
  EXPECT_TRUE(WaitFor(
      [&] {
        pointer = x.pointer();
        return pointer.hotSpot == kHandHotSpot && AlphaOf(pointer.image) == AlphaOf(hand);
      },
      5000))
      << "the pointer over \"< Back\" is " << pointer.image.width() << " x "
      << pointer.image.height() << " with its hot spot at " << pointer.hotSpot.x() << ", "
      << pointer.hotSpot.y();
  ASSERT_TRUE(x.click(options, kBack));
  ASSERT_TRUE(x.waitForWindow(QStringLiteral("^Brindlewick$"), &mainWindow));
  EXPECT_TRUE(opensTheSampleAndQuitsCleanly());
}

TEST_F(InstalledProgramTest, OpensThePicturesNamedOnItsCommandLineFromSeveralFolders) {
  ASSERT_TRUE(install());
  // A small flat picture in one folder, given by its full path; the sample in another, given
  // relative to the working folder. Only the sample covers the whole view.
  QImage flat(320, 240, QImage::Format_RGB32);
  flat.fill(qRgb(40, 170, 90));
  const QString first = test::WriteJpeg(scratch(QStringLiteral("camera/flat.jpg")), flat);
  const QString working = scratch(QStringLiteral("working"));
  ASSERT_TRUE(QDir().mkpath(working + QStringLiteral("/holiday")));
  ASSERT_TRUE(QFile::copy(prefix + QStringLiteral("/lib/brindlewick/Samples/sample1.jpg"),
                          working + QStringLiteral("/holiday/photo.jpg")));

  ASSERT_TRUE(launch(prefix + QStringLiteral("/bin/brindlewick"), working,
                     {first, QStringLiteral("holiday/photo.jpg")}));
  ASSERT_TRUE(waitForView(ShowsWholePicture, "showed the last picture"));
  EXPECT_TRUE(noErrorBox());

  // Saving is enabled, and saves the view's pixels.
  const QString saved = scratch(QStringLiteral("saved.jpg"));
  ASSERT_TRUE(x.keys(mainWindow, {QStringLiteral("ctrl+s")}));
  ASSERT_TRUE(answerFileDialog(QStringLiteral("Save Image As"), saved));
  EXPECT_EQ(JpegSize(WaitForFileBytes(saved)), kFittedView);

  int exitCode = -1;
  ASSERT_TRUE(closeAndWaitForExit(&exitCode));
  EXPECT_EQ(exitCode, 0);
}

// Natively under a Wayland compositor, with Qt's Wayland plugin: the program shows the photo it
// is given, stays up, tells the compositor the id of its desktop entry, ends cleanly when asked
// to, and has nothing to warn about.
TEST_F(InstalledProgramTest, RunsUnderWaylandWithoutAWarning) {
  ASSERT_TRUE(install());
  WaylandSession wayland;
  ASSERT_TRUE(wayland.start());
  const QRgb green = qRgb(40, 170, 90);
  QImage flat(1200, 900, QImage::Format_RGB32);
  flat.fill(green);
  const QString photo = test::WriteJpeg(scratch(QStringLiteral("photo.jpg")), flat);

  QProcess program;
  QProcessEnvironment env = wayland.environment(home());
  env.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
  program.setProcessEnvironment(env);
  // To a file: the trace would fill a pipe nobody reads while the test waits.
  const QString errors = scratch(QStringLiteral("stderr.log"));
  program.setStandardErrorFile(errors);
  asOrdinaryUser(program);
  program.start(prefix + QStringLiteral("/bin/brindlewick"), {photo});
  ASSERT_TRUE(program.waitForStarted(20000));
  EXPECT_TRUE(RunsAsOrdinaryUser(program.processId()));
  // The fitted photo covers the whole view.
  const auto greenPixels = [&] {
    const QImage shot = wayland.screenshot();
    qsizetype count = 0;
    for (int y = 0; y < shot.height(); ++y) {
      for (int x = 0; x < shot.width(); ++x) {
        const QRgb p = shot.pixel(x, y);
        count += std::abs(qRed(p) - qRed(green)) + std::abs(qGreen(p) - qGreen(green)) +
                     std::abs(qBlue(p) - qBlue(green)) <=
                 6;
      }
    }
    return count;
  };
  const qsizetype view = kFittedView.width() * kFittedView.height();
  EXPECT_TRUE(WaitFor([&] { return greenPixels() >= view * 9 / 10; }, 15000, 100))
      << "the photo never showed: " << greenPixels() << " of " << view << " pixels";
  EXPECT_FALSE(program.waitForFinished(1000)) << "the program ended by itself";
  program.terminate();
  ASSERT_TRUE(program.waitForFinished(20000));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);

  // Apart from the protocol's own trace, stderr is empty.
  const QStringList lines = QString::fromLocal8Bit(test::ReadBytes(errors)).split('\n');
  const QRegularExpression trace(QStringLiteral("^\\[ *\\d+\\.\\d+\\] "));
  for (const QString& line : lines) {
    EXPECT_TRUE(line.isEmpty() || trace.match(line).hasMatch()) << line.toStdString();
  }
  const QString appId =
      QStringLiteral(".set_app_id(\"") + QStringLiteral(BRINDLEWICK_APP_ID) + QStringLiteral("\")");
  EXPECT_TRUE(lines.filter(appId).size() == 1) << "no " << appId.toStdString();
}

}  // namespace
}  // namespace brindlewick::e2e
