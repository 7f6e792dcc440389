#pragma once

#include <cstdint>

#include <QRgb>
#include <QString>

#include "platform/surface/Shape.h"
#include "platform/surface/Surface.h"

namespace brindlewick {

// The picture state of the main window: the three surfaces, the selection shape, the current
// path and the flags that gate mouse input. One instance lives as long as the window; no other
// place keeps a copy of any of these.
struct PictureDocument {
  explicit PictureDocument(QRgb windowBackground = qRgb(255, 255, 255))
      : Picture1(windowBackground), picLoad(windowBackground), picDraw(windowBackground) {}

  // The view shows a picture when its background picture is not none.
  bool viewShowsPicture() const { return !Picture1.picture().isNone(); }

  Surface Picture1;  // the view the user sees
  Surface picLoad;   // the clean copy of the fitted picture, the view's size
  Surface picDraw;   // holds the decoded file; its own size plays no part
  Shape shp1;        // the selection rubber band, drawn over the view

  QString Tag;  // path of the current picture file; empty until one is chosen

  int16_t JPGQuality = 0;   // quality the next save uses
  int16_t PrevQuality = 0;  // the current file's estimate

  int32_t StartX = 0;
  int32_t StartY = 0;
  int32_t EndX = 0;
  int32_t EndY = 0;

  bool SelectionMade = false;
  bool IgnoreMouse = false;
  bool CropDone = false;
};

}  // namespace brindlewick
