#include "platform/jpeg/bands/BandWalk.h"
#include "platform/jpeg/bands/SequentialBands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <random>
#include <stop_token>
#include <utility>
#include <vector>

#include "JpegVariants.h"
#include "PhotoSynth.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/jpeg/frame/FrameReader.h"
#include "platform/jpeg/kits/BitWriter.h"
#include "platform/jpeg/kits/HuffmanBits.h"
#include "platform/jpeg/kits/PieceSource.h"
#include "platform/jpeg/session/JpegSession.h"
#include "support/Decoding.h"

namespace brindlewick {
namespace {

std::optional<QImage> Banded(const QByteArray& jpeg, DecodeScale scale, int bands,
                             std::stop_token stop = {}, int threads = 2) {
  const std::optional<JpegFrame> scan = ReadSequentialFrame(jpeg);
  if (!scan) return std::nullopt;
  return DecodeSequentialBands(jpeg, *scan, {scale, threads, stop}, bands);
}

// Every sampling the bands take, odd sizes, qualities from 50 to 100, standard and optimised
// tables, at 2/8 to 4/8 in two to five bands (more bands than threads: the walker goes first, and
// no band waits for it in vain): libjpeg's own pixels.
TEST(SequentialBands, GiveLibjpegsPixelsOnEverySamplingAndScale) {
  const struct {
    const char* name;
    variants::LibjpegEncoding encoding;
  } files[] = {
      {"444", {.lumaH = 1, .lumaV = 1, .quality = 50}},
      {"422", {.lumaH = 2, .lumaV = 1, .quality = 75, .optimise = true}},
      {"422 at 100", {.lumaH = 2, .lumaV = 1, .quality = 100, .optimise = true}},
      {"420", {.lumaH = 2, .lumaV = 2, .quality = 90}},
      {"411", {.lumaH = 4, .lumaV = 1, .quality = 85}},
      {"gray", {.gray = true, .quality = 95, .optimise = true}},
  };
  const QImage photo = SynthesizePhoto(203, 181, 7);
  for (const auto& [name, encoding] : files) {
    const QByteArray jpeg = variants::LibjpegJpeg(photo, encoding);
    for (const DecodeScale scale : {DecodeScale{1, 4}, DecodeScale{3, 8}, DecodeScale{1, 2}}) {
      const QImage whole = test::DecodeJpegAtScale(jpeg, scale);
      for (const int bands : {2, 3, 5}) {
        SCOPED_TRACE(testing::Message() << name << " at " << scale.num << "/" << scale.denom << ", "
                                        << bands << " bands");
        const std::optional<QImage> banded = Banded(jpeg, scale, bands);
        ASSERT_TRUE(banded.has_value());
        EXPECT_EQ(*banded, whole);
      }
    }
  }
}

// On one thread the cuts depend on nothing but the number of bands: at every number, each band
// reads on from its first MCU in step with the file, also where that MCU ends inside a byte 0xFF.
TEST(SequentialBands, GiveLibjpegsPixelsAtEveryNumberOfBands) {
  const QByteArray jpeg = variants::CheckerboardJpeg(1024, 768);
  const QImage whole = test::DecodeJpegAtScale(jpeg, {1, 4});
  for (int bands = 2; bands <= 16; ++bands) {
    const std::optional<QImage> banded = Banded(jpeg, {1, 4}, bands, {}, 1);
    ASSERT_TRUE(banded.has_value()) << bands << " bands";
    EXPECT_TRUE(*banded == whole) << bands << " bands";
  }
}

// A restart marker in data without restart intervals ends it for libjpeg, which shows the rest as
// lost: a band that reads past it gives those pixels or none, never the undamaged picture.
TEST(SequentialBands, StopAtAStrayMarkerAsLibjpegDoes) {
  const QByteArray clean = variants::LibjpegJpeg(SynthesizePhoto(640, 480, 3), {.quality = 95});
  const QByteArray jpeg = variants::WithStrayRestartMarker(clean, 0.85);
  ASSERT_NE(jpeg, clean);
  const QImage libjpegs = test::DecodeJpegAtScale(jpeg, {1, 4});
  for (int bands = 2; bands <= 16; ++bands) {
    if (const std::optional<QImage> banded = Banded(jpeg, {1, 4}, bands, {}, 1)) {
      EXPECT_TRUE(*banded == libjpegs) << bands << " bands";
    }
  }
}

// Whatever a damaged file holds (a flipped byte anywhere, data cut short in any band, bytes
// after the last block), the bands give libjpeg's pixels or refuse it; and a stop asked before
// they start gives none, the bands waiting for the walker let go.
TEST(SequentialBands, RefuseWhatTheyCannotVouchFor) {
  const QByteArray jpeg = variants::LibjpegJpeg(SynthesizePhoto(160, 176, 3), {.quality = 90});
  const std::optional<JpegFrame> scan = ReadSequentialFrame(jpeg);
  ASSERT_TRUE(scan.has_value());
  const qsizetype data = scan->scans[0].data, end = scan->scans[0].end;
  std::vector<QByteArray> damaged{QByteArray(jpeg).insert(end, QByteArray(3, char(0x55))),
                                  jpeg.left(end - 1) + jpeg.mid(end),
                                  jpeg.left(end - 2) + jpeg.mid(end)};
  for (qsizetype at = data + 5; at < end; at += (end - data) / 17) {
    damaged.push_back(jpeg.left(at) + QByteArray("\xff\xd9", 2));
    if (jpeg[at] == char(0xFF) || jpeg[at - 1] == char(0xFF)) continue;
    damaged.push_back(jpeg);
    damaged.back()[at] = char(jpeg[at] ^ 0x5A);
    if (damaged.back()[at] == char(0xFF)) damaged.pop_back();
  }
  int refused = 0;
  for (const QByteArray& file : damaged) {
    for (const int bands : {2, 3, 5}) {
      const std::optional<QImage> banded = Banded(file, {1, 4}, bands);
      if (banded) {
        EXPECT_EQ(*banded, test::DecodeJpegAtScale(file, {1, 4}));
      } else {
        ++refused;
      }
    }
  }
  EXPECT_GT(refused, 0);
  ASSERT_TRUE(Banded(jpeg, {1, 4}, 3).has_value());
  std::stop_source stop;
  stop.request_stop();
  EXPECT_FALSE(Banded(jpeg, {1, 4}, 3, stop.get_token()).has_value());
}

// Stuffed data copied after any number of bits, from and to any of its bytes: a reader of the copy
// reads those bits, then the data's own bytes, eight at a time or one by one, whether a byte of the
// copy needs stuffing or not.
TEST(SequentialBands, CopiedBytesReadAsTheDataAfterTheBitsBefore) {
  std::mt19937 random(27);
  std::vector<int> plain;
  std::vector<qsizetype> rawAt;  // where each byte of data lies, stuffed
  QByteArray stuffed;
  for (int i = 0; i < 2000; ++i) {
    const int byte = i % 97 < 3 ? 0xFF : int(random() % 256);
    plain.push_back(byte);
    rawAt.push_back(stuffed.size());
    stuffed.append(char(byte));
    if (byte == 0xFF) stuffed.append('\0');
  }
  rawAt.push_back(stuffed.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(stuffed.constData());
  for (int pending = 0; pending < 8; ++pending) {
    for (const auto& [from, to] : {std::pair(0, 2000), std::pair(95, 1031), std::pair(7, 8)}) {
      SCOPED_TRACE(testing::Message() << pending << " bits, bytes " << from << " to " << to);
      QByteArray copy;
      BitWriter writer;
      writer.into(copy);
      writer.put(0x5A, pending);
      writer.copyBytes(bytes, rawAt[size_t(from)], rawAt[size_t(to)]);
      writer.flush(false);
      copy.append("\xFF\xD9", 2);
      BitReader reader(reinterpret_cast<const unsigned char*>(copy.constData()), 0,
                       copy.size() - 2);
      EXPECT_EQ(reader.bits(pending), 0x5A & ((1 << pending) - 1));
      for (int i = from; i < to; ++i) ASSERT_EQ(reader.bits(8), plain[size_t(i)]) << i;
      EXPECT_FALSE(reader.broken());
    }
  }
}

// On a model of the display (the walker at w of a band's decoding time per unit of work, each
// decoder at one unit per unit of time from `late` after its cut), the cuts BandCutDue makes end
// every band at once, as shares worked out in advance for that w would; a first band whose
// decoder starts late is cut shorter. Returns the first cut and the bands' ends.
std::pair<double, std::vector<double>> Cut(int bands, double w, double late = 0) {
  std::vector<double> cuts{0}, starts{late}, ends;
  for (double t = 0; cuts.size() < size_t(bands) && t < w; t += 1e-5) {
    const double here = t / w, from = cuts.back(),
                 reached = from + std::max(0.0, t - starts.back());
    if (BandCutDue(here, here - reached, reached - from, here - from, bands - int(cuts.size()))) {
      cuts.push_back(here), starts.push_back(t);
    }
  }
  cuts.push_back(1);
  for (size_t k = 0; k + 1 < cuts.size(); ++k) ends.push_back(starts[k] + cuts[k + 1] - cuts[k]);
  return {cuts[1], ends};
}

TEST(SequentialBands, AreCutSoThatEveryBandEndsAtOnce) {
  for (const int bands : {2, 4, 8}) {
    for (const double w : {0.25, 0.33, 0.4}) {
      const std::vector<double> ends = Cut(bands, w).second;
      ASSERT_EQ(ends.size(), size_t(bands));
      for (const double end : ends) EXPECT_NEAR(end, w / (1 - std::pow(1 - w, bands)), 0.002);
    }
  }
  const auto [lateCut, lateEnds] = Cut(2, 0.33, 0.05);
  EXPECT_LT(lateCut, Cut(2, 0.33).first - 0.02);
  EXPECT_NEAR(lateEnds[0], lateEnds[1], 0.002);
}

std::atomic<std::stop_source*> stopping{nullptr};

// A stop asked as a later band's stream hands libjpeg its first piece, while the bands above may
// still be decoding or waiting for the walk: every band lets go, and the decode gives none.
TEST(SequentialBands, AStopAskedWhileTheyDecodeEndsThemAll) {
  const QByteArray jpeg = variants::LibjpegJpeg(SynthesizePhoto(320, 400, 5), {.quality = 95});
  for (const int bands : {2, 5}) {
    std::stop_source stop;
    stopping = &stop;
    ObservePiecesForTest([] { stopping.load()->request_stop(); });
    EXPECT_FALSE(Banded(jpeg, {3, 8}, bands, stop.get_token()).has_value()) << bands;
    ObservePiecesForTest(nullptr);
    EXPECT_TRUE(stop.stop_requested());
  }
}

}  // namespace
}  // namespace brindlewick
