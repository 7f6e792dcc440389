#pragma once

#include <optional>

#include <QString>

#include "platform/files/FileStatus.h"
#include "platform/jpeg/PictureLoader.h"

namespace brindlewick {

// Keeps the last decoded picture, and hands it out again for the same path while the file is
// unchanged (device, inode, size, modification and change times) and the kept pixels still cover
// the size they are to be painted at. Anything else, and every failure, goes to the decoder.
// Re-laying the window out thus costs no decode.
class CachingPictureLoader : public PictureLoader {
 public:
  explicit CachingPictureLoader(PictureLoader& decoder) : decoder_(decoder) {}
  Picture LoadPicture(const QString& path, const PaintSizeFor& paintSize) override;

  // Whether the picture's pixels cover the size it is to be painted at.
  static bool Covers(const Picture& picture, const PaintSizeFor& paintSize);

 private:
  PictureLoader& decoder_;
  QString path_;
  FileIdentity identity_;
  Picture picture_;
};

}  // namespace brindlewick
