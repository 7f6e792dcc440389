#pragma once

#include <QString>

#include "platform/loading/PictureLoader.h"

namespace brindlewick {

// Keeps the last decoded picture that may be kept, and hands it out again for the same path while
// the file keeps its identity and the kept pixels still cover the size they are to be painted
// at. Anything else, and every failure, goes to the decoder. Re-laying the window out thus costs
// no decode.
class CachingPictureLoader : public PictureLoader {
 public:
  explicit CachingPictureLoader(PictureLoader& decoder) : decoder_(decoder) {}
  LoadedPicture LoadPicture(const QString& path, const PictureRequest& request) override;

 private:
  PictureLoader& decoder_;
  QString path_;
  LoadedPicture kept_;
};

}  // namespace brindlewick
