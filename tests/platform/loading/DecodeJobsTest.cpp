#include "platform/loading/DecodeJobs.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>

#include <QFile>

#include "JpegVariants.h"
#include "platform/files/FileStatus.h"
#include "support/FileSystem.h"
#include "support/GatedCodec.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

// Where a decode runs tells whose it is: a display's on the loading thread, a head start's or a
// prepare's on the worker.
constexpr auto Display = test::GatedCodec::Display;
constexpr auto Worker = test::GatedCodec::Worker;

class DecodeJobsTest : public ::testing::Test {
 protected:
  DecodeJobsTest() {
    a = test::Settled(test::WriteJpeg(folder.path("a.jpg"), test::SmoothImage(800, 600)));
    b = test::Settled(test::WriteJpeg(folder.path("b.jpg"), test::SmoothImage(640, 480)));
  }
  Picture load(const QString& path, QSizeF painted, int threads = 4) {
    return jobs.LoadPicture(path, {[painted](QSize) { return painted; }, threads}).picture;
  }
  std::future<Picture> loadBeside(const QString& path, QSizeF painted) {
    return std::async(std::launch::async, [=, this] { return load(path, painted); });
  }

  test::TempFolder folder;
  QString a, b;
  std::shared_ptr<test::GatedCodec> codec = std::make_shared<test::GatedCodec>();
  // The largest view paints a picture at half its natural size.
  DecodeJobs jobs{codec, [](QSize natural) { return QSizeF(natural) / 2; }};
};

TEST_F(DecodeJobsTest, ADoneJobThatCoversIsHandedOutAndAFileIsReadOncePerOpen) {
  codec->hold(Worker, 0);  // the prepare, until the display is done, which it would otherwise race
  EXPECT_EQ(load(a, {100, 75}).pixels().size(), QSize(100, 75));
  codec->release(Worker, 0);
  jobs.waitUntilIdle();
  ASSERT_EQ(codec->decodes(Display).size(), 1u);
  ASSERT_EQ(codec->decodes(Worker).size(), 1u);  // beside the display
  const Picture grown = load(a, {390, 292});
  EXPECT_EQ(grown.pixels().size(), QSize(400, 300));
  EXPECT_EQ(grown.naturalSize(), QSize(800, 600));
  EXPECT_EQ(load(a, {50, 37}).pixels().size(), QSize(400, 300));
  EXPECT_EQ(codec->decodes(Display).size(), 1u);
  EXPECT_EQ(codec->decodes(Worker).size(), 1u);
  EXPECT_EQ(codec->headers(), 1);

  test::WriteJpeg(a, test::SmoothImage(600, 800));
  EXPECT_EQ(load(a, {75, 100}).naturalSize(), QSize(600, 800));
  EXPECT_EQ(codec->headers(), 2);
}

// A file whose identity changed is read anew: rewritten within the same second, edited in place
// with its size and times set back (as `exiftool -P` does; only the change time moves), or
// replaced by another. So is one read within the tick of the file clock in which it last changed.
TEST_F(DecodeJobsTest, AFileIsReadAgainUnlessItKeptTheIdentityItWasReadWith) {
  const QByteArray plain = test::JpegBytes(test::SmoothImage(40, 20));
  const QString path = folder.path("c.jpg");
  const auto write = [&](int orientation) {
    test::WriteBytes(path, variants::WithExifOrientation(plain, orientation));
    test::SetModified(path, 1700000000, 0);
  };
  write(1);
  EXPECT_EQ(load(test::Settled(path), {}).naturalSize(), QSize(40, 20));
  write(6);
  EXPECT_EQ(load(path, {}).naturalSize(), QSize(20, 40));
  const QString other = test::WriteJpeg(folder.path("d.jpg"), test::SmoothImage(30, 30));
  ASSERT_TRUE(QFile::remove(path) && QFile::rename(other, path));
  EXPECT_EQ(load(path, {}).naturalSize(), QSize(30, 30));
  EXPECT_EQ(codec->headers(), 3);

  SetFileClockForTesting([] { return timespec{0, 0}; });  // the clock stands in the file's tick
  load(path, {});
  load(path, {});
  SetFileClockForTesting(nullptr);
  EXPECT_EQ(codec->headers(), 5);
  EXPECT_THROW(load(folder.path("missing.jpg"), {}), RuntimeError);
}

TEST_F(DecodeJobsTest, AHeadStartThatKeepsTheLoadsCoresIsWaitedFor) {
  codec->everyCore = true;
  codec->hold(Worker, 0);
  codec->hold(Worker, 1);  // the prepare behind it, which would cover the load too
  jobs.headStart(a, {[](QSize) { return QSizeF(100, 75); }, 4});
  codec->waitUntilStarted(Worker, 1);
  std::future<Picture> shown = loadBeside(a, {90, 70});  // the same scale, 1/8
  codec->release(Worker, 0);
  EXPECT_EQ(shown.get().pixels().size(), QSize(100, 75));
  codec->release(Worker, 1);
  jobs.waitUntilIdle();
  EXPECT_TRUE(codec->decodes(Display).empty());
  EXPECT_FALSE(codec->decodes(Worker)[0].stopped);
}

// A window maximised before its first paint finds the larger picture decoded, or under way.
TEST_F(DecodeJobsTest, AHeadStartIsFollowedByThePrepareOnceTheScreenIsKnown) {
  auto codec = std::make_shared<test::GatedCodec>();
  DecodeJobs jobs(codec);
  jobs.headStart(a, {[](QSize) { return QSizeF(100, 75); }, 2});
  jobs.prepareFor([](QSize natural) { return QSizeF(natural) / 2; });
  jobs.waitUntilIdle();
  const auto behind = codec->decodes(Worker);  // the head start, then the prepare
  ASSERT_EQ(behind.size(), 2u);
  EXPECT_EQ(behind[0].policy, SCHED_OTHER);
  EXPECT_EQ(behind[1].policy, SCHED_IDLE);
  const auto shown = jobs.LoadPicture(a, {[](QSize) { return QSizeF(390, 292); }, 2});
  EXPECT_EQ(shown.picture.pixels().size(), QSize(400, 300));
  EXPECT_TRUE(codec->decodes(Display).empty());
}

// A window maximised before its first paint: the head start aimed again at the larger view takes
// the place of the first, or steps ahead of the prepare under way, and the display waits for it.
TEST_F(DecodeJobsTest, AHeadStartAimedAtALargerViewReplacesTheSmallerOneAndGoesBeforeThePrepare) {
  const auto aim = [&](QSizeF painted) {
    EXPECT_TRUE(jobs.headStart(a, {[=](QSize) { return painted; }, 4}));
  };
  EXPECT_FALSE(jobs.headStart(folder.path("missing.jpg"), {}));
  codec->everyCore = true;
  codec->hold(Worker, 0);
  aim({100, 75});
  codec->waitUntilStarted(Worker, 1);
  aim({100, 75});   // the view's other side: covered, nothing new
  aim({390, 292});  // the largest view: nothing left to prepare
  EXPECT_EQ(load(a, {390, 292}).pixels().size(), QSize(400, 300));
  jobs.waitUntilIdle();
  auto worker = codec->decodes(Worker);
  ASSERT_EQ(worker.size(), 2u);
  EXPECT_TRUE(worker[0].stopped);
  EXPECT_FALSE(worker[1].stopped);
  EXPECT_TRUE(codec->decodes(Display).empty());

  codec->hold(Worker, 3);  // the prepare of another file, behind its head start
  jobs.headStart(b, {[](QSize) { return QSizeF(40, 30); }, 4});
  codec->waitUntilStarted(Worker, 4);
  jobs.headStart(b, {[](QSize) { return QSizeF(160, 120); }, 4});
  jobs.waitUntilIdle();
  worker = codec->decodes(Worker);
  ASSERT_EQ(worker.size(), 6u);
  EXPECT_TRUE(worker[3].stopped);
  EXPECT_EQ(worker[4].plan.scale, (DecodeScale{1, 4}));
  EXPECT_EQ(worker[5].policy, SCHED_IDLE);  // the prepare again, once the head start is done
  EXPECT_FALSE(worker[5].stopped);
}

TEST_F(DecodeJobsTest, AGrowRacesThePrepareWithFewerCoresAndTheFirstToFinishStopsTheOther) {
  codec->hold(Worker, 0);
  codec->hold(Display, 1);
  EXPECT_EQ(load(a, {100, 75}).pixels().size(), QSize(100, 75));
  codec->waitUntilStarted(Worker, 1);
  std::future<Picture> grown = loadBeside(a, {390, 292});
  codec->waitUntilStarted(Display, 2);  // the grow's own decode, held too
  codec->release(Worker, 0);
  EXPECT_EQ(grown.get().pixels().size(), QSize(400, 300));
  EXPECT_TRUE(codec->decodes(Display)[1].stopped);
}

// Jobs a load has no use for are stopped, without waiting for them: a prepare or head start of
// another file, and a head start too small for the view, also when the prepare the load waits
// for is queued behind it (and then runs at normal priority).
TEST_F(DecodeJobsTest, ALoadStopsTheJobsItCannotUseAtOnce) {
  struct Case {
    const char* what;
    QString* shown;
    QSizeF painted;
    PaintSizeFor largest;
  };
  const PaintSizeFor half = [](QSize natural) { return QSizeF(natural) / 2; };
  for (const Case& c :
       {Case{"another file", &b, {80, 60}, {}}, Case{"a larger view", &a, {390, 292}, {}},
        Case{"a larger view, prepared", &a, {390, 292}, half}}) {
    SCOPED_TRACE(c.what);
    auto codec = std::make_shared<test::GatedCodec>();
    DecodeJobs jobs(codec, c.largest);
    codec->hold(Worker, 0);
    jobs.headStart(a, {[](QSize) { return QSizeF(100, 75); }, 2});
    codec->waitUntilStarted(Worker, 1);
    const QSizeF painted = c.painted;
    EXPECT_GE(
        jobs.LoadPicture(*c.shown, {[=](QSize) { return painted; }, 2}).picture.pixels().width(),
        painted.width());
    jobs.waitUntilIdle();
    const auto behind = codec->decodes(Worker);
    EXPECT_TRUE(behind[0].stopped);
    if (c.largest) {  // the display decoded nothing itself
      ASSERT_EQ(behind.size(), 2u);
      EXPECT_EQ(behind[1].policy, SCHED_OTHER);
      EXPECT_TRUE(codec->decodes(Display).empty());
    }
  }
}

TEST_F(DecodeJobsTest, APrepareRunsAtIdlePriorityAndLeavesItWhenStopped) {
  codec->hold(Worker, 0);
  load(a, {100, 75});
  codec->waitUntilStarted(Worker, 1);
  load(b, {80, 60});
  jobs.waitUntilIdle();
  const auto prepare = codec->decodes(Worker)[0];
  EXPECT_EQ(prepare.policy, SCHED_IDLE);
  EXPECT_TRUE(prepare.stopped);
  EXPECT_EQ(prepare.policyOnStop, SCHED_OTHER);
}

TEST_F(DecodeJobsTest, ADisplayThatKeepsEveryCoreBusyPausesThePrepare) {
  codec->everyCore = true;
  codec->hold(Worker, 0);
  load(a, {100, 75});
  codec->waitUntilStarted(Worker, 1);  // once the display is done
  EXPECT_EQ(load(a, {200, 150}).pixels().size(), QSize(200, 150));
  jobs.waitUntilIdle();
  const auto prepares = codec->decodes(Worker);
  ASSERT_EQ(prepares.size(), 2u);
  EXPECT_TRUE(prepares[0].stopped);
  EXPECT_FALSE(prepares[1].stopped);  // again, after the display
}

TEST_F(DecodeJobsTest, ADisplayThatCoversTheLargestViewPreparesNothing) {
  EXPECT_EQ(load(a, {800, 600}).pixels().size(), QSize(800, 600));
  jobs.waitUntilIdle();
  EXPECT_EQ(codec->decodes(Display).size(), 1u);
  EXPECT_TRUE(codec->decodes(Worker).empty());
}

TEST_F(DecodeJobsTest, AWorkerStuckInADecodeNeverHoldsUpALoadOfAnotherFile) {
  codec->hearStop = false;
  codec->hold(Worker, 0);
  load(a, {100, 75});
  codec->waitUntilStarted(Worker, 1);
  EXPECT_EQ(load(b, {80, 60}).naturalSize(), QSize(640, 480));
  codec->release(Worker, 0);
  jobs.waitUntilIdle();
}

}  // namespace
}  // namespace brindlewick
