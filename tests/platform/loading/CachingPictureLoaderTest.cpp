#include "platform/loading/CachingPictureLoader.h"

#include <gtest/gtest.h>

#include <QFile>

#include "JpegVariants.h"
#include "platform/errors/RuntimeError.h"
#include "support/Fakes.h"
#include "support/FileSystem.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

class CachingPictureLoaderTest : public ::testing::Test {
 protected:
  CachingPictureLoaderTest() : loader(decoder) {}

  Picture load(const QString& path, QSizeF painted) {
    return loader.LoadPicture(path, {[painted](QSize) { return painted; }}).picture;
  }
  test::TempFolder folder;
  test::CountingLoader decoder;
  CachingPictureLoader loader;
};

TEST_F(CachingPictureLoaderTest, ReusesTheDecodedPicturesWhileNothingChanged) {
  const QString path =
      test::Settled(test::WriteJpeg(folder.path("a.jpg"), test::SmoothImage(800, 600)));
  const Picture first = load(path, {100, 75});
  const Picture again = load(path, {96, 72});  // smaller: the kept pixels still cover it
  EXPECT_EQ(decoder.loaded.size(), 1);
  EXPECT_EQ(again.pixels().constBits(), first.pixels().constBits());
}

TEST_F(CachingPictureLoaderTest, DecodesAgainWhenTheKeptScaleNoLongerCovers) {
  const QString path =
      test::Settled(test::WriteJpeg(folder.path("a.jpg"), test::SmoothImage(800, 600)));
  EXPECT_EQ(load(path, {100, 75}).pixels().size(), QSize(100, 75));
  EXPECT_EQ(load(path, {101, 76}).pixels().size(), QSize(200, 150));
  EXPECT_EQ(decoder.loaded.size(), 2);
  // A full-size decode covers every size.
  load(path, {900, 700});
  load(path, {50, 40});
  EXPECT_EQ(decoder.loaded.size(), 3);
}

TEST_F(CachingPictureLoaderTest, AFileChangedOnDiskIsAlwaysDecodedAnew) {
  const QString path = folder.path("a.jpg");
  test::WriteJpeg(path, test::SmoothImage(400, 300));
  test::SetModified(path, 1700000000, 100);
  load(test::Settled(path), {100, 75});

  // Same size, same second, only the nanoseconds tell.
  QImage inverted = test::SmoothImage(400, 300);
  inverted.invertPixels();
  test::WriteJpeg(path, inverted);
  test::SetModified(path, 1700000000, 200);
  const Picture changed = load(path, {100, 75});
  EXPECT_EQ(decoder.loaded.size(), 2);

  // Another file moved into its place.
  const QString other = test::WriteJpeg(folder.path("b.jpg"), test::SmoothImage(400, 300));
  ASSERT_TRUE(QFile::remove(path));
  ASSERT_TRUE(QFile::rename(other, path));
  load(path, {100, 75});
  EXPECT_EQ(decoder.loaded.size(), 3);
  EXPECT_GT(test::Psnr(changed.pixels(), load(path, {100, 75}).pixels()), 0);
}

TEST_F(CachingPictureLoaderTest, AFileEditedInPlaceWithItsSizeAndTimesKeptIsDecodedAnew) {
  // As `exiftool -P -overwrite_original_in_place` turns a picture: same inode, same size, the
  // same whole-second modification time set back.
  const QByteArray plain = test::JpegBytes(test::SmoothImage(40, 20));
  const QString path = folder.path("a.jpg");
  test::WriteBytes(path, variants::WithExifOrientation(plain, 1));
  test::SetModified(path, 1700000000, 0);
  EXPECT_EQ(load(test::Settled(path), {}).naturalSize(), QSize(40, 20));

  test::WriteBytes(path, variants::WithExifOrientation(plain, 6));
  test::SetModified(path, 1700000000, 0);
  EXPECT_EQ(load(path, {}).naturalSize(), QSize(20, 40));
  EXPECT_EQ(decoder.loaded.size(), 2);
}

TEST_F(CachingPictureLoaderTest, DoesNotKeepFailuresOrMixUpPaths) {
  const QString a = test::WriteJpeg(folder.path("a.jpg"), test::SmoothImage(80, 60));
  const QString b = test::WriteJpeg(folder.path("b.jpg"), test::SmoothImage(80, 60));
  load(a, {80, 60});
  load(b, {80, 60});
  EXPECT_EQ(decoder.loaded, (QStringList{a, b}));

  test::WriteBytes(folder.path("bad.jpg"), "not a picture");
  for (int i = 0; i < 2; ++i) EXPECT_THROW(load(folder.path("bad.jpg"), {80, 60}), RuntimeError);
  EXPECT_EQ(decoder.loaded.size(), 4);

  ASSERT_TRUE(QFile::remove(b));
  EXPECT_THROW(load(b, {80, 60}), RuntimeError);
}

}  // namespace
}  // namespace brindlewick
