#include "platform/imaging/TurboJpegImaging.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <QFile>

#include "platform/jpeg/JpegDecoder.h"
#include "platform/surface/Picture.h"
#include "platform/surface/Surface.h"
#include "support/Decoding.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

class TurboJpegImagingTest : public ::testing::Test {
 public:
  TurboJpegImagingTest() {
    params.Count = 1;
    params.Parameter[0].Guid = TurboJpegImaging::EncoderQualityId();
    params.Parameter[0].NumberOfValues = 1;
    params.Parameter[0].Type = EncoderParameterValueTypeLong;
    params.Parameter[0].Value = &quality;
  }

  void start() { ASSERT_EQ(library.GdiplusStartup(&token, &startup, nullptr), 0); }
  GpBitmap* bitmapOf(const Picture& picture) {
    GpBitmap* bitmap = nullptr;
    EXPECT_EQ(library.GdipCreateBitmapFromHBITMAP(picture, nullptr, &bitmap), 0);
    return bitmap;
  }
  GpStatus save(GpBitmap* bitmap, const EncoderParameters* list) {
    return library.GdipSaveImageToFile(bitmap, path.c_str(), &encoder, list);
  }
  GpStatus startAndSave(const EncoderParameters* list) {
    start();
    return save(bitmapOf(Picture(test::SmoothImage(8, 8))), list);
  }
  GpStatus startAndSaveWith(const std::function<void(EncoderParameter&)>& change) {
    change(params.Parameter[0]);
    return startAndSave(&params);
  }

  test::TempFolder folder;
  std::u16string path = folder.path("out.jpg").toStdU16String();
  TurboJpegImaging library;
  GdiplusStartupInput startup;
  uintptr_t token = 0;
  Guid encoder = TurboJpegImaging::JpegEncoderId();
  uint32_t quality = 80;
  EncoderParameters params;
};

TEST_F(TurboJpegImagingTest, TheBitmapIsACopyThatLaterDrawingDoesNotReach) {
  Surface view;
  view.setSize(64, 48);
  const QImage original = test::SmoothImage(64, 48);
  view.setPicture(Picture(original));
  start();
  GpBitmap* bitmap = bitmapOf(view.image());
  view.setPicture(Picture(test::PatternImage(64, 48)));
  quality = 100;

  ASSERT_EQ(save(bitmap, &params), 0);

  EXPECT_EQ(library.GdipDisposeImage(bitmap), 0);
  library.GdiplusShutdown(token);
  QFile file(folder.path("out.jpg"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_GE(test::Psnr(test::DecodeJpeg(file.readAll()).pixels(), original), 40);
}

// Each case breaks one rule of the calls; `expected` is the status of the call that breaks it.
struct MisuseCase {
  const char* name;
  GpStatus expected;
  std::function<GpStatus(TurboJpegImagingTest&)> call;
};

class TurboJpegImagingMisuseTest : public TurboJpegImagingTest,
                                   public ::testing::WithParamInterface<MisuseCase> {};

TEST_P(TurboJpegImagingMisuseTest, AnswersWithItsStatusAndWritesNothing) {
  EXPECT_EQ(GetParam().call(*this), GetParam().expected);
  EXPECT_FALSE(QFile::exists(folder.path("out.jpg")));
}

using T = TurboJpegImagingTest;
INSTANTIATE_TEST_SUITE_P(
    Rules, TurboJpegImagingMisuseTest,
    ::testing::Values(
        MisuseCase{"BitmapBeforeStartup", 18,
                   [](T& t) {
                     GpBitmap* bitmap = nullptr;
                     return t.library.GdipCreateBitmapFromHBITMAP(Picture(test::SmoothImage(8, 8)),
                                                                  nullptr, &bitmap);
                   }},
        MisuseCase{"StartupVersion2", 17,
                   [](T& t) {
                     t.startup.GdiplusVersion = 2;
                     return t.library.GdiplusStartup(&t.token, &t.startup, nullptr);
                   }},
        MisuseCase{"BitmapOfNoPicture", 2,
                   [](T& t) {
                     t.start();
                     GpBitmap* bitmap = nullptr;
                     return t.library.GdipCreateBitmapFromHBITMAP(Picture(), nullptr, &bitmap);
                   }},
        MisuseCase{"BitmapOfAnEmptyView", 2,
                   [](T& t) {
                     t.start();
                     GpBitmap* bitmap = nullptr;
                     return t.library.GdipCreateBitmapFromHBITMAP(Surface().image(), nullptr,
                                                                  &bitmap);
                   }},
        MisuseCase{"UnknownEncoder", 13,
                   [](T& t) {
                     t.encoder.Data1 = 0x557CF406;  // another format's encoder
                     return t.startAndSave(&t.params);
                   }},
        MisuseCase{"ParameterOfAnotherKind", 2,
                   [](T& t) {
                     return t.startAndSaveWith([](EncoderParameter& p) { p.Guid.Data1 ^= 1; });
                   }},
        MisuseCase{
            "QualityAsAShort", 2,
            [](T& t) { return t.startAndSaveWith([](EncoderParameter& p) { p.Type = 3; }); }},
        MisuseCase{"TwoQualityValues", 2,
                   [](T& t) {
                     return t.startAndSaveWith([](EncoderParameter& p) { p.NumberOfValues = 2; });
                   }},
        MisuseCase{"QualityAbove100", 2,
                   [](T& t) {
                     t.quality = 101;
                     return t.startAndSave(&t.params);
                   }},
        MisuseCase{"SaveAfterShutdown", 2,
                   [](T& t) {
                     t.start();
                     GpBitmap* bitmap = t.bitmapOf(Picture(test::SmoothImage(8, 8)));
                     t.library.GdiplusShutdown(t.token);
                     return t.save(bitmap, &t.params);
                   }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TurboJpegImagingTest, StaysStartedUntilItsLastUserShutsDown) {
  uintptr_t first = 0, second = 0;
  ASSERT_EQ(library.GdiplusStartup(&first, &startup, nullptr), 0);
  ASSERT_EQ(library.GdiplusStartup(&second, &startup, nullptr), 0);
  EXPECT_NE(first, second);
  library.GdiplusShutdown(first);
  GpBitmap* bitmap = bitmapOf(Picture(test::SmoothImage(8, 8)));
  EXPECT_EQ(save(bitmap, nullptr), 0);  // no parameter list: the library's default quality
  library.GdipDisposeImage(bitmap);
  library.GdiplusShutdown(second);
  EXPECT_EQ(library.GdipCreateBitmapFromHBITMAP(Picture(test::SmoothImage(8, 8)), nullptr, &bitmap),
            18);
}

}  // namespace
}  // namespace brindlewick
