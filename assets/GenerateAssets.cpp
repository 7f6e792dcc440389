// Generates the program's own assets at build time: the sample picture and the icon images.
//   brindlewick-assets sample <file.jpg>
//   brindlewick-assets icons <folder>      (brindlewick-<size>.png for each icon size)
//   brindlewick-assets cursor <file.cur>   (the hand pointer of the options dialog)
#include <cstdio>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QString>

#include "HandCursor.h"
#include "PhotoSynth.h"
#include "platform/jpeg/JpegEncoder.h"
#include "settings/AppIcon.h"

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

int Sample(const QString& path) {
  // Larger than the window, so opening it shows the fitting.
  const QImage photo = brindlewick::SynthesizePhoto(2048, 1536, 2021);
  return WriteFile(path, brindlewick::EncodeJpeg(photo, {})) ? 0 : 1;
}

int Icons(const QString& folder) {
  QDir().mkpath(folder);
  for (int size : brindlewick::kIconSizes) {
    const QString path = folder + QStringLiteral("/brindlewick-%1.png").arg(size);
    if (!brindlewick::RenderAppIcon(size).save(path)) return 1;
  }
  return 0;
}

int Cursor(const QString& path) {
  using namespace brindlewick;
  return WriteFile(path, HandCursorFileBytes()) ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 3 && std::strcmp(argv[1], "sample") == 0)
    return Sample(QString::fromLocal8Bit(argv[2]));
  if (argc == 3 && std::strcmp(argv[1], "icons") == 0)
    return Icons(QString::fromLocal8Bit(argv[2]));
  if (argc == 3 && std::strcmp(argv[1], "cursor") == 0)
    return Cursor(QString::fromLocal8Bit(argv[2]));
  std::fprintf(stderr, "usage: %s sample <file.jpg> | icons <folder> | cursor <file.cur>\n",
               argv[0]);
  return 2;
}
