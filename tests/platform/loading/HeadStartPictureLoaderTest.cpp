#include "platform/loading/HeadStartPictureLoader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/Fakes.h"
#include "support/FileSystem.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

PaintSizeFor Painted(QSizeF size) {
  return [size](QSize) { return size; };
}

class HeadStartPictureLoaderTest : public ::testing::Test {
 protected:
  test::TempFolder folder;
  test::CountingLoader decoder;
  HeadStartPictureLoader loader{decoder};
  const QString photo =
      test::Settled(test::WriteJpeg(folder.path("a.jpg"), test::SmoothImage(800, 600)));
};

TEST_F(HeadStartPictureLoaderTest, TheFirstLoadTakesTheDecodeStartedForIt) {
  loader.start(photo, {Painted({100, 75}), 2, {}});
  // Another size that needs the same scale, 1/8; told how busy the decode it takes keeps the
  // cores (a baseline file without restart markers: one).
  PictureRequest first{Painted({99, 74}), 2, {}};
  int told = 0;
  first.coresBusy = [&](int cores) { told = cores; };
  const Picture shown = loader.LoadPicture(photo, first).picture;
  EXPECT_EQ(shown.pixels().size(), QSize(100, 75));
  EXPECT_EQ(decoder.loaded.size(), 1);
  EXPECT_EQ(told, 1);
  // Later loads go to the decoder.
  loader.LoadPicture(photo, {Painted({99, 74}), 2, {}});
  EXPECT_EQ(decoder.loaded.size(), 2);
}

// A view that needs another scale, or another file, stops the decode started in advance instead
// of waiting for it, and decodes what it needs.
TEST_F(HeadStartPictureLoaderTest, ALoadThatNeedsSomethingElseStopsTheDecode) {
  const QString other =
      test::Settled(test::WriteJpeg(folder.path("b.jpg"), test::SmoothImage(80, 60)));
  const std::pair<QString, QSizeF> loads[] = {{photo, {200, 150}}, {other, {80, 60}}};
  for (const auto& [path, painted] : loads) {
    test::CountingLoader slow;
    std::atomic<bool> stopped{false};
    slow.fake = [&](const QString& file, const PictureRequest& request) {
      if (request.threads == 3) {  // the decode started in advance: slow, until stopped
        request.paintSize(QSize(800, 600));
        for (int waited = 0; waited < 1000 && !request.stop.stop_requested(); ++waited) {
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        stopped = request.stop.stop_requested();
        return Picture();
      }
      return Picture(
          QImage(file == photo ? 200 : 80, file == photo ? 150 : 60, QImage::Format_RGB32),
          file == photo ? QSize(800, 600) : QSize(80, 60));
    };
    HeadStartPictureLoader early(slow);
    early.start(photo, {Painted({100, 75}), 3, {}});
    EXPECT_EQ(early.LoadPicture(path, {Painted(painted), 2, {}}).picture.naturalSize(),
              path == photo ? QSize(800, 600) : QSize(80, 60));
    EXPECT_TRUE(stopped) << path.toStdString();
  }
}

// A prepare on another thread that reaches the loader before the first display neither takes
// the head start nor stops it: it decodes for itself, and the display still takes the head start.
TEST_F(HeadStartPictureLoaderTest, ALoadFromAnotherThreadLeavesTheHeadStartToTheDisplay) {
  std::atomic<bool> prepared{false}, stopped{false};
  decoder.fake = [&](const QString&, const PictureRequest& request) {
    if (request.threads == 3) {  // the head start ends once the prepare has
      request.paintSize(QSize(800, 600));
      for (int waited = 0; waited < 1000 && !prepared && !request.stop.stop_requested(); ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      stopped = request.stop.stop_requested();
      return Picture(QImage(100, 75, QImage::Format_RGB32), QSize(800, 600));
    }
    return Picture(QImage(400, 300, QImage::Format_RGB32), QSize(800, 600));
  };
  loader.start(photo, {Painted({100, 75}), 3, {}});
  std::thread([&] {
    EXPECT_EQ(loader.LoadPicture(photo, {Painted({400, 300}), 1, {}}).picture.pixels().size(),
              QSize(400, 300));
    prepared = true;
  }).join();
  EXPECT_EQ(loader.LoadPicture(photo, {Painted({100, 75}), 2, {}}).picture.pixels().size(),
            QSize(100, 75));
  EXPECT_FALSE(stopped);
  EXPECT_EQ(decoder.loaded.size(), 2);
}

TEST(SameDecodeScale, HoldsForSizesThatNeedTheSameScaleWhicheverWayTheFileIsStored) {
  const QSize natural(800, 600);
  EXPECT_TRUE(SameDecodeScale(natural, Painted({100, 75}), Painted({100, 75})));
  EXPECT_TRUE(SameDecodeScale(natural, Painted({100, 75}), Painted({90, 70})));    // both 1/8
  EXPECT_FALSE(SameDecodeScale(natural, Painted({100, 75}), Painted({101, 76})));  // 1/4
  EXPECT_FALSE(SameDecodeScale(natural, Painted({100, 75}), {}));                  // full size
}

}  // namespace
}  // namespace brindlewick
