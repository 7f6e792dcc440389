#pragma once

#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it
#include <functional>

#include <QByteArray>

#include <jpeglib.h>

namespace brindlewick {

// What the quicker decodes' libjpeg sources share. Each hands the library a stream in pieces
// through its own `fill`; skipping goes through `fill` piece after piece, and starting and ending
// need nothing. The default restart resync is set; a source may replace it.
void UsePieces(jpeg_source_mgr& source, boolean (*fill)(j_decompress_ptr));

// What a source gives libjpeg once its pieces are spent and the library still reads: a warning and
// an end of image, as libjpeg's own sources do. Never an empty buffer with TRUE, which libjpeg
// would read past without a word.
boolean EndOfPieces(j_decompress_ptr info);

// What a source does each time it hands libjpeg a piece of its stream (not the end of image made
// up past it): tells the observer for tests, if one is set.
void PieceHandedOver();

// A stream handed to libjpeg a piece at a time, as `next` makes them: `next` replaces its argument
// with the next piece and says false once the stream is over (or broken). Empty pieces are passed
// over, so the library always gets a byte at least. A decode that must match another exactly fails
// on the warning at a stream that ended early.
class PieceSource {
 public:
  using Next = std::function<bool(QByteArray& piece)>;
  explicit PieceSource(Next next);
  PieceSource(const PieceSource&) = delete;
  PieceSource& operator=(const PieceSource&) = delete;

  jpeg_source_mgr& manager() { return link_.manager; }

 private:
  static boolean Fill(j_decompress_ptr info);
  bool nextPiece() noexcept;

  // libjpeg hands back a pointer to the manager, which leads back to this source.
  struct Link {
    jpeg_source_mgr manager;
    PieceSource* source;
  };
  Link link_{};
  Next next_;
  QByteArray piece_;
  bool ended_ = false;
};

// For tests only: `observer` is called, on the decoding thread, each time one of these sources
// (the stream's, the bands') hands libjpeg a piece, until it is set back to null.
void ObservePiecesForTest(void (*observer)());

}  // namespace brindlewick
