#include "StreamedJpeg.h"

#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it
#include <future>
#include <vector>

#include <jpeglib.h>

#include "PartFile.h"
#include "PhotoSynth.h"

namespace brindlewick::bench {
namespace {

// Rows drawn at a time: a band of the widest picture (60000) is 15 MiB.
constexpr int kBandRows = 64;

void EncodeBand(jpeg_compress_struct& info, std::vector<unsigned char>& band, int rows) {
  const size_t stride = size_t(info.image_width) * 4;
  std::vector<JSAMPROW> lines(static_cast<size_t>(rows));
  for (int i = 0; i < rows; ++i) lines[size_t(i)] = band.data() + stride * size_t(i);
  for (int done = 0; done < rows;) {
    done += int(jpeg_write_scanlines(&info, lines.data() + done, JDIMENSION(rows - done)));
  }
}

// Draws the next band on the other cores while libjpeg codes this one.
void EncodeRows(jpeg_compress_struct& info, const PhotoRows& photo) {
  const int width = int(info.image_width), height = int(info.image_height);
  const qsizetype stride = qsizetype(width) * 4;
  std::vector<unsigned char> bands[2] = {std::vector<unsigned char>(size_t(stride) * kBandRows),
                                         std::vector<unsigned char>(size_t(stride) * kBandRows)};
  const auto draw = [&](int band, int first) {
    photo.draw(first, std::min(height, first + kBandRows), bands[band].data(), stride);
  };
  draw(0, 0);
  for (int first = 0, band = 0; first < height; first += kBandRows, band ^= 1) {
    std::future<void> next;
    if (first + kBandRows < height) {
      next = std::async(std::launch::async, draw, band ^ 1, first + kBandRows);
    }
    EncodeBand(info, bands[band], std::min(kBandRows, height - first));
    if (next.valid()) next.get();
    if (first / kBandRows % 32 == 31) {
      std::printf("\r  row %d of %d", first + kBandRows, height);
      std::fflush(stdout);
    }
  }
  std::printf("\n");
}

}  // namespace

bool WriteStreamedPhoto(const std::string& path, int width, int height, uint32_t seed,
                        int quality) {
  PartFile out(path);
  if (!out.get()) return false;
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);  // a fault ends the program with libjpeg's message
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, out.get());
  info.image_width = JDIMENSION(width);
  info.image_height = JDIMENSION(height);
  info.input_components = 4;
  info.in_color_space = JCS_EXT_BGRX;  // a QRgb in memory on a little-endian machine
  jpeg_set_defaults(&info);            // 4:2:0
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  EncodeRows(info, PhotoRows(width, height, seed));
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return out.commit();
}

bool WriteProgressiveCopy(const std::string& from, const std::string& path) {
  FILE* in = std::fopen(from.c_str(), "rb");
  if (!in) return false;
  PartFile out(path);
  if (!out.get()) {
    std::fclose(in);
    return false;
  }
  jpeg_decompress_struct source{};
  jpeg_compress_struct copy{};
  jpeg_error_mgr errors{};
  source.err = copy.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&source);
  jpeg_create_compress(&copy);
  jpeg_stdio_src(&source, in);
  jpeg_read_header(&source, TRUE);
  jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&source);
  jpeg_copy_critical_parameters(&source, &copy);
  jpeg_simple_progression(&copy);
  jpeg_stdio_dest(&copy, out.get());
  jpeg_write_coefficients(&copy, coefficients);
  jpeg_finish_compress(&copy);
  jpeg_finish_decompress(&source);
  jpeg_destroy_compress(&copy);
  jpeg_destroy_decompress(&source);
  std::fclose(in);
  return out.commit();
}

}  // namespace brindlewick::bench
