#include "platform/jpeg/split/SplitScan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "JpegVariants.h"
#include "PhotoSynth.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/jpeg/bands/RestartBands.h"
#include "platform/jpeg/bands/SequentialBands.h"
#include "platform/jpeg/frame/FrameReader.h"
#include "platform/jpeg/frame/IdctReads.h"
#include "platform/jpeg/kits/BitWriter.h"
#include "platform/jpeg/kits/HuffmanBits.h"
#include "platform/jpeg/session/JpegSession.h"
#include "platform/jpeg/split/BaselineSplit.h"
#include "support/Decoding.h"

namespace brindlewick {
namespace {

using variants::LibjpegEncoding;

// The split stream at eighths/8 decoded by libjpeg; none when it was refused. Where the bands
// take it from its intervals held one by one, they must give the same pixels, and let them go.
std::optional<QImage> Split(const QByteArray& jpeg, int eighths, const SplitOptions& options,
                            int* used = nullptr, bool* inBands = nullptr) {
  JpegSession header;
  const std::optional<JpegFrame> scan = ReadSequentialFrame(jpeg);
  if (!header.readHeader(jpeg) || !scan) return std::nullopt;
  const std::optional<std::vector<int>> idcts = IdctSizes(header, {eighths, 8});
  std::optional<SplitStream> stream =
      SplitSequentialScan(jpeg, *scan, idcts.value_or(std::vector<int>()), options);
  if (!stream) return std::nullopt;
  if (used) *used = stream->used;
  const QByteArray joined = stream->joined();
  JpegSession session({}, JpegSession::OnWarning::Fail);
  if (!session.readHeader(joined)) return std::nullopt;
  std::optional<QImage> whole = session.decode({eighths, 8}, false);
  JpegSession bands({}, JpegSession::OnWarning::Fail);
  EXPECT_TRUE(bands.readHeader(stream->headers));
  const std::optional<QImage> banded =
      DecodeIntervalsInBands(bands, stream->headers, stream->bodies, {{eighths, 8}, 2, {}});
  if (banded) {
    EXPECT_EQ(*banded, whole.value_or(QImage()));
  }
  EXPECT_EQ(stream->bodies.empty(), banded.has_value());
  if (inBands) *inBands = banded.has_value();
  return whole;
}

// Readers started anywhere in stuffed data say the same position for the same bit: what the parts
// meet by.
TEST(SplitScan, ReadersStartedAnywhereAgreeOnPositions) {
  QByteArray data;
  for (int i = 0; i < 96; ++i) {
    data.append(char(i * 37 % 251));
    if (i % 5 == 2) data.append(char(0xFF)).append(char(0x00));  // stuffed
  }
  data.append(char(0xFF)).append(char(0xD9));
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
  const qsizetype end = data.size() - 2;
  std::vector<qint64> whole;  // the position of every bit, read one at a time from the start
  for (BitReader from(bytes, 0, end); !from.readPastData(); from.bits(1)) {
    whole.push_back(from.position());
  }
  for (qsizetype start = 1; start < end; ++start) {
    if (bytes[start - 1] == 0xFF) continue;  // a stuffed zero is never a start
    BitReader later(bytes, start, end);
    auto bit = std::find(whole.begin(), whole.end(), later.position());
    ASSERT_NE(bit, whole.end()) << start;
    // Reads of 1 to 7 bits: each lands where the reader from the start stood after as many.
    for (int n = 1; whole.end() - bit > 8; n = n % 7 + 1) {
      later.bits(n);
      bit += n;
      ASSERT_EQ(later.position(), *bit) << start;
    }
  }
}

struct Variant {
  const char* name;
  LibjpegEncoding encoding;
};

// Odd sizes, qualities from 50 to 100, standard and optimised tables, every sampling; parts of a
// few hundred bytes, each recording every block start (they fall into step), or only its first
// (the part before then takes most of them over).
TEST(SplitScan, GivesLibjpegsPixelsOnEverySamplingAndScale) {
  const std::vector<Variant> variants{
      {"444", {.lumaH = 1, .lumaV = 1, .quality = 50}},
      {"422", {.lumaH = 2, .lumaV = 1, .quality = 75, .optimise = true}},
      {"420", {.lumaH = 2, .lumaV = 2, .quality = 90}},
      {"440", {.lumaH = 1, .lumaV = 2, .quality = 100, .optimise = true}},
      {"411", {.lumaH = 4, .lumaV = 1, .quality = 85}},
      {"gray", {.gray = true, .quality = 95, .optimise = true}},
      {"ycck", {.lumaH = 1, .lumaV = 1, .quality = 80, .cmykBlack = 40}},
  };
  const QImage photo = SynthesizePhoto(203, 157, 7);
  std::vector<std::pair<const char*, QByteArray>> files;
  for (const Variant& v : variants)
    files.emplace_back(v.name, variants::LibjpegJpeg(photo, v.encoding));
  files.emplace_back("cmyk", variants::CmykJpeg(photo, 70, 200));
  for (const auto& [name, jpeg] : files) {
    for (const int eighths : {1, 2, 3, 4}) {
      const QImage whole = test::DecodeJpegAtScale(jpeg, {eighths, 8});
      for (const SplitOptions& options :
           {SplitOptions{3, 1, 1, 4096, 3}, SplitOptions{4, 2, 1, 1, 5},
            SplitOptions{2, 2, 1, 4096, 1}}) {
        SCOPED_TRACE(testing::Message()
                     << name << " at " << eighths << "/8, " << options.parts << " parts, "
                     << options.marks << " marks, " << options.intervals << " intervals");
        int used = 0;
        bool inBands = false;
        const std::optional<QImage> split = Split(jpeg, eighths, options, &used, &inBands);
        ASSERT_TRUE(split.has_value());
        EXPECT_EQ(*split, whole);
        // Bands take three components or grey, and a stream of more than one interval.
        const bool cmyk = name == std::string("cmyk") || name == std::string("ycck");
        EXPECT_EQ(inBands, !cmyk && options.intervals > 1);
        // On one thread the last part goes first, so every part is met; on two, a part whose
        // thread starts late may be taken over, which only costs time.
        if (options.marks > 1 && options.threads == 1) {
          EXPECT_EQ(used, options.parts);
        }
      }
    }
  }
}

// A picture of one MCU cut into four parts that record two marks each: where a part is met at the
// very block where it meets the next, the chain goes on with that next part.
TEST(SplitScan, PassesOverAPartMetWhereItMeetsTheNext) {
  const QByteArray jpeg = variants::LibjpegJpeg(SynthesizePhoto(8, 8, 3), {});
  for (const int eighths : {1, 2, 4}) {
    int used = 0;
    const std::optional<QImage> split = Split(jpeg, eighths, {4, 1, 1, 2, 1}, &used);
    ASSERT_TRUE(split.has_value()) << eighths;
    EXPECT_EQ(*split, test::DecodeJpegAtScale(jpeg, {eighths, 8})) << eighths;
    EXPECT_EQ(used, 2) << eighths;
  }
}

// Whatever a damaged file holds, the split gives libjpeg's pixels or refuses the file.
TEST(SplitScan, RefusesWhatLibjpegWouldWarnAbout) {
  const QByteArray jpeg = variants::LibjpegJpeg(SynthesizePhoto(160, 120, 3), {.quality = 90});
  const std::optional<JpegFrame> scan = ReadSequentialFrame(jpeg);
  ASSERT_TRUE(scan.has_value());
  const qsizetype data = scan->scans[0].data, end = scan->scans[0].end;
  QByteArray trailing = jpeg, stuffedEnd = jpeg;
  trailing.insert(end, QByteArray(3, char(0x55)));
  std::vector<QByteArray> refused{trailing};
  for (qsizetype cut : {data + (end - data) / 2, end - 3}) {
    refused.push_back(jpeg.left(cut) + QByteArray("\xff\xd9", 2));
  }
  const SplitOptions options{3, 2, 1, 4096};
  for (const QByteArray& file : refused) EXPECT_FALSE(Split(file, 1, options).has_value());
  for (qsizetype at = data + 7; at < end; at += (end - data) / 13) {
    QByteArray damaged = jpeg;
    damaged[at] = char(damaged[at] ^ 0x5A);
    if (damaged[at] == char(0xFF)) continue;
    JpegSession whole({}, JpegSession::OnWarning::Fail);
    const bool clean = whole.readHeader(damaged) && whole.decode({2, 8}, false).has_value();
    const std::optional<QImage> split = Split(damaged, 2, options);
    if (split) {
      EXPECT_TRUE(clean) << at;
      EXPECT_EQ(*split, test::DecodeJpegAtScale(damaged, {2, 8})) << at;
    }
  }
}

// A grey picture each of whose blocks adds 32767 to the DC value, the largest difference a DC table
// may code: past an int's range from the 65,538th block on.
QByteArray ClimbingDcJpeg(int width, int height) {
  QByteArray jpeg("\xFF\xD8", 2);
  const auto segment = [&](int marker, const QByteArray& body) {
    const int length = int(body.size()) + 2;
    jpeg.append(char(0xFF)).append(char(marker)).append(char(length >> 8)).append(char(length));
    jpeg.append(body);
  };
  const auto bytes = [](std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) out.append(char(v));
    return out;
  };
  segment(0xDB, QByteArray(1, '\0') + QByteArray(64, char(1)));
  segment(0xC0, bytes({8, height >> 8, height & 0xFF, width >> 8, width & 0xFF, 1, 1, 0x11, 0}));
  // One code each, "0": the DC difference's size 15, and the end of the block.
  segment(0xC4, bytes({0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 15}));
  segment(0xC4, bytes({0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00}));
  segment(0xDA, bytes({1, 1, 0x00, 0, 63, 0}));
  BitWriter writer;
  writer.into(jpeg);
  for (qint64 block = 0; block < qint64(width / 8) * (height / 8); ++block) {
    writer.put(0x7FFF << 1, 17);  // the code, +32767, the end of the block
  }
  writer.flush();
  return jpeg.append("\xFF\xD9", 2);
}

// DC values summed past an int's range, which libjpeg lets wrap around: one part, parts chained,
// and the bands leave the file to it, without overflowing on the way (the sanitized build checks).
TEST(SplitScan, LeavesDcValuesPastAnIntToLibjpeg) {
  const QByteArray jpeg = ClimbingDcJpeg(2048, 2056);
  for (const int parts : {1, 2, 3}) {
    EXPECT_FALSE(Split(jpeg, 1, {parts, 2, 1, 4096, 2}).has_value()) << parts << " parts";
  }
  const std::optional<JpegFrame> scan = ReadSequentialFrame(jpeg);
  ASSERT_TRUE(scan.has_value());
  EXPECT_FALSE(DecodeSequentialBands(jpeg, *scan, {{1, 4}, 2, {}}, 2).has_value());
}

// A photo whose data is long enough to cut, as the program decodes it for a first view on two
// cores: libjpeg's one-thread pixels, turned upright; none once the stop is asked.
TEST(SplitScan, DecodesAPhotoForTheFirstViewOnTwoCores) {
  const QByteArray jpeg = variants::WithExifOrientation(
      variants::LibjpegJpeg(SynthesizePhoto(1400, 1000, 11), {.quality = 97}), 6);
  JpegSession header;
  ASSERT_TRUE(header.readHeader(jpeg));
  const std::optional<QImage> split = DecodeBaselineSplit(header, jpeg, {{1, 8}, 2, {}});
  ASSERT_TRUE(split.has_value()) << jpeg.size();
  EXPECT_EQ(*split, test::DecodeJpegAtScale(jpeg, {1, 8}));
  const auto eighth = [](QSize natural) { return QSizeF(natural) / 8; };
  EXPECT_EQ(test::DecodeJpeg(jpeg, {eighth, 2, {}}).pixels(),
            test::DecodeJpeg(jpeg, {eighth, 1, {}}).pixels());
  std::stop_source stop;
  stop.request_stop();
  JpegSession again;
  ASSERT_TRUE(again.readHeader(jpeg));
  EXPECT_FALSE(DecodeBaselineSplit(again, jpeg, {{1, 8}, 2, stop.get_token()}).has_value());
}

}  // namespace
}  // namespace brindlewick
