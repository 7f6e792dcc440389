#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace brindlewick::test {

void PrepareTestEnvironment() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static QTemporaryDir config;
  setenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()).constData(), 1);
}

QImage PatternImage(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int checker = ((x / 4 + y / 4) % 2) * 200 + 20;
      image.setPixel(x, y, qRgb((x * 7) % 256, (y * 5) % 256, checker));
    }
  }
  return image;
}

QImage SmoothImage(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double u = double(x) / width, v = double(y) / height;
      image.setPixel(
          x, y,
          qRgb(int(40 + 180 * u), int(60 + 150 * v), int(128 + 100 * std::sin(6 * u + 4 * v))));
    }
  }
  return image;
}

QByteArray JpegBytes(const QImage& image, const JpegEncoding& encoding) {
  return EncodeJpeg(image, encoding);
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  return file.readAll();
}

QString WriteJpeg(const QString& path, const QImage& image, const JpegEncoding& encoding) {
  WriteBytes(path, JpegBytes(image, encoding));
  return path;
}

double Psnr(const QImage& a, const QImage& b) {
  EXPECT_EQ(a.size(), b.size());
  if (a.size() != b.size() || a.isNull()) return 0;
  double sum = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      const double dr = qRed(p) - qRed(q), dg = qGreen(p) - qGreen(q), db = qBlue(p) - qBlue(q);
      sum += dr * dr + dg * dg + db * db;
    }
  }
  const double mse = sum / (3.0 * a.width() * a.height());
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

TempFolder::TempFolder() { EXPECT_TRUE(dir_.isValid()); }

QString TempFolder::path(const QString& name) const {
  return name.isEmpty() ? dir_.path() : dir_.path() + QLatin1Char('/') + name;
}

}  // namespace brindlewick::test
