#include "platform/loading/PreparingPictureLoader.h"

#include <utility>

namespace brindlewick {

PreparingPictureLoader::PreparingPictureLoader(PictureLoader& decoder, PaintSizeFor largest)
    : decoder_(decoder),
      largest_(std::move(largest)),
      worker_([this](std::stop_token quit) { work(quit); }) {}

PreparingPictureLoader::~PreparingPictureLoader() {
  // Closing the window need not wait for pixels nobody will see.
  const std::lock_guard lock(mutex_);
  queued_.reset();
  runningStop_.request_stop();
}

std::optional<LoadedPicture> PreparingPictureLoader::takePrepared(const QString& path,
                                                                  const PaintSizeFor& paintSize) {
  const std::lock_guard lock(mutex_);
  if (prepared_ && preparedPath_ == path && IdentifyFile(path) == prepared_->keepWhile &&
      Covers(prepared_->picture, paintSize)) {
    return prepared_;
  }
  // Another file, this one changed, or this one wanted sooner than its prepare ends: what was
  // prepared or is being prepared is of no more use.
  ++generation_;
  prepared_.reset();
  queued_.reset();
  runningStop_.request_stop();
  return std::nullopt;
}

LoadedPicture PreparingPictureLoader::LoadPicture(const QString& path,
                                                  const PictureRequest& request) {
  if (std::optional<LoadedPicture> ready = takePrepared(path, request.paintSize)) return *ready;
  LoadedPicture loaded = decoder_.LoadPicture(path, request);
  if (largest_ && !Covers(loaded.picture, largest_)) {
    {
      const std::lock_guard lock(mutex_);
      queued_ = Job{path, generation_};
    }
    changed_.notify_all();
  }
  return loaded;
}

void PreparingPictureLoader::waitUntilPrepared() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !queued_ && !running_; });
}

void PreparingPictureLoader::work(const std::stop_token& quit) {
  std::unique_lock lock(mutex_);
  while (changed_.wait(lock, quit, [&] { return queued_.has_value(); })) {
    const Job job = *std::exchange(queued_, std::nullopt);
    runningStop_ = std::stop_source();
    running_ = true;
    const PictureRequest request{largest_, 1, runningStop_.get_token()};
    lock.unlock();
    std::optional<LoadedPicture> loaded;
    try {
      loaded = decoder_.LoadPicture(job.path, request);
    } catch (...) {
      // The display that comes to need it decodes the file itself and reports what went wrong.
    }
    lock.lock();
    running_ = false;
    // Kept only if no load wanted anything else meanwhile.
    if (job.generation == generation_ && loaded && loaded->keepWhile) {
      preparedPath_ = job.path;
      prepared_ = std::move(loaded);
    }
    changed_.notify_all();
  }
}

}  // namespace brindlewick
