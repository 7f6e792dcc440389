#include "platform/loading/CachingPictureLoader.h"

namespace brindlewick {

LoadedPicture CachingPictureLoader::LoadPicture(const QString& path,
                                                const PictureRequest& request) {
  if (kept_.keepWhile && path == path_ && IdentifyFile(path) == kept_.keepWhile &&
      Covers(kept_.picture, request.paintSize)) {
    return kept_;
  }
  kept_ = {};  // let the old pixels go before decoding new ones
  LoadedPicture loaded = decoder_.LoadPicture(path, request);
  if (loaded.keepWhile) {
    path_ = path;
    kept_ = loaded;
  }
  return loaded;
}

}  // namespace brindlewick
