#include "platform/loading/JpegFileLoader.h"

#include <QString>

#include "platform/files/FileBytes.h"
#include "platform/jpeg/JpegDecoder.h"

namespace brindlewick {

LoadedPicture JpegFileLoader::LoadPicture(const QString& path, const PictureRequest& request) {
  if (path.isEmpty()) return {};
  FileContents file = ReadFileContents(path, kMaxPictureFileBytes);
  return {DecodeJpeg(file.bytes, request), file.keepWhile};
}

}  // namespace brindlewick
