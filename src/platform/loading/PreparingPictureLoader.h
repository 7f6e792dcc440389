#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

#include <QString>

#include "platform/loading/PictureLoader.h"

namespace brindlewick {

// Decodes through the given decoder, and beside each decode prepares, on one worker thread that
// takes only what the cores leave idle, the decode that covers the largest size the picture can be
// painted at (the screen's), so that growing or maximising the window finds its pixels ready. The
// prepared picture is handed out only for the same path while the file keeps the identity it was
// read with, and only when it covers the size asked for. Anything else is decoded at once on the
// calling thread, so a load never waits on the background: a prepare for another file is stopped,
// and one under way for the same file races the load's own decode, whichever ends first stopping
// the other.
class PreparingPictureLoader : public PictureLoader {
 public:
  PreparingPictureLoader(PictureLoader& decoder, PaintSizeFor largest);
  ~PreparingPictureLoader() override;
  LoadedPicture LoadPicture(const QString& path, const PictureRequest& request) override;

  // Returns once nothing is being prepared (for benchmarks and tests).
  void waitUntilPrepared();

 private:
  struct Job {
    QString path;
    int generation = 0;
  };
  // A load racing the prepare of its file: stopped when the prepare ends first with pixels that
  // cover what it asked for.
  struct Racer {
    QString path;
    PaintSizeFor paintSize;
    std::stop_source* stop;
  };

  // What was prepared, if it serves this load; must hold the lock.
  std::optional<LoadedPicture> preparedFor(const QString& path, const PaintSizeFor& paintSize);
  void work(const std::stop_token& quit);

  PictureLoader& decoder_;
  const PaintSizeFor largest_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::optional<Job> queued_;   // waiting for the worker
  std::optional<Job> running_;  // being decoded by the worker
  std::stop_source runningStop_;
  std::optional<Racer> racer_;
  QString preparedPath_;
  std::optional<LoadedPicture> prepared_;
  int generation_ = 0;   // moves on whenever a load wants something else than what is prepared
  std::jthread worker_;  // last: starts once everything above exists, stops and joins first
};

}  // namespace brindlewick
