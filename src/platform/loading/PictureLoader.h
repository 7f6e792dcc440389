#pragma once

#include <optional>

#include "platform/files/FileStatus.h"
#include "platform/loading/PictureRequest.h"
#include "platform/surface/Picture.h"

class QString;

namespace brindlewick {

// A picture as a loader gives it, with the file's identity while it was read when the pixels may
// be handed out again for the same path as long as the file keeps that identity (see
// ReadFileContents); none when they may not.
struct LoadedPicture {
  Picture picture;
  std::optional<FileIdentity> keepWhile;
};

// Loads a picture file (LoadPicture). An empty path gives no picture; a missing, unreadable or
// undecodable file is a RuntimeError.
class PictureLoader {
 public:
  virtual ~PictureLoader() = default;
  virtual LoadedPicture LoadPicture(const QString& path, const PictureRequest& request) = 0;
};

}  // namespace brindlewick
