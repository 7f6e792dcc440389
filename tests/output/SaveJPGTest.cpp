#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <vector>

#include <QFile>
#include <QImage>
#include <QImageReader>

#include "output/SaveAsJPG.h"
#include "platform/JpegDecoder.h"
#include "platform/JpegEncoder.h"
#include "platform/Picture.h"
#include "platform/RuntimeError.h"
#include "platform/TurboJpegImaging.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

using test::RecordingImagingLibrary;

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

// What a JPEG file says about itself in the headers before its scan.
struct JpegHeaders {
  std::map<int, std::vector<int>> quantTables;  // id -> 64 values in file (zigzag) order
  std::map<int, int> quantPrecision;            // id -> Pq
  int frameMarker = 0;
  std::vector<int> sampling;  // per component: horizontal << 4 | vertical
  std::vector<int> appMarkers;
};

JpegHeaders ReadHeaders(const QByteArray& jpeg) {
  JpegHeaders headers;
  const auto byte = [&](qsizetype i) { return i < jpeg.size() ? int(uchar(jpeg[i])) : -1; };
  EXPECT_EQ(byte(0), 0xFF);
  EXPECT_EQ(byte(1), 0xD8);
  qsizetype at = 2;
  while (at + 4 <= jpeg.size() && byte(at) == 0xFF) {
    const int marker = byte(at + 1);
    const qsizetype length = byte(at + 2) << 8 | byte(at + 3);
    const qsizetype body = at + 4, end = at + 2 + length;
    if (marker == 0xDA || end > jpeg.size()) break;
    if (marker == 0xDB) {
      for (qsizetype p = body; p < end;) {
        const int pq = byte(p) >> 4, id = byte(p) & 15;
        headers.quantPrecision[id] = pq;
        std::vector<int>& table = headers.quantTables[id];
        for (int k = 0; k < 64; ++k) {
          table.push_back(pq ? byte(p + 1 + 2 * k) << 8 | byte(p + 2 + 2 * k) : byte(p + 1 + k));
        }
        p += 1 + (pq ? 128 : 64);
      }
    } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xCC) {
      headers.frameMarker = marker;
      for (int c = 0; c < byte(body + 5); ++c) headers.sampling.push_back(byte(body + 7 + 3 * c));
    } else if (marker >= 0xE0 && marker <= 0xEF) {
      headers.appMarkers.push_back(marker);
    }
    at = end;
  }
  return headers;
}

// libjpeg's tables from the JPEG standard's annex K, in natural order.
constexpr std::array<int, 64> kLuminance{
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr std::array<int, 64> kChrominance{
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
constexpr std::array<int, 64> kZigzag{
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The table libjpeg writes for a quality: its percentage scaling, kept within 1..255 for a
// baseline file, in the file's zigzag order.
std::vector<int> ScaledTable(const std::array<int, 64>& base, int quality) {
  quality = std::clamp(quality, 1, 100);
  const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
  std::vector<int> table;
  for (int k = 0; k < 64; ++k) {
    table.push_back(std::clamp((base[size_t(kZigzag[size_t(k)])] * scale + 50) / 100, 1, 255));
  }
  return table;
}

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

  const QImage ours = DecodeJpeg(jpeg).pixels();
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
