#include "platform/loading/HeadStartPictureLoader.h"

#include <utility>

#include "platform/jpeg/JpegDecoder.h"

namespace brindlewick {

bool SameDecodeScale(QSize natural, const PaintSizeFor& a, const PaintSizeFor& b) {
  const QSizeF paintedA = a ? a(natural) : QSizeF(), paintedB = b ? b(natural) : QSizeF();
  if (paintedA == paintedB) return true;
  // The decoder weighs the painted size against the size as stored: the natural one, or the
  // natural one turned a quarter.
  return DecodeScaleFor(natural.width(), natural.height(), paintedA) ==
             DecodeScaleFor(natural.width(), natural.height(), paintedB) &&
         DecodeScaleFor(natural.height(), natural.width(), paintedA.transposed()) ==
             DecodeScaleFor(natural.height(), natural.width(), paintedB.transposed());
}

HeadStartPictureLoader::~HeadStartPictureLoader() { decode_.request_stop(); }

void HeadStartPictureLoader::start(const QString& path, const PictureRequest& request) {
  starter_ = std::this_thread::get_id();
  path_ = path;
  paintSize_ = request.paintSize;
  decode_ = std::jthread([this, request](std::stop_token stop) {
    PictureRequest early = request;
    early.stop = std::move(stop);
    // The decoder asks for the paint size once it knows the natural size: the first load
    // can tell from it alone whether this decode is the one it needs.
    early.paintSize = [this](QSize natural) {
      {
        const std::lock_guard lock(mutex_);
        natural_ = natural;
      }
      changed_.notify_all();
      return paintSize_ ? paintSize_(natural) : QSizeF();
    };
    // Kept for the load that takes this decode, to tell whoever asks it.
    early.coresBusy = [this](int cores) {
      {
        const std::lock_guard lock(mutex_);
        cores_ = cores;
      }
      changed_.notify_all();
    };
    std::optional<LoadedPicture> loaded;
    try {
      loaded = decoder_.LoadPicture(path_, early);
    } catch (...) {
      // The load that wanted it decodes again and reports what went wrong.
    }
    {
      const std::lock_guard lock(mutex_);
      loaded_ = std::move(loaded);
      done_ = true;
    }
    changed_.notify_all();
  });
}

std::optional<LoadedPicture> HeadStartPictureLoader::takeHeadStart(const QString& path,
                                                                   const PictureRequest& request) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return natural_ || done_; });
  const bool wanted =
      path == path_ && natural_ && SameDecodeScale(*natural_, paintSize_, request.paintSize);
  if (!wanted) decode_.request_stop();
  if (wanted && request.coresBusy) {
    // The load tells how busy its decode keeps the cores: this one is its decode.
    changed_.wait(lock, [&] { return cores_ || done_; });
    if (const std::optional<int> cores = cores_) {
      lock.unlock();
      request.coresBusy(*cores);
      lock.lock();
    }
  }
  changed_.wait(lock, [&] { return done_; });
  std::optional<LoadedPicture> loaded = std::move(loaded_);
  lock.unlock();
  decode_.join();
  if (!wanted || !loaded || !loaded->keepWhile || IdentifyFile(path) != loaded->keepWhile) {
    return std::nullopt;
  }
  return loaded;
}

LoadedPicture HeadStartPictureLoader::LoadPicture(const QString& path,
                                                  const PictureRequest& request) {
  if (std::this_thread::get_id() == starter_ && decode_.joinable()) {
    if (std::optional<LoadedPicture> early = takeHeadStart(path, request)) return *early;
  }
  return decoder_.LoadPicture(path, request);
}

}  // namespace brindlewick
