#pragma once

#include "platform/loading/PictureLoader.h"

namespace brindlewick {

// LoadPicture for JPEG files: reads the whole file and decodes it as the request asks.
class JpegFileLoader : public PictureLoader {
 public:
  LoadedPicture LoadPicture(const QString& path, const PictureRequest& request) override;
};

}  // namespace brindlewick
