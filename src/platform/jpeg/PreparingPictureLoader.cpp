#include "platform/jpeg/PreparingPictureLoader.h"

#include <utility>

#include "platform/jpeg/CachingPictureLoader.h"
#include "platform/jpeg/JpegDecoder.h"

namespace brindlewick {

PreparingPictureLoader::PreparingPictureLoader(std::unique_ptr<PictureLoader> decoder,
                                               PaintSizeFor largest)
    : decoder_(std::move(decoder)), largest_(std::move(largest)), worker_([this] { work(); }) {}

PreparingPictureLoader::~PreparingPictureLoader() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    queued_.reset();
    stopRunning_ = true;  // closing the window need not wait for pixels nobody will see
  }
  changed_.notify_all();
  worker_.join();
}

std::optional<Picture> PreparingPictureLoader::takePrepared(const QString& path,
                                                            const FileIdentity& identity,
                                                            const PaintSizeFor& paintSize) {
  std::unique_lock lock(mutex_);
  // A prepare of this very file under way is nearer its end than a decode started now.
  changed_.wait(lock, [&] {
    return !(running_ && running_->is(path, identity)) && !(queued_ && queued_->is(path, identity));
  });
  if (preparedFor_ && preparedFor_->is(path, identity) &&
      CachingPictureLoader::Covers(prepared_, paintSize)) {
    return prepared_;
  }
  // Another file, or this one changed: what was prepared or is being prepared is of no more use.
  ++generation_;
  preparedFor_.reset();
  prepared_ = Picture();
  queued_.reset();
  if (running_) stopRunning_ = true;
  return std::nullopt;
}

Picture PreparingPictureLoader::LoadPicture(const QString& path, const PaintSizeFor& paintSize) {
  const std::optional<FileIdentity> before = IdentifyFile(path);
  if (before) {
    if (std::optional<Picture> ready = takePrepared(path, *before, paintSize)) return *ready;
  }
  Picture picture = decoder_->LoadPicture(path, paintSize);
  if (before && largest_ && !CachingPictureLoader::Covers(picture, largest_)) {
    {
      const std::lock_guard lock(mutex_);
      queued_ = Job{path, *before, generation_};
    }
    changed_.notify_all();
  }
  return picture;
}

void PreparingPictureLoader::waitUntilPrepared() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !queued_ && !running_; });
}

void PreparingPictureLoader::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || queued_; });
    if (stopping_) return;
    running_ = std::exchange(queued_, std::nullopt);
    stopRunning_ = false;
    const Job job = *running_;
    lock.unlock();
    Picture picture;
    try {
      const StopDecodingWhen stop(stopRunning_);
      picture = decoder_->LoadPicture(job.path, largest_);
    } catch (...) {
      // The display that comes to need it decodes the file itself and reports what went wrong.
    }
    const std::optional<FileIdentity> after = IdentifyFile(job.path);
    lock.lock();
    running_.reset();
    // Kept only if no other file was asked for meanwhile and this one did not change.
    if (job.generation == generation_ && !picture.isNone() && after && *after == job.identity) {
      preparedFor_ = job;
      prepared_ = std::move(picture);
    }
    lock.unlock();
    changed_.notify_all();
    lock.lock();
  }
}

}  // namespace brindlewick
