#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <vector>

#include <QFile>
#include <QImage>
#include <QImageReader>

#include "modules/SaveAsJPG.h"
#include "platform/errors/RuntimeError.h"
#include "platform/imaging/TurboJpegImaging.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/jpeg/JpegEncoder.h"
#include "platform/surface/Picture.h"
#include "support/Decoding.h"
#include "support/Fakes.h"
#include "support/JpegHeaders.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

using test::JpegHeaders;
using test::kChrominance;
using test::kLuminance;
using test::ReadHeaders;
using test::RecordingImagingLibrary;
using test::ScaledTable;

const QStringList kFullRun{"GdiplusStartup", "GdipCreateBitmapFromHBITMAP", "GdipSaveImageToFile",
                           "GdipDisposeImage", "GdiplusShutdown"};

// The description SaveJPG fails with, or "" when it returns normally.
QString SaveFailure(const Picture& picture, const QString& path, uint8_t quality,
                    ImagingLibrary& library) {
  try {
    SaveJPG(picture, path, quality, library);
    return {};
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 5);
    return e.description();
  }
}

struct ProtocolCase {
  const char* name;
  GpStatus startup, bitmap, save, dispose;
  QStringList calls;
  QString failure;
};

class SaveJPGProtocolTest : public ::testing::TestWithParam<ProtocolCase> {};

TEST_P(SaveJPGProtocolTest, ReportsTheFirstFailingCallAndAlwaysCleansUp) {
  const ProtocolCase c = GetParam();
  RecordingImagingLibrary library;
  library.startupStatus = c.startup;
  library.bitmapStatus = c.bitmap;
  library.saveStatus = c.save;
  library.disposeStatus = c.dispose;

  EXPECT_EQ(SaveFailure(Picture(test::SmoothImage(8, 8)), "/x.jpg", 80, library), c.failure);

  EXPECT_EQ(library.calls, c.calls);
  if (library.calls.contains("GdiplusShutdown")) {
    EXPECT_EQ(library.shutdownToken, library.issuedToken);
  }
  if (library.calls.contains("GdipDisposeImage")) {
    EXPECT_EQ(library.disposedBitmap, library.issuedBitmap);
    EXPECT_EQ(library.savedBitmap, library.issuedBitmap);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, SaveJPGProtocolTest,
    ::testing::Values(
        ProtocolCase{"Success", 0, 0, 0, 0, kFullRun, ""},
        // A library that did not start is not shut down.
        ProtocolCase{"StartupFails",
                     17,
                     0,
                     0,
                     0,
                     {"GdiplusStartup"},
                     "Cannot save the image. GDI+ Error:17"},
        ProtocolCase{"BitmapFails",
                     0,
                     2,
                     0,
                     0,
                     {"GdiplusStartup", "GdipCreateBitmapFromHBITMAP", "GdiplusShutdown"},
                     "Cannot save the image. GDI+ Error:2"},
        ProtocolCase{"SaveFails", 0, 0, 7, 0, kFullRun, "Cannot save the image. GDI+ Error:7"},
        ProtocolCase{"SaveFailsWithALargeStatus", 0, 0, 123456, 0, kFullRun,
                     "Cannot save the image. GDI+ Error:123456"},
        // Disposing is not checked: the file was written.
        ProtocolCase{"DisposeFails", 0, 0, 0, 2, kFullRun, ""}),
    [](const auto& info) { return std::string(info.param.name); });

class SaveJPGQualityCellTest : public ::testing::TestWithParam<int> {};

TEST_P(SaveJPGQualityCellTest, HandsTheLibraryOneQualityExactlyAsGiven) {
  RecordingImagingLibrary library;
  const QString path = QString::fromUtf8("/Bilder/Größe 1.jpeg");
  const uint8_t quality = uint8_t(GetParam());

  EXPECT_EQ(SaveFailure(Picture(test::SmoothImage(30, 20)), path, quality, library), "");

  EXPECT_EQ(library.startupInput.GdiplusVersion, 1u);
  EXPECT_EQ(library.startupInput.DebugEventCallback, nullptr);
  EXPECT_FALSE(library.startupInput.SuppressBackgroundThread);
  EXPECT_FALSE(library.startupInput.SuppressExternalCodecs);
  EXPECT_FALSE(library.startupOutputGiven);
  EXPECT_EQ(library.pictureSize, QSize(30, 20));
  EXPECT_EQ(library.palette, nullptr);
  EXPECT_EQ(library.path, path);
  EXPECT_EQ(library.encoder, TurboJpegImaging::JpegEncoderId());
  EXPECT_EQ(library.parameterCount, 1u);
  EXPECT_EQ(library.parameter.Guid, TurboJpegImaging::EncoderQualityId());
  EXPECT_EQ(library.parameter.NumberOfValues, 1u);
  EXPECT_EQ(library.parameter.Type, 4u);
  EXPECT_EQ(library.qualityValue, uint32_t(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Qualities, SaveJPGQualityCellTest, ::testing::Values(0, 1, 55, 100, 255));

class SaveJPGFileTest : public ::testing::Test {
 protected:
  QByteArray saveAndRead(const QImage& image, int quality) {
    const QString path = folder.path("out.jpg");
    EXPECT_EQ(SaveFailure(Picture(image), path, uint8_t(quality), library), "");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
  }

  test::TempFolder folder;
  TurboJpegImaging library;
};

TEST_F(SaveJPGFileTest, WritesThePicturesPixelsAtItsSize) {
  const QImage image = test::SmoothImage(321, 203);
  const QByteArray jpeg = saveAndRead(image, 95);

  const QImage ours = test::DecodeJpeg(jpeg).pixels();
  const QImage qts = QImage::fromData(jpeg).convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(ours.size(), QSize(321, 203));
  EXPECT_GE(test::Psnr(ours, image), 35);
  EXPECT_GE(test::Psnr(qts, image), 35);
}

TEST_F(SaveJPGFileTest, IsABaselineFileWithOptimisedHuffmanTablesAndNoMetadata) {
  const QImage image = test::PatternImage(160, 120);
  for (int quality : {50, 95}) {
    const QByteArray jpeg = saveAndRead(image, quality);
    const JpegHeaders headers = ReadHeaders(jpeg);
    EXPECT_EQ(headers.frameMarker, 0xC0) << quality;
    EXPECT_EQ(headers.appMarkers, std::vector<int>{0xE0}) << quality;  // JFIF only

    JpegEncoding standardHuffman;
    standardHuffman.quality = quality;
    standardHuffman.subsampling =
        quality >= 90 ? ChromaSubsampling::Full444 : ChromaSubsampling::Quarter420;
    standardHuffman.optimizeHuffman = false;
    EXPECT_LT(jpeg.size(), EncodeJpeg(image, standardHuffman).size()) << quality;
  }
}

TEST_F(SaveJPGFileTest, KeepsFullColourResolutionAtHighQualitiesOnly) {
  const QImage image = test::PatternImage(64, 48);
  const std::vector<int> full{0x11, 0x11, 0x11}, quarter{0x22, 0x11, 0x11};
  EXPECT_EQ(ReadHeaders(saveAndRead(image, 89)).sampling, quarter);
  EXPECT_EQ(ReadHeaders(saveAndRead(image, 90)).sampling, full);
  EXPECT_EQ(ReadHeaders(saveAndRead(image, 100)).sampling, full);
}

class SaveJPGQuantisationTest : public SaveJPGFileTest,
                                public ::testing::WithParamInterface<int> {};

TEST_P(SaveJPGQuantisationTest, UsesTheStandardTablesScaledForExactlyThatQuality) {
  const int quality = GetParam();
  const JpegHeaders headers = ReadHeaders(saveAndRead(test::PatternImage(40, 32), quality));
  ASSERT_EQ(headers.quantTables.size(), 2u);
  EXPECT_EQ(headers.quantPrecision.at(0), 0);
  EXPECT_EQ(headers.quantPrecision.at(1), 0);
  EXPECT_EQ(headers.quantTables.at(0), ScaledTable(kLuminance, quality));
  EXPECT_EQ(headers.quantTables.at(1), ScaledTable(kChrominance, quality));
}

// 0 is scaled as 1 by the encoder; 89/90 straddle the subsampling switch.
INSTANTIATE_TEST_SUITE_P(Qualities, SaveJPGQuantisationTest,
                         ::testing::Values(0, 1, 2, 25, 49, 50, 51, 75, 89, 90, 95, 99, 100));

}  // namespace
}  // namespace brindlewick
