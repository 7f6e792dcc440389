#include "platform/loading/DecodeJobs.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>

#include <QFile>

#include "JpegVariants.h"
#include "platform/files/FileStatus.h"
#include "support/FileSystem.h"
#include "support/GatedCodec.h"
#include "support/OrdinaryUsersIdle.h"
#include "support/PrepareThread.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

// Where a decode runs tells whose it is: a display's on the loading thread, a head start's on the
// worker, a prepare's on the prepare's thread.
constexpr auto Display = test::GatedCodec::Display;
constexpr auto Worker = test::GatedCodec::Worker;
constexpr auto Prepare = test::GatedCodec::Prepare;

PictureRequest Painted(QSizeF painted, int threads) {
  return {[painted](QSize) { return painted; }, threads};
}

// The prepare on a thread of this process, so that the test can hold its decodes.
std::shared_ptr<Preparer> PrepareBeside(
    std::shared_ptr<const PictureCodec> codec,
    std::shared_ptr<const ThreadPriority> priority = std::make_shared<IdlePriority>()) {
  return std::make_shared<test::PrepareThread>(std::move(codec), std::move(priority));
}

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
  DecodeJobs jobs{codec, [](QSize natural) { return QSizeF(natural) / 2; }, PrepareBeside(codec)};
};

TEST_F(DecodeJobsTest, ADoneJobThatCoversIsHandedOutAndAFileIsReadOncePerOpen) {
  codec->hold(Prepare, 0);  // until the display is done, which could otherwise take its pixels
  EXPECT_EQ(load(a, {100, 75}).pixels().size(), QSize(100, 75));
  codec->release(Prepare, 0);
  jobs.waitUntilIdle();
  ASSERT_EQ(codec->decodes(Display).size(), 1u);
  ASSERT_EQ(codec->decodes(Prepare).size(), 1u);  // beside the display
  const Picture grown = load(a, {390, 292});
  EXPECT_EQ(grown.pixels().size(), QSize(400, 300));
  EXPECT_EQ(grown.naturalSize(), QSize(800, 600));
  EXPECT_EQ(load(a, {50, 37}).pixels().size(), QSize(400, 300));
  EXPECT_EQ(codec->decodes(Display).size(), 1u);
  EXPECT_EQ(codec->decodes(Prepare).size(), 1u);
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

  SetFileClockForTest([] { return timespec{0, 0}; });  // the clock stands in the file's tick
  load(path, {});
  load(path, {});
  SetFileClockForTest(nullptr);
  EXPECT_EQ(codec->headers(), 5);
  EXPECT_THROW(load(folder.path("missing.jpg"), {}), RuntimeError);
}

TEST_F(DecodeJobsTest, AHeadStartThatKeepsTheLoadsCoresIsWaitedFor) {
  codec->everyCore = true;
  codec->hold(Worker, 0);
  codec->hold(Prepare, 0);  // behind it, and it would cover the load too
  jobs.headStart(a, Painted({100, 75}, 4));
  codec->waitUntilStarted(Worker, 1);
  std::future<Picture> shown = loadBeside(a, {90, 70});  // the same scale, 1/8
  codec->release(Worker, 0);
  EXPECT_EQ(shown.get().pixels().size(), QSize(100, 75));
  codec->release(Prepare, 0);
  jobs.waitUntilIdle();
  EXPECT_TRUE(codec->decodes(Display).empty());
  EXPECT_FALSE(codec->decodes(Worker)[0].stopped);
}

// A window maximised before its first paint finds the larger picture decoded, or under way.
TEST_F(DecodeJobsTest, AHeadStartIsFollowedByThePrepareOnceTheScreenIsKnown) {
  auto codec = std::make_shared<test::GatedCodec>();
  DecodeJobs jobs(codec, {}, PrepareBeside(codec));
  jobs.headStart(a, Painted({100, 75}, 2));
  jobs.prepareFor([](QSize natural) { return QSizeF(natural) / 2; });
  jobs.waitUntilIdle();
  ASSERT_EQ(codec->decodes(Worker).size(), 1u);
  ASSERT_EQ(codec->decodes(Prepare).size(), 1u);
  EXPECT_EQ(codec->decodes(Worker)[0].policy, SCHED_OTHER);
  EXPECT_EQ(codec->decodes(Prepare)[0].policy, SCHED_IDLE);
  const auto shown = jobs.LoadPicture(a, {[](QSize) { return QSizeF(390, 292); }, 2});
  EXPECT_EQ(shown.picture.pixels().size(), QSize(400, 300));
  EXPECT_TRUE(codec->decodes(Display).empty());
}

// A window maximised before its first paint: the head start aimed again at the larger view takes
// the place of the first, or of the prepare under way, and the display waits for it.
TEST_F(DecodeJobsTest, AHeadStartAimedAtALargerViewReplacesTheSmallerOneAndGoesBeforeThePrepare) {
  const auto aim = [&](QSizeF painted) { EXPECT_TRUE(jobs.headStart(a, Painted(painted, 4))); };
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
  EXPECT_TRUE(codec->decodes(Prepare).empty());

  codec->hold(Prepare, 0);  // of another file, behind its head start
  jobs.headStart(b, Painted({40, 30}, 4));
  codec->waitUntilStarted(Prepare, 1);
  jobs.headStart(b, Painted({160, 120}, 4));
  jobs.waitUntilIdle();
  worker = codec->decodes(Worker);
  const auto prepares = codec->decodes(Prepare);
  ASSERT_EQ(worker.size(), 4u);
  ASSERT_EQ(prepares.size(), 2u);
  EXPECT_TRUE(prepares[0].stopped);
  EXPECT_EQ(worker[3].plan.scale, (DecodeScale{1, 4}));
  EXPECT_FALSE(prepares[1].stopped);  // again, once the head start is done
}

// The prepare is never waited for: a grow to its view stops it before decoding the pixels itself,
// so that they are never decoded twice at once, even where the prepare's thread gets no core to
// hear the stop on.
TEST_F(DecodeJobsTest, AGrowToThePreparedViewStopsThePrepareFirstAndDecodesItself) {
  codec->hearStop = false;
  codec->hold(Prepare, 0);
  EXPECT_EQ(load(a, {100, 75}).pixels().size(), QSize(100, 75));
  codec->waitUntilStarted(Prepare, 1);
  EXPECT_EQ(load(a, {390, 292}).pixels().size(), QSize(400, 300));
  const auto shown = codec->decodes(Display);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].stoppedBefore, 1);  // the prepare's
  codec->release(Prepare, 0);
  codec->waitUntilEnded(Prepare, 0);
  EXPECT_TRUE(codec->decodes(Prepare)[0].stopped);
  EXPECT_EQ(load(a, {390, 292}).pixels().size(), QSize(400, 300));
  EXPECT_EQ(codec->decodes(Display).size(), 2u);
}

// Jobs a load has no use for are stopped, without waiting for them: a prepare or head start of
// another file, and a head start too small for the view.
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
        Case{"the largest view", &a, {390, 292}, half}}) {
    SCOPED_TRACE(c.what);
    auto codec = std::make_shared<test::GatedCodec>();
    DecodeJobs jobs(codec, c.largest, PrepareBeside(codec));
    codec->hold(Worker, 0);
    jobs.headStart(a, Painted({100, 75}, 2));
    codec->waitUntilStarted(Worker, 1);
    const QSizeF painted = c.painted;
    EXPECT_GE(jobs.LoadPicture(*c.shown, Painted(painted, 2)).picture.pixels().width(),
              painted.width());
    jobs.waitUntilIdle();
    EXPECT_TRUE(codec->decodes(Worker)[0].stopped);
    EXPECT_EQ(codec->decodes(Display).size(), 1u);
    EXPECT_TRUE(codec->decodes(Prepare).empty());  // the display made the largest view
  }
}

// As for an ordinary user, the system refuses to raise the prepare's thread from idle priority.
// Nothing the window waits for runs at that priority or waits for that thread, here stuck in a
// decode that does not hear its stop: a head start and a display of another file, a grow, the end.
TEST_F(DecodeJobsTest, WhereTheRaiseIsRefusedNothingTheWindowWaitsForWaitsAtIdlePriority) {
  auto codec = std::make_shared<test::GatedCodec>();
  auto priority = std::make_shared<test::OrdinaryUsersIdle>();
  auto jobs = std::make_unique<DecodeJobs>(
      codec, [](QSize natural) { return QSizeF(natural) / 2; }, PrepareBeside(codec, priority));
  codec->hearStop = false;
  codec->hold(Prepare, 0);
  jobs->headStart(a, Painted({100, 75}, 4));
  codec->waitUntilStarted(Prepare, 1);
  EXPECT_TRUE(jobs->headStart(b, Painted({80, 60}, 4)));
  EXPECT_EQ(jobs->LoadPicture(b, Painted({80, 60}, 4)).picture.pixels().size(), QSize(80, 60));
  EXPECT_EQ(jobs->LoadPicture(b, Painted({320, 240}, 4)).picture.pixels().size(), QSize(320, 240));
  jobs.reset();  // never waits for the prepare's thread

  EXPECT_TRUE(priority->raiseRefused);
  for (const auto& decode : codec->decodes(Worker)) EXPECT_EQ(decode.policy, SCHED_OTHER);
  for (const auto& decode : codec->decodes(Display)) EXPECT_EQ(decode.policy, SCHED_OTHER);
  codec->release(Prepare, 0);
  codec->waitUntilEnded(Prepare, 0);
  const auto prepare = codec->decodes(Prepare)[0];
  EXPECT_EQ(prepare.policy, SCHED_IDLE);
  EXPECT_TRUE(prepare.stopped);
  EXPECT_EQ(prepare.policyOnStop, SCHED_IDLE);
}

TEST_F(DecodeJobsTest, ADisplayThatKeepsEveryCoreBusyPausesThePrepare) {
  codec->everyCore = true;
  codec->hold(Prepare, 0);
  load(a, {100, 75});
  codec->waitUntilStarted(Prepare, 1);  // once the display is done
  EXPECT_EQ(load(a, {200, 150}).pixels().size(), QSize(200, 150));
  jobs.waitUntilIdle();
  const auto prepares = codec->decodes(Prepare);
  ASSERT_EQ(prepares.size(), 2u);
  EXPECT_TRUE(prepares[0].stopped);
  EXPECT_FALSE(prepares[1].stopped);  // again, after the display
}

TEST_F(DecodeJobsTest, ADisplayThatCoversTheLargestViewPreparesNothing) {
  EXPECT_EQ(load(a, {800, 600}).pixels().size(), QSize(800, 600));
  jobs.waitUntilIdle();
  EXPECT_EQ(codec->decodes(Display).size(), 1u);
  EXPECT_TRUE(codec->decodes(Prepare).empty());
}

TEST_F(DecodeJobsTest, AHeadStartStuckInADecodeNeverHoldsUpALoadOfAnotherFile) {
  codec->hearStop = false;
  codec->hold(Worker, 0);
  jobs.headStart(a, Painted({100, 75}, 4));
  codec->waitUntilStarted(Worker, 1);
  EXPECT_EQ(load(b, {80, 60}).naturalSize(), QSize(640, 480));
  codec->release(Worker, 0);
  jobs.waitUntilIdle();
}

}  // namespace
}  // namespace brindlewick
