#include "platform/jpeg/JpegEncoder.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstdlib>

#include <QImage>

#include "PhotoSynth.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

// What TurboJPEG's tjCompress2 wrote for the same pixels, as the program saved files before.
QByteArray TurboJpeg(const QImage& image, int quality, int subsampling) {
  setenv("TJ_OPTIMIZE", "1", 1);  // how it was asked for optimised Huffman tables
  tjhandle handle = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  QByteArray bytes;
  if (tjCompress2(handle, image.constBits(), image.width(), int(image.bytesPerLine()),
                  image.height(), TJPF_BGRX, &out, &size, subsampling, quality, 0) == 0) {
    bytes = QByteArray(reinterpret_cast<const char*>(out), qsizetype(size));
  }
  tjFree(out);
  tjDestroy(handle);
  unsetenv("TJ_OPTIMIZE");
  return bytes;
}

TEST(EncodeJpeg, WritesTheSameBytesAsTheFilesSavedBefore) {
  const QImage photo = SynthesizePhoto(203, 141, 11).convertToFormat(QImage::Format_RGB32);
  // Hundreds of kilobytes: the output buffer grows many times over.
  const QImage large = test::PatternImage(1371, 985);
  const struct {
    int quality;
    ChromaSubsampling ours;
    int theirs;
  } saves[] = {
      {1, ChromaSubsampling::Quarter420, TJSAMP_420},
      {75, ChromaSubsampling::Quarter420, TJSAMP_420},
      {90, ChromaSubsampling::Full444, TJSAMP_444},
      {96, ChromaSubsampling::Full444, TJSAMP_444},  // the accurate DCT from here on
      {100, ChromaSubsampling::Full444, TJSAMP_444},
  };
  for (const QImage& picture : {photo, large}) {
    for (const auto& save : saves) {
      const QByteArray before = TurboJpeg(picture, save.quality, save.theirs);
      ASSERT_FALSE(before.isEmpty());
      EXPECT_TRUE(EncodeJpeg(picture, {save.quality, save.ours, false, true}) == before)
          << picture.width() << " wide, quality " << save.quality;
    }
  }
}

}  // namespace
}  // namespace brindlewick
