#pragma once

#include <cstdint>

#include <QtGlobal>

class QString;

namespace brindlewick {

class ImagingLibrary;
class Picture;
class Surface;

// Writes the picture to the file at `path` as a JPEG at exactly the quality given, through the
// imaging library, which is started for this write and shut down before it returns. A failed
// call fails with error 5, "Cannot save the image. GDI+ Error:" and the first failing call's
// status; the bitmap is disposed of and the library shut down first.
void SaveJPG(const Picture& picture, const QString& path, uint8_t quality, ImagingLibrary& gdiplus);

// Estimates the quality a JPEG file was written at from its compression ratio alone: the size
// of the surface's picture at 3 bytes a pixel against the file's length. 1..100; a file as large
// as its raw pixels gives 100, and each further unit of ratio one less.
int16_t DetectJPGQuality(const Surface& box, const QString& path);

// The rule itself, for a picture of w x h pixels stored in n bytes (n > 0).
int16_t QualityFromRatio(double w, double h, qint64 n);

}  // namespace brindlewick
