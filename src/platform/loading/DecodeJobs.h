#pragma once

#include <memory>
#include <thread>

#include "platform/loading/PictureCodec.h"
#include "platform/loading/PictureLoader.h"
#include "platform/loading/PictureRequest.h"

class QString;

namespace brindlewick {

class Preparer;

// Every decode of the picture shown, in one table: the display's own on the calling thread, a
// head start for a file named at start-up on a worker beside it, and the prepare of the largest
// view the screen allows, so that growing the window finds its pixels ready. The file is read
// once per open, its header with it, and every job of that open shares the bytes. The rules, a
// function each:
// - a done job whose pixels cover the load is handed out (re-laying out decodes nothing), the
//   prepare's once the preparer tells they are there;
// - a running head start that will cover is waited for when it keeps at least the cores the load
//   would, and raced otherwise: the first to finish stops the other;
// - a load of another file stops every job of the old one, and a head start whose plan turns out
//   too small for the load, or for the head start aimed again, is stopped at once;
// - a display that decodes what the prepare makes, or more, stops the prepare before it begins,
//   and so does one that keeps every core busy, after which the prepare starts again; a display
//   that leaves a core idle lets it run beside;
// - the prepare follows a head start, and starts for no view that a job done or under way covers.
// Head starts and displays run at normal priority, and they alone take the table's lock. The
// prepare runs in the preparer (a process of its own at idle priority in the program,
// PrepareProcess), which is never raised, never waited for and never takes the lock: a display
// that needs its pixels before they are there decodes them itself, and one that would decode the
// same pixels ends the prepare first, its memory given back before the display begins. Nothing
// slow or foreign runs under the lock, and no view code on the worker. Loads come from one
// thread, the one that shows the pictures.
class DecodeJobs : public PictureLoader {
 public:
  // The name of the head start's thread.
  static constexpr const char* kWorkerName = "decode jobs";

  // `largest` gives the paint size of the largest view, which `preparer` decodes in advance;
  // without either, nothing is prepared.
  explicit DecodeJobs(std::shared_ptr<const PictureCodec> codec, PaintSizeFor largest = {},
                      std::shared_ptr<Preparer> preparer = nullptr);
  // Stops every job and waits for the head start's worker, which runs at normal priority and
  // hears its stop at once. The program ends its process without this (app/main.cpp).
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

  // Returns once the worker and the preparer have nothing left to do (for benchmarks and tests).
  void waitUntilIdle();

 private:
  class Table;
  std::shared_ptr<Table> table_;  // shared with the worker
  std::thread worker_;
};

}  // namespace brindlewick
