#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

#include <QString>

#include "platform/loading/PictureLoader.h"

namespace brindlewick {

// Decodes through the given decoder, and after each decode prepares, on one worker thread and one
// core, the decode that covers the largest size the picture can be painted at (the screen's), so
// that growing or maximising the window finds its pixels ready. The prepared picture is handed
// out only for the same path while the file keeps the identity it was read with, and only when it
// covers the size asked for. Anything else is decoded at once on the calling thread, as before;
// and since a decode under way for the screen would now only take a core from it, that one is
// stopped, never waited for.
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

  std::optional<LoadedPicture> takePrepared(const QString& path, const PaintSizeFor& paintSize);
  void work(const std::stop_token& quit);

  PictureLoader& decoder_;
  const PaintSizeFor largest_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::optional<Job> queued_;  // waiting for the worker
  bool running_ = false;       // the worker is decoding
  std::stop_source runningStop_;
  QString preparedPath_;
  std::optional<LoadedPicture> prepared_;
  int generation_ = 0;   // moves on whenever a load takes nothing prepared
  std::jthread worker_;  // last: starts once everything above exists, stops and joins first
};

}  // namespace brindlewick
