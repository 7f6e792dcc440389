#include "FuzzTargets.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "JpegVariants.h"

#include "modules/SaveAsJPG.h"
#include "platform/errors/RuntimeError.h"
#include "platform/jpeg/ExifOrientation.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/jpeg/JpegEncoder.h"
#include "platform/jpeg/bands/RestartBands.h"
#include "platform/jpeg/bands/RestartIntervals.h"
#include "platform/jpeg/bands/SequentialBands.h"
#include "platform/jpeg/frame/FrameReader.h"
#include "platform/jpeg/frame/IdctReads.h"
#include "platform/jpeg/progressive/ProgressiveDecoder.h"
#include "platform/jpeg/progressive/ProgressiveTranscoder.h"
#include "platform/jpeg/progressive/ScanPruning.h"
#include "platform/jpeg/session/JpegSession.h"
#include "platform/jpeg/split/SplitScan.h"
#include "platform/jpeg/ways/DecodeWays.h"
#include "platform/skin/CursorFile.h"
#include "settings/Application.h"
#include "settings/SettingText.h"
#include "settings/SettingsStore.h"
#include "support/Decoding.h"
#include "view/FitGeometry.h"

namespace brindlewick::fuzz {
namespace {

QByteArray Bytes(const uint8_t* data, size_t size) {
  return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The stream made on threads and decoded by libjpeg as it comes gives libjpeg's pixels of the
// whole file, wherever libjpeg decodes that without a warning.
void PipelinedEqualsLibjpeg(const QByteArray& bytes, int threads) {
  for (const int eighths : {1, 2, 8}) {
    JpegSession header;
    if (!header.readHeader(bytes)) return;
    const std::optional<QImage> pipelined =
        DecodeProgressiveStream(header, bytes, {{eighths, 8}, threads, {}});
    if (!pipelined) continue;
    JpegSession whole;
    if (!whole.readHeader(bytes)) __builtin_trap();
    const std::optional<QImage> reference = whole.decode({eighths, 8});
    if (whole.warningsForTest() == 0 && reference != pipelined) __builtin_trap();
  }
}

// Where the bands take the file, they give libjpeg's pixels of the whole file at the request's
// scale, or none. `whole` keeps those pixels once they have been decoded.
void BandsEqualLibjpeg(const CodingFacts& facts, const QByteArray& bytes, const JpegFrame& scan,
                       const DecodeRequest& request, int bands, std::optional<QImage>& whole) {
  if (!WayTakes(DecodeWay::Bands, facts, request.scale)) return;
  const std::optional<QImage> banded = DecodeSequentialBands(bytes, scan, request, bands);
  if (!banded) return;
  try {
    if (!whole) whole = test::DecodeJpegAtScale(bytes, request.scale);
  } catch (const RuntimeError&) {
    __builtin_trap();
  }
  if (*banded != *whole) __builtin_trap();
}

}  // namespace

void Picture(const uint8_t* data, size_t size) {
  const QByteArray bytes = Bytes(data, size);
  try {
    // As the program's view asks for it: fitted into 685 x 485, on every core.
    const PaintSizeFor fitted = [](QSize natural) {
      return QSizeF(natural) * FitScale(natural.width(), natural.height(), 685, 485);
    };
    const brindlewick::Picture picture = test::DecodeJpeg(bytes, {fitted, 4, {}});
    QualityFromRatio(picture.width(), picture.height(), qint64(size) + 1);
  } catch (const RuntimeError&) {
    // A clear failure is the right answer to a bad file.
  }
}

void ProgressiveScans(const uint8_t* data, size_t size) {
  const QByteArray bytes = Bytes(data, size);
  JpegSession header;
  const std::optional<JpegFrame> progression = ReadProgressiveFrame(bytes);
  if (progression && header.readHeader(bytes)) {
    for (int eighths = 1; eighths < 8; ++eighths) {
      const std::optional<std::vector<int>> idctSizes = IdctSizes(header, {eighths, 8});
      if (!idctSizes || idctSizes->size() != progression->components.size()) break;
      const std::optional<QByteArray> pruned =
          PruneProgressiveScans(bytes, *progression, *idctSizes);
      // Only whole scans go: a shorter stream that still starts and ends as a JPEG.
      if (pruned && (pruned->size() >= bytes.size() || !pruned->startsWith("\xff\xd8") ||
                     !pruned->endsWith("\xff\xd9"))) {
        __builtin_trap();
      }
      // The decode below holds declared sizes to the program's limits; here, to the fuzzer's.
      if (qint64(progression->width) * progression->height <= (qint64(1) << 22)) {
        // Made on threads of its own, the stream is the one made on one.
        const std::optional<QByteArray> one =
            test::SequentialForScale(bytes, *progression, *idctSizes);
        const std::optional<QByteArray> three =
            test::SequentialForScale(bytes, *progression, *idctSizes, kStripeStoreBytes, 3);
        if (one && three && *one != *three) __builtin_trap();
      }
    }
    if (qint64(progression->width) * progression->height <= (qint64(1) << 20)) {
      for (const int threads : {2, 3}) PipelinedEqualsLibjpeg(bytes, threads);
    }
  }
  try {
    test::DecodeJpeg(bytes, {[](QSize natural) { return QSizeF(natural) / 8; }, 1, {}});
  } catch (const RuntimeError&) {
  }
}

void RestartBands(const uint8_t* data, size_t size) {
  const QByteArray bytes = Bytes(data, size);
  JpegSession header;
  if (!header.readHeader(bytes)) return;
  const std::optional<RestartIntervals> layout = ReadRestartIntervals(header, bytes);
  if (!layout) return;
  // Small pictures only: a hostile header may declare a huge one with next to no data.
  if (qint64(layout->width) * layout->height > (qint64(1) << 22)) return;
  const std::optional<QImage> banded = DecodeRestartBands(header, bytes, {{1, 8}, 4, {}}, 3);
  if (!banded) return;
  // Bands are refused at the first warning, but may skip without a word bytes that the whole
  // file warns of: the whole-file decode must succeed, with the same pixels.
  try {
    if (*banded != test::DecodeJpegAtScale(bytes, {1, 8})) __builtin_trap();
  } catch (const RuntimeError&) {
    __builtin_trap();
  }
}

void BaselineSplit(const uint8_t* data, size_t size) {
  const QByteArray bytes = Bytes(data, size);
  const std::optional<JpegFrame> scan = ReadSequentialFrame(bytes);
  JpegSession header;
  // Small pictures only: a hostile header may declare a huge one with next to no data.
  if (!scan || qint64(scan->width) * scan->height > (qint64(1) << 20) ||
      !header.readHeader(bytes)) {
    return;
  }
  for (const int eighths : {1, 2, 4}) {
    const std::optional<std::vector<int>> idctSizes = IdctSizes(header, {eighths, 8});
    if (!idctSizes) return;
    for (const SplitOptions& options :
         {SplitOptions{3, 2, 1, 4096, 3}, SplitOptions{4, 1, 1, 2, 1}}) {
      const std::optional<SplitStream> stream =
          SplitSequentialScan(bytes, *scan, *idctSizes, options);
      if (!stream) continue;
      const QByteArray joined = stream->joined();
      // The stream keeps the file's APP segments, and with them any warning they raise.
      JpegSession split({}, JpegSession::OnWarning::Fail), strict({}, JpegSession::OnWarning::Fail);
      if (!split.readHeader(joined)) {
        if (strict.readHeader(bytes)) __builtin_trap();
        continue;
      }
      const std::optional<QImage> pixels = split.decode({eighths, 8}, false);
      if (!pixels) continue;  // the file's own segments may warn, and so refuse the stream
      try {
        if (*pixels != test::DecodeJpegAtScale(bytes, {eighths, 8})) __builtin_trap();
      } catch (const RuntimeError&) {
        __builtin_trap();
      }
    }
  }
  const CodingFacts facts = ReadCodingFacts(header, bytes);
  // The larger views: bands decoded by libjpeg from starts a walk over the codes found, on two
  // threads, and on one, where the cuts depend on the number of bands alone, at every number up to
  // eight.
  for (const DecodeScale scale : {DecodeScale{1, 4}, DecodeScale{3, 8}}) {
    std::optional<QImage> whole;
    for (int bands = 2; bands <= 8; ++bands) {
      if (bands <= 3) BandsEqualLibjpeg(facts, bytes, *scan, {scale, 2, {}}, bands, whole);
      if (scale == DecodeScale{1, 4}) {
        BandsEqualLibjpeg(facts, bytes, *scan, {scale, 1, {}}, bands, whole);
      }
    }
  }
}

void ExifOrientation(const uint8_t* data, size_t size) {
  // The EXIF block as the decoder finds it: the first APP1 segment with the EXIF header that
  // libjpeg keeps while it reads the header.
  const QByteArray bytes = Bytes(data, size);
  JpegSession header;
  header.readHeader(bytes, true);
  const auto transformation =
      ExifTransformation(header.savedSegment(JPEG_APP0 + 1, {kExifHeader, sizeof kExifHeader}));
  QImage image(3, 2, QImage::Format_RGB32);
  image.fill(Qt::red);
  const QImage upright = ApplyTransformation(image, transformation);
  if (upright.size() != (SwapsSides(transformation) ? QSize(2, 3) : QSize(3, 2))) __builtin_trap();
}

namespace {

// The three kinds of picture a profile can be for, small and valid, made once.
const QByteArray& PictureOfKind(int kind) {
  static const std::array<QByteArray, 3> pictures = [] {
    QImage image(24, 16, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 10, y * 15, 128));
    }
    return std::array<QByteArray, 3>{EncodeJpeg(image, {90}),
                                     EncodeJpeg(image, {90, ChromaSubsampling::Gray}),
                                     variants::CmykJpeg(image, 90)};
  }();
  return pictures[size_t(kind % 3)];
}

}  // namespace

void ColourProfile(const uint8_t* data, size_t size) {
  if (size < 1) return;
  QByteArray segments;
  for (size_t at = 1; at + 4 <= size;) {
    const size_t length = std::min<size_t>(size_t(data[at + 2]) << 8 | data[at + 3], size - at - 4);
    const QByteArray chunk(reinterpret_cast<const char*>(data + at + 4), qsizetype(length));
    const qsizetype segment = 2 + 12 + 2 + chunk.size();
    if (segment > 0xFFFF) break;
    segments += QByteArray("\xff\xe2", 2) + char(segment >> 8) + char(segment & 0xff);
    segments += QByteArray("ICC_PROFILE\0", 12) + char(data[at]) + char(data[at + 1]) + chunk;
    at += 4 + length;
  }
  const QByteArray jpeg = variants::WithSegmentsFirst(PictureOfKind(data[0]), segments);
  try {
    for (const QSizeF painted : {QSizeF(24, 16), QSizeF(3, 2)}) {
      const brindlewick::Picture picture =
          test::DecodeJpeg(jpeg, {[painted](QSize) { return painted; }, 2});
      if (picture.naturalSize() != QSize(24, 16)) __builtin_trap();
    }
  } catch (const RuntimeError&) {
    __builtin_trap();  // the picture is valid whatever its profile: it must always show
  }
}

void SettingsFile(const uint8_t* data, size_t size) {
  // A folder of its own for every input: the settings library caches files by name.
  static QTemporaryDir root;
  static int run = 0;
  const QString folder = root.path() + QStringLiteral("/%1").arg(++run);
  QDir().mkpath(folder);
  SettingsStore store(folder);
  {
    QFile file(store.fileFor(QLatin1String(kSettingsApplication)));
    if (!file.open(QIODevice::WriteOnly)) __builtin_trap();
    file.write(reinterpret_cast<const char*>(data), qsizetype(size));
  }
  const QString app = QLatin1String(kSettingsApplication), section = QLatin1String(kProductName);
  try {
    BooleanFromText(
        store.GetSetting(app, section, QStringLiteral("Option21"), QStringLiteral("1")));
  } catch (const RuntimeError&) {
  }
  try {
    BooleanFromText(
        store.GetSetting(app, section, QStringLiteral("Option22"), QStringLiteral("0")));
  } catch (const RuntimeError&) {
  }
  try {
    LongFromText(store.GetSetting(app, section, QStringLiteral("Slider1"), QStringLiteral("85")));
  } catch (const RuntimeError&) {
  }
  try {
    store.SaveSetting(app, section, QStringLiteral("Slider1"), QStringLiteral("60"));
  } catch (const RuntimeError&) {
  }
  QDir(folder).removeRecursively();
}

void CursorFile(const uint8_t* data, size_t size) {
  try {
    const CursorImage cursor = DecodeCursor(Bytes(data, size));
    if (!QRect(QPoint(0, 0), cursor.image.size()).contains(cursor.hotSpot)) __builtin_trap();
    for (const CursorImage& other : cursor.others) {
      if (!QRect(QPoint(0, 0), other.image.size()).contains(other.hotSpot)) __builtin_trap();
    }
    const CursorImage dense = CursorForRatio(cursor, 2);
    if (!QRect(QPoint(0, 0), dense.image.size()).contains(dense.hotSpot)) __builtin_trap();
  } catch (const RuntimeError&) {
  }
}

}  // namespace brindlewick::fuzz
