#include "platform/jpeg/session/JpegSession.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/threads/Parallel.h"

namespace brindlewick {
namespace {

// Qt's 32-bit pixels in memory order: the library writes them directly, alpha set to opaque.
constexpr J_COLOR_SPACE kRgb32 = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;

void Discard(j_common_ptr) {}

// CMYK as Adobe writes it (inverted), the convention libjpeg-turbo itself uses.
void CmykToRgb32(const unsigned char* cmyk, QRgb* line, JDIMENSION width) {
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4) {
    const int k = cmyk[3];
    line[x] = qRgb(cmyk[0] * k / 255, cmyk[1] * k / 255, cmyk[2] * k / 255);
  }
}

}  // namespace

void LibjpegErrors::attach(jpeg_common_struct& info) {
  info.err = jpeg_std_error(&manager_);
  manager_.error_exit = Fail;
  manager_.emit_message = Message;
  manager_.output_message = Discard;
  info.client_data = this;
}

LibjpegErrors& LibjpegErrors::Of(j_common_ptr info) {
  return *static_cast<LibjpegErrors*>(info->client_data);
}

void LibjpegErrors::Fail(j_common_ptr info) {
  LibjpegErrors& errors = Of(info);
  (*info->err->format_message)(info, errors.message_);
  std::longjmp(errors.jump_, 1);
}

void LibjpegErrors::Message(j_common_ptr info, int level) {
  if (level >= 0) return;  // trace messages
  ++info->err->num_warnings;
  if (Of(info).onWarning_ == OnWarning::Fail) Fail(info);
}

void LibjpegErrors::failWith(const char* text) {
  std::snprintf(message_, sizeof message_, "%s", text);
  std::longjmp(jump_, 1);
}

JpegSession::JpegSession(std::stop_token stop, OnWarning onWarning)
    : LibjpegErrors(onWarning), stop_(std::move(stop)) {
  attach(reinterpret_cast<jpeg_common_struct&>(info_));
  progress_.progress_monitor = Monitor;
  // Creating allocates, and may fail like any other step; the struct stays zeroed then, which
  // destroying takes.
  created_ = run([this] {
    jpeg_create_decompress(&info_);  // keeps err and client_data
    info_.progress = &progress_;
  });
}

// A stopped decode of a large progressive file holds the coefficients of the whole picture
// (144 MB for a 48 MP photo), and giving them back page by page takes 10 ms and more: the stop
// should not wait for that. libjpeg's teardown reads nothing of the struct but its memory
// manager, so a copy of the struct takes the memory to the pool, which frees it beside whatever
// runs next. Anything smaller is freed here, sooner than a thread could be handed it.
JpegSession::~JpegSession() {
  const qint64 pixels = qint64(info_.image_width) * info_.image_height;
  if (stopped_ && info_.mem != nullptr && info_.progressive_mode && pixels >= (qint64(1) << 22)) {
    auto* orphan = new (std::nothrow) jpeg_decompress_struct(info_);
    if (orphan != nullptr) {
      static jpeg_error_mgr neverUsed;  // tearing down raises no error; a valid one all the same
      orphan->err = jpeg_std_error(&neverUsed);
      orphan->progress = nullptr;
      orphan->src = nullptr;
      try {
        StartLongLived([orphan] {
          jpeg_destroy_decompress(orphan);
          delete orphan;
        });
        info_.mem = nullptr;
      } catch (const std::bad_alloc&) {
        delete orphan;  // freed here after all
      }
    }
  }
  jpeg_destroy_decompress(&info_);
}

void JpegSession::Monitor(j_common_ptr info) {
  JpegSession& session = static_cast<JpegSession&>(Of(info));
  if (session.stop_.stop_requested()) {
    session.stopped_ = true;
    session.failWith("the decode was stopped");
  }
  if (session.info_.input_scan_number > kMaxScans) {
    char text[JMSG_LENGTH_MAX];
    std::snprintf(text, sizeof text, "JPEG image has more than %d scans", kMaxScans);
    session.failWith(text);
  }
}

bool JpegSession::readHeader(QByteArrayView file, bool keepSegments) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
  const auto size = static_cast<unsigned long>(file.size());
  return created_ && run([&] {
           jpeg_mem_src(&info_, bytes, size);
           if (keepSegments) {
             jpeg_save_markers(&info_, JPEG_APP0 + 1, 0xFFFF);
             jpeg_save_markers(&info_, JPEG_APP0 + 2, 0xFFFF);
           }
           jpeg_read_header(&info_, TRUE);
         });
}

bool JpegSession::readHeader(jpeg_source_mgr& source) {
  return created_ && run([&] {
           info_.src = &source;
           jpeg_read_header(&info_, TRUE);
         });
}

bool JpegSession::calcOutputDimensions(DecodeScale scale) {
  return run([&] {
    info_.scale_num = unsigned(scale.num);
    info_.scale_denom = unsigned(scale.denom);
    jpeg_calc_output_dimensions(&info_);
  });
}

bool JpegSession::start(DecodeScale scale, bool smoothing, CmykPixels cmykOutput) {
  info_.scale_num = unsigned(scale.num);
  info_.scale_denom = unsigned(scale.denom);
  info_.out_color_space = cmyk() ? JCS_CMYK : kRgb32;
  info_.do_block_smoothing = smoothing ? TRUE : FALSE;
  if (!run([&] { jpeg_start_decompress(&info_); })) return false;
  const bool convert = cmyk() && cmykOutput == CmykPixels::ToRgb;
  cmykRow_.assign(convert ? size_t(info_.output_width) * 4 : 0, 0);
  return true;
}

void JpegSession::readRow(unsigned char* line) {
  JSAMPROW row = cmykRow_.empty() ? line : cmykRow_.data();
  jpeg_read_scanlines(&info_, &row, 1);
  if (!cmykRow_.empty()) CmykToRgb32(row, reinterpret_cast<QRgb*>(line), info_.output_width);
}

std::optional<QImage> JpegSession::decode(DecodeScale scale, bool smoothing, CmykPixels cmyk) {
  if (!start(scale, smoothing, cmyk)) return std::nullopt;
  QImage pixels(int(info_.output_width), int(info_.output_height), QImage::Format_RGB32);
  if (pixels.isNull()) throw std::bad_alloc();
  unsigned char* const bits = pixels.bits();
  const qsizetype stride = pixels.bytesPerLine();
  if (!run([&] {
        while (info_.output_scanline < info_.output_height) {
          readRow(bits + stride * qsizetype(info_.output_scanline));
        }
      })) {
    return std::nullopt;
  }
  return pixels;
}

QByteArray JpegSession::iccProfile(qsizetype maxBytes) {
  static constexpr char kIccHeader[] = "ICC_PROFILE";  // with its NUL
  qsizetype total = 0;
  for (jpeg_saved_marker_ptr m = info_.marker_list; m; m = m->next) {
    const QByteArrayView body(reinterpret_cast<const char*>(m->data), qsizetype(m->data_length));
    if (m->marker == JPEG_APP0 + 2 && body.startsWith({kIccHeader, sizeof kIccHeader})) {
      total += body.size();
    }
  }
  if (total == 0 || total > maxBytes) return {};
  JOCTET* joined = nullptr;
  unsigned int length = 0;
  // A profile libjpeg finds broken is only a warning, and the picture shows without it.
  if (!run([&] { jpeg_read_icc_profile(&info_, &joined, &length); })) return {};
  QByteArray profile(reinterpret_cast<const char*>(joined), qsizetype(joined ? length : 0));
  std::free(joined);
  return profile;
}

QByteArrayView JpegSession::savedSegment(int marker, QByteArrayView prefix) const {
  for (jpeg_saved_marker_ptr m = info_.marker_list; m; m = m->next) {
    const QByteArrayView body(reinterpret_cast<const char*>(m->data), qsizetype(m->data_length));
    if (m->marker == marker && body.startsWith(prefix)) return body;
  }
  return {};
}

}  // namespace brindlewick
