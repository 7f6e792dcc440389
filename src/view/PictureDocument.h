#pragma once

#include <cstdint>

#include <QRgb>
#include <QString>

#include "platform/surface/Surface.h"

namespace brindlewick {

// The picture state of the main window: the three surfaces, the current path and the two
// qualities. One instance lives as long as the window; no other place keeps a copy of any of
// these. The selection on the view is crop/'s Selection.
struct PictureDocument {
  explicit PictureDocument(QRgb windowBackground = qRgb(255, 255, 255))
      : Picture1(windowBackground), picLoad(windowBackground), picDraw(windowBackground) {}

  // The view shows a picture when its background picture is not none.
  bool viewShowsPicture() const { return !Picture1.picture().isNone(); }

  Surface Picture1;  // the view the user sees
  Surface picLoad;   // the clean copy of the fitted picture, the view's size
  Surface picDraw;   // holds the decoded file; its own size plays no part

  QString Tag;  // path of the current picture file; empty until one is chosen

  int16_t JPGQuality = 0;   // quality the next save uses
  int16_t PrevQuality = 0;  // the current file's estimate
};

}  // namespace brindlewick
