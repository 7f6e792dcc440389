#include "platform/jpeg/kits/PieceSource.h"

#include <atomic>
#include <exception>
#include <utility>

#include <jerror.h>

namespace brindlewick {
namespace {

constexpr JOCTET kEndOfImage[] = {0xFF, JPEG_EOI};

std::atomic<void (*)()> pieceObserver{nullptr};

void Nothing(j_decompress_ptr) {}

void SkipThroughPieces(j_decompress_ptr info, long count) {
  jpeg_source_mgr& source = *info->src;
  while (count > long(source.bytes_in_buffer)) {
    count -= long(source.bytes_in_buffer);
    source.bytes_in_buffer = 0;
    source.fill_input_buffer(info);
  }
  if (count > 0) {
    source.next_input_byte += count;
    source.bytes_in_buffer -= size_t(count);
  }
}

}  // namespace

void UsePieces(jpeg_source_mgr& source, boolean (*fill)(j_decompress_ptr)) {
  source.init_source = Nothing;
  source.fill_input_buffer = fill;
  source.skip_input_data = SkipThroughPieces;
  source.resync_to_restart = jpeg_resync_to_restart;
  source.term_source = Nothing;
}

void PieceHandedOver() {
  if (void (*observer)() = pieceObserver.load(std::memory_order_acquire)) observer();
}

void ObservePiecesForTest(void (*observer)()) {
  pieceObserver.store(observer, std::memory_order_release);
}

boolean EndOfPieces(j_decompress_ptr info) {
  WARNMS(info, JWRN_JPEG_EOF);
  info->src->next_input_byte = kEndOfImage;
  info->src->bytes_in_buffer = sizeof kEndOfImage;
  return TRUE;
}

PieceSource::PieceSource(Next next) : next_(std::move(next)) {
  link_.source = this;
  UsePieces(link_.manager, Fill);
}

bool PieceSource::nextPiece() noexcept {
  try {
    while (!ended_ && next_(piece_)) {
      if (!piece_.isEmpty()) return true;
    }
  } catch (const std::exception&) {
    // Out of memory: the stream ends here, and the whole-file decode reports it.
  }
  ended_ = true;
  return false;
}

boolean PieceSource::Fill(j_decompress_ptr info) {
  PieceSource& source = *reinterpret_cast<Link*>(info->src)->source;
  if (!source.nextPiece()) return EndOfPieces(info);
  source.link_.manager.next_input_byte = reinterpret_cast<const JOCTET*>(source.piece_.constData());
  source.link_.manager.bytes_in_buffer = size_t(source.piece_.size());
  PieceHandedOver();
  return TRUE;
}

}  // namespace brindlewick
