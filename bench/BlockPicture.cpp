#include "BlockPicture.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it
#include <optional>
#include <vector>

#include <jpeglib.h>

#include "PartFile.h"

namespace brindlewick::bench {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kQuality = 90;
constexpr double kPi = 3.14159265358979323846;

// Writes in chunks, so a 64 MiB picture costs a few hundred calls.
class ByteSink {
 public:
  explicit ByteSink(FILE* file) : file_(file) { buffer_.reserve(kChunk); }
  void put(uint8_t byte) {
    buffer_.push_back(byte);
    if (buffer_.size() == kChunk) flush();
  }
  void put(const Bytes& bytes) {
    for (const uint8_t byte : bytes) put(byte);
  }
  bool flush() {
    ok_ = ok_ && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) == buffer_.size();
    buffer_.clear();
    return ok_;
  }

 private:
  static constexpr size_t kChunk = size_t(1) << 20;
  FILE* file_;
  Bytes buffer_;
  bool ok_ = true;
};

// Entropy-coded bits, most significant first, with a zero byte stuffed after each 0xFF.
class BitWriter {
 public:
  explicit BitWriter(ByteSink& sink) : sink_(sink) {}
  void put(uint32_t bits, int count) {
    held_ = (held_ << count) | (bits & ((uint32_t(1) << count) - 1));
    count_ += count;
    while (count_ >= 8) {
      count_ -= 8;
      const auto byte = uint8_t(held_ >> count_);
      sink_.put(byte);
      if (byte == 0xFF) sink_.put(0);
    }
  }
  // The end of a scan: the last byte filled with one bits.
  void finish() {
    if (count_ > 0) put(0xFF, 8 - count_);
  }

 private:
  ByteSink& sink_;
  uint64_t held_ = 0;
  int count_ = 0;
};

// A Huffman table as DHT stores it: how many codes of each length 1..16, then the symbols.
struct HuffmanTable {
  std::array<uint8_t, 16> counts{};
  Bytes symbols;
};

struct HuffmanCodes {
  std::array<uint16_t, 256> code{};
  std::array<uint8_t, 256> length{};
};

HuffmanCodes CodesOf(const HuffmanTable& table) {
  HuffmanCodes codes;
  uint32_t code = 0;
  size_t k = 0;
  for (int length = 1; length <= 16; ++length, code <<= 1) {
    for (int i = 0; i < table.counts[size_t(length - 1)]; ++i, ++code, ++k) {
      codes.code[table.symbols[k]] = uint16_t(code);
      codes.length[table.symbols[k]] = uint8_t(length);
    }
  }
  return codes;
}

// libjpeg's own tables: its quantisation at the quality, in natural order, and the standard
// Huffman tables; [0] luma, [1] chroma.
struct Tables {
  std::array<std::array<uint16_t, 64>, 2> quant{};
  std::array<HuffmanTable, 2> dc, ac;
};

HuffmanTable TableOf(const JHUFF_TBL& libjpeg) {
  HuffmanTable table;
  int total = 0;
  for (int i = 0; i < 16; ++i) total += table.counts[size_t(i)] = libjpeg.bits[i + 1];
  table.symbols.assign(libjpeg.huffval, libjpeg.huffval + total);
  return table;
}

Tables LibjpegTables() {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  info.in_color_space = JCS_RGB;
  info.input_components = 3;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, kQuality, TRUE);
  Tables tables;
  for (size_t t = 0; t < 2; ++t) {
    std::copy_n(info.quant_tbl_ptrs[t]->quantval, 64, tables.quant[t].begin());
    tables.dc[t] = TableOf(*info.dc_huff_tbl_ptrs[t]);
    tables.ac[t] = TableOf(*info.ac_huff_tbl_ptrs[t]);
  }
  jpeg_destroy_compress(&info);
  return tables;
}

// The progressive AC scans' table: runs of 1 to 32767 empty blocks (EOB0..EOB14) and the
// coefficients of the grid's blocks, all six bits long.
HuffmanTable ProgressiveAcTable() {
  HuffmanTable table;
  for (int runBits = 0; runBits <= 14; ++runBits) table.symbols.push_back(uint8_t(runBits << 4));
  for (int run = 0; run <= 1; ++run) {
    for (int size = 1; size <= 10; ++size) table.symbols.push_back(uint8_t(run << 4 | size));
  }
  table.counts[5] = uint8_t(table.symbols.size());
  return table;
}

// Zigzag position k -> index in the block's natural (row-major) order.
std::array<int, 64> ZigzagOrder() {
  std::array<int, 64> order{};
  int k = 0;
  for (int diagonal = 0; diagonal < 15; ++diagonal) {
    const int low = std::max(0, diagonal - 7), high = std::min(diagonal, 7);
    for (int i = low; i <= high; ++i) {
      const int row = diagonal % 2 ? i : low + high - i;
      order[size_t(k++)] = row * 8 + (diagonal - row);
    }
  }
  return order;
}

// One block's quantised coefficients: DC and the first two AC ones in zigzag order.
struct Block {
  int dc = 0;
  int ac1 = 0;  // across: a vertical line
  int ac2 = 0;  // down: a horizontal line
};

// What the picture shows, block by block.
class Content {
 public:
  Content(int width, int height, const Tables& tables)
      : width_(width),
        height_(height),
        lumaStep_(tables.quant[0][0]),
        chromaStep_(tables.quant[1][0]) {}

  Block luma(int bx, int by) const {
    const double x = bx * 8 + 4, y = by * 8 + 4;
    const double level = mark(x, y).value_or(30 + 170 * (0.65 * x / width_ + 0.35 * y / height_));
    Block block{Quantise(level, lumaStep_)};
    if (bx % 128 == 64) block.ac1 = 40;
    if (by % 128 == 64) block.ac2 = 40;
    return block;
  }

  // component 1 is Cb, 2 is Cr: one flat colour a tile, grey on the discs.
  Block chroma(int component, int bx, int by) const {
    const double x = bx * 16 + 8, y = by * 16 + 8;
    if (mark(x, y)) return {Quantise(128, chromaStep_)};
    const int tx = std::min(7, int(x * 8 / width_)), ty = std::min(7, int(y * 8 / height_));
    const double hue = 2 * kPi * ((tx * 3 + ty * 5) % 8) / 8 + ty * 0.3;
    const double level = 128 + 48 * (component == 1 ? std::cos(hue) : std::sin(hue));
    return {Quantise(level, chromaStep_)};
  }

 private:
  // Blocks past the picture's edge (an MCU's padding) would go past the 8-bit range.
  static int Quantise(double level, int step) {
    return int(std::lround((std::clamp(level, 0.0, 255.0) - 128) * 8 / step));
  }

  // The discs that show the picture's orientation: white in the top-left tile, black right of it.
  std::optional<double> mark(double x, double y) const {
    const double tileW = width_ / 8.0, tileH = height_ / 8.0;
    const double radius = 0.35 * std::min(tileW, tileH);
    const double dy = y - tileH / 2;
    const double dxWhite = x - tileW / 2, dxBlack = x - tileW * 1.5;
    if (dxWhite * dxWhite + dy * dy < radius * radius) return 235.0;
    if (dxBlack * dxBlack + dy * dy < radius * radius * 0.36) return 16.0;
    return std::nullopt;
  }

  double width_, height_;
  int lumaStep_, chromaStep_;
};

// A coefficient's category code (run of zeros before it, for AC) and its bits.
void PutValue(BitWriter& out, const HuffmanCodes& table, int run, int value) {
  const int size = std::bit_width(unsigned(value < 0 ? -value : value));
  const int symbol = run << 4 | size;
  out.put(table.code[size_t(symbol)], table.length[size_t(symbol)]);
  if (size > 0) out.put(uint32_t(value < 0 ? value - 1 : value), size);
}

struct Coder {
  HuffmanCodes dc, ac;
};

// A block of a sequential scan, or (ac null) of a progressive DC scan.
void PutBlock(BitWriter& out, const Block& block, int& prediction, const HuffmanCodes& dc,
              const HuffmanCodes* ac) {
  PutValue(out, dc, 0, block.dc - prediction);
  prediction = block.dc;
  if (!ac) return;
  int run = 0;
  for (const int coefficient : {block.ac1, block.ac2}) {
    if (coefficient == 0) {
      ++run;
    } else {
      PutValue(out, *ac, run, coefficient);
      run = 0;
    }
  }
  out.put(ac->code[0x00], ac->length[0x00]);  // nothing after the first two
}

struct Geometry {
  int width, height;
  int mcusAcross() const { return (width + 15) / 16; }
  int mcusDown() const { return (height + 15) / 16; }
};

// The interleaved scan, MCU by MCU: four luma blocks, Cb, Cr. Without AC tables only the DC.
void PutInterleavedScan(BitWriter& out, const Content& content, const Geometry& geometry,
                        const std::array<Coder, 2>& coders, bool withAc, int64_t mcuLimit) {
  std::array<int, 3> prediction{};
  int64_t mcus = 0;
  for (int my = 0; my < geometry.mcusDown(); ++my) {
    for (int mx = 0; mx < geometry.mcusAcross(); ++mx) {
      if (mcuLimit >= 0 && mcus++ >= mcuLimit) return;
      for (int i = 0; i < 4; ++i) {
        PutBlock(out, content.luma(mx * 2 + i % 2, my * 2 + i / 2), prediction[0], coders[0].dc,
                 withAc ? &coders[0].ac : nullptr);
      }
      for (int c = 1; c <= 2; ++c) {
        PutBlock(out, content.chroma(c, mx, my), prediction[size_t(c)], coders[1].dc,
                 withAc ? &coders[1].ac : nullptr);
      }
    }
    if (my % 256 == 255) {
      std::printf("\r  MCU row %d of %d", my + 1, geometry.mcusDown());
      std::fflush(stdout);
    }
  }
  if (geometry.mcusDown() >= 256) std::printf("\n");
}

// A run of blocks with nothing left to code, as EOBn and n bits.
void PutEndOfBands(BitWriter& out, const HuffmanCodes& ac, int& run) {
  if (run == 0) return;
  const int bits = std::bit_width(unsigned(run)) - 1;
  out.put(ac.code[size_t(bits << 4)], ac.length[size_t(bits << 4)]);
  if (bits > 0) out.put(uint32_t(run), bits);
  run = 0;
}

// A progressive first AC scan (1..63, no point transform) of one component, in its own block
// order: as many blocks across as the component's width needs, not the MCUs' padding.
void PutAcScan(BitWriter& out, const Content& content, const Geometry& geometry, int component,
               const HuffmanCodes& ac) {
  const int scale = component == 0 ? 1 : 2;
  const int across = ((geometry.width + scale - 1) / scale + 7) / 8;
  const int down = ((geometry.height + scale - 1) / scale + 7) / 8;
  int run = 0;
  for (int by = 0; by < down; ++by) {
    for (int bx = 0; bx < across; ++bx) {
      const Block block = component == 0 ? content.luma(bx, by) : content.chroma(component, bx, by);
      int zeros = 0;
      for (const int coefficient : {block.ac1, block.ac2}) {
        if (coefficient == 0) {
          ++zeros;
          continue;
        }
        PutEndOfBands(out, ac, run);
        PutValue(out, ac, zeros, coefficient);
        zeros = 0;
      }
      if (++run == 0x7FFF) PutEndOfBands(out, ac, run);
    }
  }
  PutEndOfBands(out, ac, run);
}

Bytes Segment(uint8_t marker, const Bytes& payload) {
  const size_t length = payload.size() + 2;
  Bytes segment(length + 2);
  segment[0] = 0xFF;
  segment[1] = marker;
  segment[2] = uint8_t(length >> 8);
  segment[3] = uint8_t(length & 0xFF);
  std::copy(payload.begin(), payload.end(), segment.begin() + 4);
  return segment;
}

Bytes Quantisation(const Tables& tables) {
  const std::array<int, 64> zigzag = ZigzagOrder();
  Bytes payload;
  for (size_t t = 0; t < 2; ++t) {
    payload.push_back(uint8_t(t));
    for (const int natural : zigzag) payload.push_back(uint8_t(tables.quant[t][size_t(natural)]));
  }
  return Segment(0xDB, payload);
}

Bytes Frame(const Geometry& geometry, bool progressive) {
  const auto w = unsigned(geometry.width), h = unsigned(geometry.height);
  return Segment(progressive ? 0xC2 : 0xC0,
                 {8, uint8_t(h >> 8), uint8_t(h), uint8_t(w >> 8), uint8_t(w), 3,  //
                  1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1});
}

// DHT for the given tables: class (0 DC, 1 AC) << 4 | id, then each table.
Bytes HuffmanTables(const std::vector<std::pair<uint8_t, const HuffmanTable*>>& tables) {
  Bytes payload;
  for (const auto& [slot, table] : tables) {
    payload.push_back(slot);
    payload.insert(payload.end(), table->counts.begin(), table->counts.end());
    payload.insert(payload.end(), table->symbols.begin(), table->symbols.end());
  }
  return Segment(0xC4, payload);
}

// SOS of the components (0..2) with their tables, for coefficients first..last.
Bytes ScanHeader(const std::vector<int>& components, int first, int last) {
  Bytes payload{uint8_t(components.size())};
  for (const int c : components) {
    payload.push_back(uint8_t(c + 1));
    payload.push_back(c == 0 ? 0x00 : 0x11);
  }
  for (const int value : {first, last, 0}) payload.push_back(uint8_t(value));
  return Segment(0xDA, payload);
}

const Bytes kJfif = Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});

void PutSequential(ByteSink& sink, const Content& content, const Geometry& geometry,
                   const Tables& tables, int64_t mcuLimit) {
  sink.put(Frame(geometry, false));
  sink.put(HuffmanTables({{0x00, &tables.dc[0]},
                          {0x10, &tables.ac[0]},
                          {0x01, &tables.dc[1]},
                          {0x11, &tables.ac[1]}}));
  sink.put(ScanHeader({0, 1, 2}, 0, 63));
  const std::array<Coder, 2> coders{Coder{CodesOf(tables.dc[0]), CodesOf(tables.ac[0])},
                                    Coder{CodesOf(tables.dc[1]), CodesOf(tables.ac[1])}};
  BitWriter out(sink);
  PutInterleavedScan(out, content, geometry, coders, true, mcuLimit);
  out.finish();
}

void PutProgressive(ByteSink& sink, const Content& content, const Geometry& geometry,
                    const Tables& tables) {
  sink.put(Frame(geometry, true));
  sink.put(HuffmanTables({{0x00, &tables.dc[0]}, {0x01, &tables.dc[1]}}));
  sink.put(ScanHeader({0, 1, 2}, 0, 0));
  const std::array<Coder, 2> coders{Coder{CodesOf(tables.dc[0]), {}},
                                    Coder{CodesOf(tables.dc[1]), {}}};
  BitWriter dc(sink);
  PutInterleavedScan(dc, content, geometry, coders, false, -1);
  dc.finish();
  const HuffmanTable acTable = ProgressiveAcTable();
  const HuffmanCodes ac = CodesOf(acTable);
  sink.put(HuffmanTables({{0x10, &acTable}, {0x11, &acTable}}));
  for (int component = 0; component < 3; ++component) {
    sink.put(ScanHeader({component}, 1, 63));
    BitWriter out(sink);
    PutAcScan(out, content, geometry, component, ac);
    out.finish();
  }
}

}  // namespace

bool WriteBlockPicture(const std::string& path, const BlockPicture& picture) {
  PartFile file(path);
  if (!file.get()) return false;
  const Tables tables = LibjpegTables();
  const Geometry geometry{picture.width, picture.height};
  const Content content(picture.width, picture.height, tables);
  ByteSink sink(file.get());
  sink.put({0xFF, 0xD8});
  sink.put(kJfif);
  sink.put(Quantisation(tables));
  if (picture.progressive) {
    PutProgressive(sink, content, geometry, tables);
  } else {
    PutSequential(sink, content, geometry, tables, picture.mcuLimit);
  }
  sink.put({0xFF, 0xD9});
  return sink.flush() && file.commit();
}

}  // namespace brindlewick::bench
