#include "platform/loading/PreparingPictureLoader.h"

#include <pthread.h>
#include <sched.h>

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

std::optional<LoadedPicture> PreparingPictureLoader::preparedFor(const QString& path,
                                                                 const PaintSizeFor& paintSize) {
  if (prepared_ && preparedPath_ == path && IdentifyFile(path) == prepared_->keepWhile &&
      Covers(prepared_->picture, paintSize)) {
    return prepared_;
  }
  return std::nullopt;
}

LoadedPicture PreparingPictureLoader::LoadPicture(const QString& path,
                                                  const PictureRequest& request) {
  // A decode that keeps every core busy leaves none idle for a prepare beside it, and would only
  // lose its caches to it: the prepare waits until the decode is done, and a race is called off.
  bool deferred = false;
  std::stop_source mine;
  PictureRequest own(request.paintSize, request.threads, mine.get_token());
  own.coresBusy = [&](int cores) {
    if (request.coresBusy) request.coresBusy(cores);
    if (cores < request.threads) return;
    {
      const std::lock_guard relock(mutex_);
      racer_.reset();
      deferred = queued_ && queued_->path == path;
      if (deferred) queued_.reset();
      if (running_ && running_->path == path) {
        deferred = true;
        ++generation_;
        runningStop_.request_stop();
      }
    }
    changed_.notify_all();
  };

  std::unique_lock lock(mutex_);
  if (std::optional<LoadedPicture> ready = preparedFor(path, request.paintSize)) return *ready;
  // A prepare under way for this very file started before this load and may well end first (a
  // grow the instant the picture shows): the load races it. Anything else is of no more use,
  // and the prepare for this file starts at once, beside this load's own decode: on a core that
  // decode leaves idle it is often ready by the time the picture shows. A prepare already told
  // to stop counts for nothing, though it may not have ended yet.
  const bool racing = running_ && running_->path == path && running_->generation == generation_;
  const bool preparing = racing || (queued_ && queued_->path == path);
  if (!preparing) {
    ++generation_;
    prepared_.reset();
    queued_.reset();
    runningStop_.request_stop();
    if (largest_) queued_ = Job{path, generation_};
  }
  const std::stop_callback asked(request.stop, [&] { mine.request_stop(); });
  if (racing) racer_ = Racer{path, request.paintSize, &mine};
  lock.unlock();
  changed_.notify_all();

  std::optional<LoadedPicture> loaded;
  try {
    loaded = decoder_.LoadPicture(path, own);
  } catch (...) {
    const std::lock_guard relock(mutex_);
    racer_.reset();
    // Stopped because the prepare ended first: its pixels are taken below.
    if (!racing || request.stop.stop_requested() || !mine.stop_requested()) throw;
  }
  lock.lock();
  racer_.reset();
  if (!loaded) {
    if (std::optional<LoadedPicture> ready = preparedFor(path, request.paintSize)) return *ready;
    lock.unlock();
    return decoder_.LoadPicture(path, request);  // the file changed meanwhile
  }
  if (deferred && !Covers(loaded->picture, largest_)) {
    queued_ = Job{path, generation_};
    lock.unlock();
    changed_.notify_all();
    return *loaded;
  }
  // Pixels that cover the largest view already leave nothing to prepare.
  if (!preparing && largest_ && Covers(loaded->picture, largest_)) {
    if (queued_ && queued_->path == path) queued_.reset();
    if (running_ && running_->path == path) {
      ++generation_;
      runningStop_.request_stop();
    }
    lock.unlock();
    changed_.notify_all();
  }
  return *loaded;
}

void PreparingPictureLoader::waitUntilPrepared() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !queued_ && !running_; });
}

void PreparingPictureLoader::work(const std::stop_token& quit) {
  // Only what the cores leave idle: a prepare never slows the picture being shown.
  const sched_param idle{};
  pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);
  std::unique_lock lock(mutex_);
  while (changed_.wait(lock, quit, [&] { return queued_.has_value(); })) {
    running_ = std::exchange(queued_, std::nullopt);
    const Job job = *running_;
    runningStop_ = std::stop_source();
    const PictureRequest request{largest_, 1, runningStop_.get_token()};
    lock.unlock();
    std::optional<LoadedPicture> loaded;
    try {
      loaded = decoder_.LoadPicture(job.path, request);
    } catch (...) {
      // The display that comes to need it decodes the file itself and reports what went wrong.
    }
    lock.lock();
    running_.reset();
    // Kept only if no load wanted anything else meanwhile.
    if (job.generation == generation_ && loaded && loaded->keepWhile) {
      preparedPath_ = job.path;
      prepared_ = std::move(loaded);
      if (racer_ && racer_->path == job.path && Covers(prepared_->picture, racer_->paintSize) &&
          IdentifyFile(job.path) == prepared_->keepWhile) {
        racer_->stop->request_stop();
      }
    }
    changed_.notify_all();
  }
}

}  // namespace brindlewick
