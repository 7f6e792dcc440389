#pragma once

#include <memory>
#include <thread>

#include "platform/loading/PictureCodec.h"
#include "platform/loading/PictureLoader.h"

class QString;

namespace brindlewick {

// Every decode of the picture shown, in one table: the display's own on the calling thread, and
// on one worker beside it a head start for a file named at start-up and the prepare of the
// largest view the screen allows, so that growing the window finds its pixels ready. The file is
// read once per open, its header with it, and every job of that open shares the bytes. The rules,
// a function each:
// - a done job whose pixels cover the load is handed out (re-laying out decodes nothing);
// - a running job of the file that will cover is waited for when it keeps at least the cores
//   the load would, and raced otherwise: the first to finish stops the other;
// - a load of another file stops every job of the old one, and a head start whose plan turns
//   out too small for the load, or for the head start aimed again, is stopped at once;
// - a display that keeps every core busy pauses the prepare until it is done; otherwise the
//   prepare runs beside it, on the cores it leaves idle;
// - a display that already covers the largest view drops the prepare.
// The prepare runs at idle priority: it takes only what the cores leave idle, and leaves idle
// priority when it is stopped. Where the system does not let it leave (an unprivileged user
// without a nice limit), it is never waited for: a display races it, and closing lets it go
// after a moment instead of joining it. The worker never holds the table's lock at idle
// priority; nothing slow or foreign runs under that lock, and no view code on the worker. Loads
// come from one thread, the one that shows the pictures.
class DecodeJobs : public PictureLoader {
 public:
  // The name of the worker's thread.
  static constexpr const char* kWorkerName = "decode jobs";

  // `largest` gives the paint size of the largest view; none prepares nothing.
  explicit DecodeJobs(std::shared_ptr<const PictureCodec> codec, PaintSizeFor largest = {});
  ~DecodeJobs() override;
  DecodeJobs(const DecodeJobs&) = delete;
  DecodeJobs& operator=(const DecodeJobs&) = delete;

  // Reads the file and starts decoding it for a first view as the request asks, on the worker,
  // with the prepare of the largest view behind it. Called again as the view changes size before
  // it shows the file, it aims the head start anew where the first would not cover the view. A
  // file that cannot be read or whose header is broken is left to the display to report: false.
  bool headStart(const QString& path, const PictureRequest& request);
  LoadedPicture LoadPicture(const QString& path, const PictureRequest& request) override;

  // Sets the paint size of the largest view, once the screen is known, and starts the prepare of
  // a head start's file; from the loading thread.
  void prepareFor(PaintSizeFor largest);

  // Returns once the worker has nothing left to do (for benchmarks and tests).
  void waitUntilIdle();

 private:
  class Table;
  std::shared_ptr<Table> table_;  // shared with the worker, which may outlive this object
  std::thread worker_;
};

}  // namespace brindlewick
