#include "platform/surface/Parallel.h"

#include <algorithm>
#include <exception>
#include <latch>
#include <vector>

#include <QThread>
#include <QThreadPool>

namespace brindlewick {
namespace {

QThreadPool& Pool() {
  static QThreadPool pool;
  static const bool sized = [] {
    pool.setMaxThreadCount(std::max(1, CoreCount() - 1));
    return true;
  }();
  (void)sized;
  return pool;
}

}  // namespace

int CoreCount() { return std::max(1, QThread::idealThreadCount()); }

void InParallel(int parts, const std::function<void(int part)>& work) {
  if (parts <= 0) return;
  std::vector<std::exception_ptr> failures(static_cast<size_t>(parts));
  auto run = [&](int part) {
    try {
      work(part);
    } catch (...) {
      failures[size_t(part)] = std::current_exception();
    }
  };
  std::latch finished(parts - 1);
  for (int part = 1; part < parts; ++part) {
    Pool().start([&run, &finished, part] {
      run(part);
      finished.count_down();
    });
  }
  run(0);
  finished.wait();
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
}

}  // namespace brindlewick
