#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include "platform/jpeg/JpegEncoder.h"

namespace brindlewick::test {

// Offscreen platform, and settings in a folder of the test run's own.
void PrepareTestEnvironment();

// A picture whose every pixel tells where it came from: red and green carry x and y, blue a
// checker, so a shifted, scaled or mirrored copy never matches by chance.
QImage PatternImage(int width, int height);

// Smooth content that survives JPEG compression well, for comparing decoded pixels.
QImage SmoothImage(int width, int height);

QByteArray JpegBytes(const QImage& image, const JpegEncoding& encoding = {});
void WriteBytes(const QString& path, const QByteArray& bytes);
// The file's bytes; a file that cannot be read fails the test and reads as empty.
QByteArray ReadBytes(const QString& path);
QString WriteJpeg(const QString& path, const QImage& image, const JpegEncoding& encoding = {});

// Peak signal-to-noise ratio of two images of the same size, in dB.
double Psnr(const QImage& a, const QImage& b);

// A temporary folder that fails the test when it cannot be made.
class TempFolder {
 public:
  TempFolder();
  QString path(const QString& name = {}) const;

 private:
  QTemporaryDir dir_;
};

}  // namespace brindlewick::test
