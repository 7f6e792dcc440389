#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

#include <QSize>
#include <QString>

#include "platform/loading/PictureLoader.h"

namespace brindlewick {

// Gives a picture named when the program starts a head start: its decode begins on a thread of
// its own as soon as start() is called, while the rest of the program starts. The first load
// takes that decode (waiting for its end) when it asks for the same file at the same decode scale
// and the file is unchanged; otherwise the decode is stopped, never waited for, and the load
// decodes as usual. Every later load goes straight to the decoder, and so does every load from
// another thread (a prepare in the background): the head start is for the thread that started
// it, which is the one that shows the picture.
class HeadStartPictureLoader : public PictureLoader {
 public:
  explicit HeadStartPictureLoader(PictureLoader& decoder) : decoder_(decoder) {}
  ~HeadStartPictureLoader() override;

  void start(const QString& path, const PictureRequest& request);
  LoadedPicture LoadPicture(const QString& path, const PictureRequest& request) override;

 private:
  std::optional<LoadedPicture> takeHeadStart(const QString& path, const PictureRequest& request);

  PictureLoader& decoder_;
  std::thread::id starter_;  // the only thread whose first load settles the head start
  QString path_;
  PaintSizeFor paintSize_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<QSize> natural_;  // the picture's natural size, once the decode has read it
  std::optional<int> cores_;      // the cores the decode keeps busy, once it has said
  std::optional<LoadedPicture> loaded_;
  bool done_ = false;
  std::jthread decode_;  // last: stops and joins first
};

// Whether two paint-size rules lead the decoder to the same scale for a picture of the given
// natural size, whichever way round the file stores it.
bool SameDecodeScale(QSize natural, const PaintSizeFor& a, const PaintSizeFor& b);

}  // namespace brindlewick
