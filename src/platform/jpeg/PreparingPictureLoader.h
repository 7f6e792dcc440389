#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <QString>

#include "platform/files/FileStatus.h"
#include "platform/jpeg/PictureLoader.h"

namespace brindlewick {

// Decodes through the given decoder, and after each decode prepares, on one worker thread, the
// decode that covers the largest size the picture can be painted at (the screen's), so that
// growing or maximising the window finds its pixels ready. The prepared picture is handed out
// only for the same path while the file is unchanged and only when it covers the size asked for;
// anything else is decoded at once, on the calling thread, as before. Loading another file drops
// what was prepared for the last one and stops its decode if it is under way.
class PreparingPictureLoader : public PictureLoader {
 public:
  PreparingPictureLoader(std::unique_ptr<PictureLoader> decoder, PaintSizeFor largest);
  ~PreparingPictureLoader() override;
  Picture LoadPicture(const QString& path, const PaintSizeFor& paintSize) override;

  // Returns once nothing is being prepared (for benchmarks and tests).
  void waitUntilPrepared();

 private:
  struct Job {
    QString path;
    FileIdentity identity;
    int generation = 0;
    bool is(const QString& p, const FileIdentity& i) const { return path == p && identity == i; }
  };

  std::optional<Picture> takePrepared(const QString& path, const FileIdentity& identity,
                                      const PaintSizeFor& paintSize);
  void work();

  const std::unique_ptr<PictureLoader> decoder_;
  const PaintSizeFor largest_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<Job> queued_;   // waiting for the worker
  std::optional<Job> running_;  // being decoded by the worker
  std::optional<Job> preparedFor_;
  Picture prepared_;
  int generation_ = 0;  // moves on whenever another file (or a changed one) is loaded
  bool stopping_ = false;
  std::atomic<bool> stopRunning_{false};  // the running decode is of no more use
  std::thread worker_;                    // last: starts once everything above exists
};

}  // namespace brindlewick
