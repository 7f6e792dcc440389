#pragma once

#include <QByteArray>
#include <QString>

#include "platform/files/FileStatus.h"
#include "platform/loading/PictureCodec.h"

namespace brindlewick {

// Where the prepare's decodes run, away from everything the window waits for. The table of decode
// jobs gives it one order at a time and reads the outcome when it next looks; it never waits for
// one, nor shares a lock with it.
class Preparer {
 public:
  // The file as the table read it (the path, the identity it was read with, its bytes and header)
  // and the plan to decode it by.
  struct Order {
    QString path;
    FileIdentity readWith;
    QByteArray file;
    JpegHeader header;
    DecodePlan plan;
  };
  struct Outcome {
    enum State { Pending, Done, Failed } state = Pending;
    Picture picture;  // with Done
  };

  virtual ~Preparer() = default;
  // Starts the order, in place of one under way.
  virtual void start(const Order& order) = 0;
  // The outcome of the order started last, told once it is there.
  virtual Outcome poll() = 0;
  // Ends the order under way at once.
  virtual void stop() = 0;
  // Returns once the order started last has its outcome (for benchmarks and tests).
  virtual void waitUntilIdle() = 0;
};

}  // namespace brindlewick
