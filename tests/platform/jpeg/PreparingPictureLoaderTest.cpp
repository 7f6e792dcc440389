#include "platform/jpeg/PreparingPictureLoader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/jpeg/JpegDecoder.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

struct Forward : PictureLoader {
  explicit Forward(PictureLoader& to) : to(to) {}
  Picture LoadPicture(const QString& path, const PaintSizeFor& paintSize) override {
    return to.LoadPicture(path, paintSize);
  }
  PictureLoader& to;
};

class PreparingPictureLoaderTest : public ::testing::Test {
 protected:
  Picture load(const QString& path, QSizeF painted) {
    return loader.LoadPicture(path, [painted](QSize) { return painted; });
  }

  test::TempFolder folder;
  test::CountingLoader decoder;
  // The largest view paints a picture at half its natural size.
  PreparingPictureLoader loader{std::make_unique<Forward>(decoder),
                                [](QSize natural) { return QSizeF(natural) / 2; }};
};

TEST_F(PreparingPictureLoaderTest, GrowingFindsThePixelsOfTheLargestViewReady) {
  const QString path = test::WriteJpeg(folder.path("a.jpg"), test::SmoothImage(800, 600));
  EXPECT_EQ(load(path, {100, 75}).pixels().size(), QSize(100, 75));
  loader.waitUntilPrepared();
  ASSERT_EQ(decoder.loaded.size(), 2);  // the display, then the prepare in the background
  const Picture grown = load(path, {390, 292});
  EXPECT_EQ(decoder.loaded.size(), 2);
  EXPECT_EQ(grown.pixels().size(), QSize(400, 300));
  EXPECT_EQ(grown.naturalSize(), QSize(800, 600));
}

TEST_F(PreparingPictureLoaderTest, AChangedFileOrAnotherOneIsDecodedAtOnce) {
  const QString a = test::WriteJpeg(folder.path("a.jpg"), test::SmoothImage(800, 600));
  const QString b = test::WriteJpeg(folder.path("b.jpg"), test::SmoothImage(640, 480));
  load(a, {100, 75});
  loader.waitUntilPrepared();
  test::WriteJpeg(a, test::SmoothImage(600, 800));
  const Picture changed = load(a, {292, 390});  // covers the largest view: nothing to prepare
  EXPECT_EQ(decoder.loaded.size(), 3);
  EXPECT_EQ(changed.naturalSize(), QSize(600, 800));
  EXPECT_EQ(load(b, {80, 60}).naturalSize(), QSize(640, 480));
  loader.waitUntilPrepared();
  EXPECT_EQ(decoder.loaded.size(), 5);
  EXPECT_EQ(load(b, {300, 225}).pixels().size(), QSize(320, 240));
  EXPECT_EQ(decoder.loaded.size(), 5);
}

TEST_F(PreparingPictureLoaderTest, OpeningAnotherFileStopsThePrepareUnderWay) {
  const QString a = test::WriteJpeg(folder.path("a.jpg"), test::SmoothImage(80, 60));
  const QString b = test::WriteJpeg(folder.path("b.jpg"), test::SmoothImage(80, 60));
  const std::thread::id shown = std::this_thread::get_id();
  std::atomic<bool> preparing{false}, stopped{false};
  decoder.fake = [&](const QString& path) {
    if (path == a && std::this_thread::get_id() != shown) {
      preparing = true;
      for (int waited = 0; waited < 500 && !StopDecodingWhen::asked(); ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      stopped = StopDecodingWhen::asked();
      return Picture();
    }
    return Picture(QImage(100, 75, QImage::Format_RGB32), QSize(800, 600));
  };
  load(a, {100, 75});
  while (!preparing) std::this_thread::yield();
  load(b, {100, 75});
  loader.waitUntilPrepared();
  EXPECT_TRUE(stopped);
}

}  // namespace
}  // namespace brindlewick
