#include "output/SaveCommand.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include "platform/errors/Trap.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/surface/Picture.h"
#include "support/Decoding.h"
#include "support/Fakes.h"
#include "support/FileSystem.h"
#include "support/TestFiles.h"
#include "view/OpenCommands.h"

namespace brindlewick {
namespace {

using test::Contents;
using test::FileSizeLimit;
using test::InChild;
using test::Snapshot;

QString SaveFailed(int status) {
  return FailureReport("Cannot save the image. GDI+ Error:" + QString::number(status), "Form1",
                       "mnuSave_Click", 110);
}

bool IsJpeg(const QString& path) { return QImageReader(path).format() == "jpeg"; }

class SaveCommandTest : public ::testing::Test {
 public:
  SaveCommandTest() : h(folder.path("app")) {
    h.layOut();
    QDir().mkpath(out());
    showInView(test::SmoothImage(300, 200));
    h.doc.JPGQuality = 95;
  }

  QString out(const QString& name = {}) const {
    return folder.path(name.isEmpty() ? QString("out") : "out/" + name);
  }
  void showInView(const QImage& image) {
    h.doc.Picture1.setSize(image.width(), image.height());
    h.doc.Picture1.setPicture(Picture(image));
  }
  void saveAs(const QString& name) {
    h.dialog.answers = {name};
    mnuSave_Click(h.save);
  }
  QImage saved(const QString& path) const { return test::DecodeJpeg(Contents(path)).pixels(); }

  test::TempFolder folder;
  test::Form1Harness h;
};

TEST_F(SaveCommandTest, WritesTheFittedViewAtItsSizeAndChangesNothingElse) {
  h.layOut();
  const QString picture =
      test::WriteJpeg(folder.path("big.jpg"), test::SmoothImage(1000, 700), {.quality = 97});
  h.dialog.answers = {picture};
  mnuSelectPicture_Click(h.open);
  h.doc.JPGQuality = 95;
  h.dialog.FileName = "left over from before";
  const QImage view = h.doc.Picture1.canvas();
  ASSERT_EQ(view.size(), QSize(678, 485));

  saveAs(out("fitted.jpg"));

  ASSERT_EQ(h.dialog.shown.size(), 2u);
  EXPECT_TRUE(h.dialog.shown[1].save);
  EXPECT_EQ(h.dialog.shown[1].title, "Save Image As");
  EXPECT_EQ(h.dialog.shown[1].filter, "JPEG Image (*.jpg;*.jpeg)|*.jpg;*.jpeg");
  EXPECT_EQ(h.dialog.shown[1].proposedName, "");
  EXPECT_TRUE(h.errors.reports.empty());
  const QImage written = saved(out("fitted.jpg"));
  EXPECT_EQ(written.size(), QSize(678, 485));
  EXPECT_GE(test::Psnr(written, view), 35);

  EXPECT_EQ(h.doc.Picture1.canvas(), view);
  EXPECT_EQ(h.doc.JPGQuality, 95);
  EXPECT_EQ(h.doc.Tag, picture);
  EXPECT_TRUE(h.window.isMenuEnabled(MenuCommand::Save));
  EXPECT_FALSE(h.window.isMenuEnabled(MenuCommand::Undo));
  EXPECT_EQ(h.loader.loaded.size(), 1);  // never goes back to the file
}

TEST_F(SaveCommandTest, WritesAShrunkenViewAsItIsDrawn) {
  const Picture whole = h.doc.Picture1.image();
  h.doc.Picture1.setSize(120, 70);
  h.doc.Picture1.setPicture({});
  h.doc.Picture1.paintPicture(whole, 0, 0, 120, 70, 90, 40, 120, 70);

  saveAs(out("cropped.jpg"));

  EXPECT_TRUE(h.errors.reports.empty());
  EXPECT_GE(test::Psnr(saved(out("cropped.jpg")), h.doc.Picture1.canvas()), 35);
}

TEST_F(SaveCommandTest, CancellingWritesNothingAndSaysNothing) {
  saveAs("");
  EXPECT_EQ(h.dialog.shown.size(), 1u);
  EXPECT_TRUE(h.errors.reports.empty());
  EXPECT_TRUE(h.imaging.calls.isEmpty());
  EXPECT_TRUE(Snapshot(out()).empty());
}

TEST_F(SaveCommandTest, UsesTheNameExactlyAsTheDialogReturnsIt) {
  for (const QString& name : QStringList{"no extension", "picture.png", "Größe 1.JPEG"}) {
    saveAs(out(name));
    EXPECT_TRUE(IsJpeg(out(name))) << name.toStdString();
  }
  EXPECT_TRUE(h.errors.reports.empty());
  EXPECT_EQ(Snapshot(out()).size(), 3u);  // nothing added to the names, no leftovers
}

TEST_F(SaveCommandTest, ReplacesAnExistingFileKeepingItsPermissions) {
  test::WriteBytes(out("old.jpg"), "the old file");
  // Not what a new file gets under any usual umask.
  ASSERT_EQ(::chmod(QFile::encodeName(out("old.jpg")).constData(), 0604), 0);
  saveAs(out("old.jpg"));
  const QByteArray first = Contents(out("old.jpg"));
  saveAs(out("old.jpg"));

  EXPECT_TRUE(h.errors.reports.empty());
  EXPECT_TRUE(IsJpeg(out("old.jpg")));
  EXPECT_EQ(Contents(out("old.jpg")), first);  // the same pixels at the same quality
  struct stat info {};
  ASSERT_EQ(::stat(QFile::encodeName(out("old.jpg")).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0604u);
  EXPECT_EQ(Snapshot(out()).size(), 1u);
}

TEST_F(SaveCommandTest, SavingThroughALinkReplacesTheFileItPointsTo) {
  test::WriteBytes(out("real.jpg"), "old");
  ASSERT_TRUE(QFile::link(out("real.jpg"), out("link.jpg")));

  saveAs(out("link.jpg"));

  EXPECT_TRUE(h.errors.reports.empty());
  EXPECT_TRUE(QFileInfo(out("link.jpg")).isSymLink());
  EXPECT_TRUE(IsJpeg(out("real.jpg")));
  EXPECT_EQ(Snapshot(out()).size(), 2u);
}

// A save that cannot be done: `prepare` sets the scene in the output folder and returns the
// name to answer the dialog with; the report names `status`, and the folder stays as it was.
struct RefusedCase {
  const char* name;
  std::function<QString(SaveCommandTest&)> prepare;
  int status;
};

class SaveCommandRefusalTest : public SaveCommandTest,
                               public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(SaveCommandRefusalTest, ReportsTheCauseAtLine110AndLeavesEverythingAsItWas) {
  const QString target = GetParam().prepare(*this);
  if (target.isEmpty()) GTEST_SKIP() << "this system does not allow the scene";
  const auto before = Snapshot(out());

  saveAs(target);

  EXPECT_EQ(h.errors.reports, std::vector<QString>{SaveFailed(GetParam().status)});
  EXPECT_EQ(Snapshot(out()), before);
  EXPECT_TRUE(h.imaging.calls.endsWith("GdiplusShutdown"));
}

using S = SaveCommandTest;
INSTANTIATE_TEST_SUITE_P(
    Causes, SaveCommandRefusalTest,
    ::testing::Values(
        RefusedCase{"FolderDoesNotExist", [](S& t) { return t.out("missing/picture.jpg"); }, 10},
        RefusedCase{"FileWhereAFolderShouldBe",
                    [](S& t) {
                      test::WriteBytes(t.out("notes.txt"), "keep me");
                      return t.out("notes.txt/picture.jpg");
                    },
                    10},
        RefusedCase{"NameTooLong",
                    [](S& t) { return t.out(QString(300, QLatin1Char('n')) + ".jpg"); }, 23},
        RefusedCase{"FolderAtTarget",
                    [](S& t) {
                      QDir().mkpath(t.out("picture.jpg"));
                      return t.out("picture.jpg");
                    },
                    22},
        RefusedCase{"PipeAtTarget",
                    [](S& t) {
                      ::mkfifo(QFile::encodeName(t.out("picture.jpg")).constData(), 0644);
                      return t.out("picture.jpg");
                    },
                    22},
        RefusedCase{"SocketAtTarget",
                    [](S& t) {
                      sockaddr_un address{};
                      address.sun_family = AF_UNIX;
                      const QByteArray path = QFile::encodeName(t.out("picture.jpg"));
                      if (size_t(path.size()) >= sizeof address.sun_path) return QString();
                      std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
                      const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                      const int bound =
                          ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
                      ::close(fd);
                      return bound == 0 ? t.out("picture.jpg") : QString();
                    },
                    22},
        RefusedCase{"DeviceAtTarget",
                    [](S& t) {
                      // The same device as /dev/null, made here so no test ever aims at a
                      // device the system uses.
                      const int made = ::mknod(QFile::encodeName(t.out("picture.jpg")).constData(),
                                               S_IFCHR | 0666, makedev(1, 3));
                      return made == 0 ? t.out("picture.jpg") : QString();
                    },
                    22},
        RefusedCase{"EmptyView",
                    [](S& t) {
                      t.h.doc.Picture1.setSize(0, 0);
                      return t.out("picture.jpg");
                    },
                    2},
        RefusedCase{"QualityAboveTheEncodersScale",
                    [](S& t) {
                      t.h.doc.JPGQuality = 255;
                      return t.out("picture.jpg");
                    },
                    2}),
    [](const auto& info) { return std::string(info.param.name); });

class SaveCommandOverflowTest : public SaveCommandTest,
                                public ::testing::WithParamInterface<int16_t> {};

TEST_P(SaveCommandOverflowTest, AQualityThatIsNoByteOverflowsBeforeTheLibraryStarts) {
  h.doc.JPGQuality = GetParam();
  saveAs(out("picture.jpg"));
  EXPECT_EQ(h.errors.reports,
            std::vector<QString>{FailureReport("Overflow", "Form1", "mnuSave_Click", 110)});
  EXPECT_TRUE(h.imaging.calls.isEmpty());
  EXPECT_TRUE(Snapshot(out()).empty());
}

INSTANTIATE_TEST_SUITE_P(Qualities, SaveCommandOverflowTest,
                         ::testing::Values(int16_t(300), int16_t(256), int16_t(-1),
                                           int16_t(-32768)));

TEST_F(SaveCommandTest, AFailingLibraryIsReportedAndTheWindowStaysAsItWas) {
  h.doc.Tag = "/pictures/a.jpg";
  const QImage view = h.doc.Picture1.canvas();
  h.imaging.saveStatus = 1;

  saveAs(out("picture.jpg"));

  EXPECT_EQ(h.errors.reports, std::vector<QString>{SaveFailed(1)});
  EXPECT_EQ(h.imaging.calls.size(), 5);  // disposed and shut down all the same
  EXPECT_EQ(h.doc.Picture1.canvas(), view);
  EXPECT_EQ(h.doc.JPGQuality, 95);
  EXPECT_EQ(h.doc.Tag, "/pictures/a.jpg");
  EXPECT_TRUE(Snapshot(out()).empty());
}

// Root writes through permission bits, so this gives them up in a child process first.
TEST_F(SaveCommandTest, AFolderWeMayNotWriteIsReportedAndTheOldFileStays) {
  ASSERT_EQ(::chmod(QFile::encodeName(folder.path()).constData(), 0755), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(out()).constData(), 0755), 0);
  test::WriteBytes(out("picture.jpg"), "the old file");
  ASSERT_EQ(::chmod(QFile::encodeName(out()).constData(), 0555), 0);
  const auto before = Snapshot(out());

  const QByteArray reports = InChild([&]() -> QByteArray {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      return "SKIP cannot give up root";
    }
    saveAs(out("picture.jpg"));
    return h.errors.reports.empty() ? QByteArray() : h.errors.reports[0].toUtf8();
  });
  ::chmod(QFile::encodeName(out()).constData(), 0755);
  if (reports.startsWith("SKIP")) GTEST_SKIP() << reports.toStdString();

  EXPECT_EQ(QString::fromUtf8(reports), SaveFailed(12));
  EXPECT_EQ(Snapshot(out()), before);
}

TEST_F(SaveCommandTest, NoRoomForTheFileIsReportedAndTheOldFileStays) {
  showInView(test::PatternImage(300, 200));  // far more than 4 KiB as a JPEG
  test::WriteBytes(out("picture.jpg"), "the old file");
  const auto before = Snapshot(out());
  {
    FileSizeLimit limit(4096);
    saveAs(out("picture.jpg"));
  }
  EXPECT_EQ(h.errors.reports, std::vector<QString>{SaveFailed(21)});
  EXPECT_EQ(Snapshot(out()), before);
}

// The same on a real full disk: a 64 KiB file system, mounted where only a child process sees
// it, filled up but for the old file.
TEST_F(SaveCommandTest, AFullDiskIsReportedAndTheOldFileStays) {
  showInView(test::PatternImage(300, 200));
  QDir().mkpath(folder.path("disk"));
  const QString disk = folder.path("disk");

  const QByteArray result = InChild([&]() -> QByteArray {
    const QByteArray mountPoint = QFile::encodeName(disk);
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") != 0) {
      return QByteArray("SKIP cannot mount a file system: ") + std::strerror(errno);
    }
    test::WriteBytes(disk + "/picture.jpg", "the old file");
    const int filler = ::open((mountPoint + "/filler").constData(), O_WRONLY | O_CREAT, 0644);
    const QByteArray block(4096, 'x');
    while (::write(filler, block.constData(), size_t(block.size())) > 0) {
    }
    ::close(filler);
    const auto before = Snapshot(disk);
    saveAs(disk + "/picture.jpg");
    const bool unchanged = Snapshot(disk) == before;
    return (h.errors.reports.empty() ? QByteArray() : h.errors.reports[0].toUtf8()) +
           (unchanged ? "\nunchanged" : "\nchanged");
  });
  if (result.startsWith("SKIP")) GTEST_SKIP() << result.toStdString();

  EXPECT_EQ(QString::fromUtf8(result), SaveFailed(21) + "\nunchanged");
}

}  // namespace
}  // namespace brindlewick
