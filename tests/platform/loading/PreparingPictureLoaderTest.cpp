#include "platform/loading/PreparingPictureLoader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/errors/RuntimeError.h"
#include "platform/loading/CachingPictureLoader.h"
#include "support/Fakes.h"
#include "support/FileSystem.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

class PreparingPictureLoaderTest : public ::testing::Test {
 protected:
  // As a display asks: on two cores.
  Picture load(const QString& path, QSizeF painted) {
    return loader.LoadPicture(path, {[painted](QSize) { return painted; }, 2}).picture;
  }

  test::TempFolder folder;
  test::CountingLoader decoder;
  // The largest view paints a picture at half its natural size.
  PreparingPictureLoader loader{decoder, [](QSize natural) { return QSizeF(natural) / 2; }};
};

TEST_F(PreparingPictureLoaderTest, GrowingFindsThePixelsOfTheLargestViewReady) {
  const QString path =
      test::Settled(test::WriteJpeg(folder.path("a.jpg"), test::SmoothImage(800, 600)));
  EXPECT_EQ(load(path, {100, 75}).pixels().size(), QSize(100, 75));
  loader.waitUntilPrepared();
  ASSERT_EQ(decoder.loaded.size(), 2);  // the display, and the prepare beside it
  const Picture grown = load(path, {390, 292});
  EXPECT_EQ(decoder.loaded.size(), 2);
  EXPECT_EQ(grown.pixels().size(), QSize(400, 300));
  EXPECT_EQ(grown.naturalSize(), QSize(800, 600));
}

TEST_F(PreparingPictureLoaderTest, AChangedFileOrAnotherOneIsDecodedAtOnce) {
  const QString a =
      test::Settled(test::WriteJpeg(folder.path("a.jpg"), test::SmoothImage(800, 600)));
  const QString b =
      test::Settled(test::WriteJpeg(folder.path("b.jpg"), test::SmoothImage(640, 480)));
  load(a, {100, 75});
  loader.waitUntilPrepared();
  test::WriteJpeg(a, test::SmoothImage(600, 800));
  const Picture changed = load(a, {292, 390});
  EXPECT_EQ(decoder.displays(), 2);
  EXPECT_EQ(changed.naturalSize(), QSize(600, 800));
  EXPECT_EQ(load(b, {80, 60}).naturalSize(), QSize(640, 480));
  loader.waitUntilPrepared();
  EXPECT_EQ(load(b, {300, 225}).pixels().size(), QSize(320, 240));
  EXPECT_EQ(decoder.displays(), 3);  // the grow found its pixels prepared
}

// Opening another file stops the prepare under way for the last one.
TEST_F(PreparingPictureLoaderTest, OpeningAnotherFileStopsThePrepareUnderWay) {
  const QString a = test::WriteJpeg(folder.path("a.jpg"), test::SmoothImage(80, 60));
  const QString b = test::WriteJpeg(folder.path("b.jpg"), test::SmoothImage(80, 60));
  std::atomic<bool> preparing{false}, stopped{false};
  decoder.fake = [&](const QString& file, const PictureRequest& request) {
    if (request.threads == 1 && file == a) {  // the prepare of a, on its one core, until stopped
      preparing = true;
      for (int waited = 0; waited < 1000 && !request.stop.stop_requested(); ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      stopped = request.stop.stop_requested();
      return Picture();
    }
    return Picture(QImage(file == a ? 100 : 400, file == a ? 75 : 300, QImage::Format_RGB32),
                   QSize(800, 600));
  };
  loader.LoadPicture(a, {[](QSize) { return QSizeF(100, 75); }, 2});
  while (!preparing) std::this_thread::yield();
  loader.LoadPicture(b, {[](QSize) { return QSizeF(390, 292); }, 2});
  loader.waitUntilPrepared();
  EXPECT_TRUE(stopped);
}

// A grow while the prepare of its file is under way decodes at once all the same, racing it:
// whichever ends first is what the grow shows, and stops the other. A grow that keeps every core
// busy calls the race off: the prepare would only slow it.
TEST_F(PreparingPictureLoaderTest, AGrowRacesThePrepareOfItsFile) {
  const QImage prepared(400, 300, QImage::Format_RGB32), grown(398, 298, QImage::Format_RGB32);
  enum Case { PrepareFirst, GrowFirst, GrowOnEveryCore };
  for (const Case race : {PrepareFirst, GrowFirst, GrowOnEveryCore}) {
    SCOPED_TRACE(race);
    const QString a =
        test::WriteJpeg(folder.path(QString("%1.jpg").arg(race)), test::SmoothImage(80, 60));
    std::atomic<bool> preparing{false}, growing{false}, grew{false}, prepareEnded{false};
    decoder.fake = [&](const QString&, const PictureRequest& request) {
      if (request.threads == 1) {  // the prepare ends once the grow has begun, or has ended
        preparing = true;
        while (!(race == GrowFirst ? grew.load() : growing.load())) std::this_thread::yield();
        prepareEnded = true;
        return Picture(prepared, QSize(800, 600));
      }
      if (request.paintSize(QSize(800, 600)).width() < 390) {  // the first display
        return Picture(QImage(100, 75, QImage::Format_RGB32), QSize(800, 600));
      }
      if (race == GrowOnEveryCore) request.coresBusy(2);
      growing = true;
      for (int waited = 0; race != GrowFirst && waited < 1000; ++waited) {
        if (request.stop.stop_requested())
          throw RuntimeError(ErrorNumber::InvalidPicture, "stopped");
        if (race == GrowOnEveryCore && prepareEnded) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      return Picture(grown, QSize(800, 600));
    };
    loader.LoadPicture(a, {[](QSize) { return QSizeF(100, 75); }, 2});
    while (!preparing) std::this_thread::yield();
    const Picture shown =
        loader.LoadPicture(a, {[](QSize) { return QSizeF(390, 292); }, 2}).picture;
    grew = true;
    EXPECT_EQ(shown.pixels().size(), race == PrepareFirst ? prepared.size() : grown.size());
    // Either way the prepare's pixels serve the next grow.
    loader.waitUntilPrepared();
    const qsizetype decodes = decoder.loaded.size();
    EXPECT_EQ(load(a, {395, 296}).pixels().size(), prepared.size());
    EXPECT_EQ(decoder.loaded.size(), decodes);
  }
}

// The prepare starts beside a display that leaves a core idle, and waits for one that keeps every
// core busy.
TEST_F(PreparingPictureLoaderTest, ThePrepareTakesACoreOnlyWhereTheDisplayLeavesOneIdle) {
  for (const int busy : {1, 2}) {
    SCOPED_TRACE(busy == 1 ? "one core busy" : "every core busy");
    const QString path =
        test::WriteJpeg(folder.path(busy == 1 ? "a.jpg" : "b.jpg"), test::SmoothImage(80, 60));
    std::atomic<bool> displaying{false}, preparedBeside{false};
    decoder.fake = [&](const QString&, const PictureRequest& request) {
      if (request.threads == 1) {  // the prepare, given a moment to find the display under way
        for (int waited = 0; waited < 200 && !displaying; ++waited) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        preparedBeside = preparedBeside || (displaying && !request.stop.stop_requested());
        return Picture(QImage(400, 300, QImage::Format_RGB32), QSize(800, 600));
      }
      request.coresBusy(busy);
      displaying = true;
      // Time enough for a prepare beside it to end.
      for (int waited = 0; waited < 200 && !preparedBeside; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(busy == 1 ? 10 : 1));
      }
      displaying = false;
      return Picture(QImage(100, 75, QImage::Format_RGB32), QSize(800, 600));
    };
    load(path, {100, 75});
    loader.waitUntilPrepared();
    EXPECT_EQ(preparedBeside, busy == 1);
    // Either way the grow finds its pixels prepared.
    const int displays = decoder.displays();
    EXPECT_EQ(load(path, {390, 292}).pixels().size(), QSize(400, 300));
    EXPECT_EQ(decoder.displays(), displays);
  }
}

// A file read within the tick of the clock that stamps file times in which it last changed could
// change again in that tick and keep its identity (where change times move in coarse ticks, as
// on Debian 12's kernel: two in-place writes during a prepare). Neither cache keeps such a read;
// once the clock has moved on, both do.
TEST_F(PreparingPictureLoaderTest, NeitherCacheKeepsAFileReadInTheTickOfItsLastChange) {
  const QString path = test::WriteJpeg(folder.path("a.jpg"), test::SmoothImage(800, 600));
  CachingPictureLoader cache(loader);  // as main() stacks them
  // Each display, and the prepare it leaves behind.
  const auto show = [&](QSizeF painted) {
    const Picture shown =
        cache.LoadPicture(path, {[painted](QSize) { return painted; }, 2}).picture;
    loader.waitUntilPrepared();
    return shown;
  };
  SetFileClockForTesting([] { return timespec{0, 0}; });  // the clock stands in the file's tick
  show({100, 75});
  show({100, 75});   // a re-layout
  show({390, 292});  // a grow, which needs nothing prepared
  SetFileClockForTesting(nullptr);
  EXPECT_EQ(decoder.displays(), 3);  // every display decoded anew

  decoder.threads.clear();
  test::Settled(path);
  show({100, 75});
  show({100, 75});
  EXPECT_EQ(show({390, 292}).pixels().size(), QSize(400, 300));
  EXPECT_EQ(decoder.displays(), 1);  // the first display; the others kept or prepared
}

}  // namespace
}  // namespace brindlewick
