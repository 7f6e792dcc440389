#include "platform/loading/DecodeJobs.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QString>

#include "platform/files/FileBytes.h"

namespace brindlewick {
namespace {

enum class Priority { Display, HeadStart, Prepare };  // first served first
enum class State { Queued, Running, Done, Failed };

// One reading of a file: what every job of that open decodes from.
struct Open {
  QString path;
  QByteArray bytes;
  std::optional<FileIdentity> keepWhile;
  JpegHeader header;
};

struct Job {
  Priority priority = Priority::Display;
  DecodePlan plan;
  State state = State::Queued;
  std::stop_source stop;
  std::optional<Picture> picture;
  bool waitedFor = false;  // a prepare a display waits for runs at normal priority

  bool active() const { return state == State::Queued || state == State::Running; }
};
using JobPtr = std::shared_ptr<Job>;

bool SetPolicy(pthread_t thread, int policy) {
  const sched_param parameters{};
  return pthread_setschedparam(thread, policy, &parameters) == 0;
}

// How long closing waits for a prepare the system will not raise from idle priority.
constexpr auto kLetGoAfter = std::chrono::milliseconds(100);

}  // namespace

class DecodeJobs::Table {
 public:
  Table(std::shared_ptr<const PictureCodec> codec, PaintSizeFor largest)
      : codec_(std::move(codec)), largest_(std::move(largest)) {}

  std::shared_ptr<const Open> openFor(const QString& path);
  std::optional<DecodePlan> largestPlan(const Open& open) const;
  void headStart(const std::shared_ptr<const Open>& open, const DecodePlan& plan,
                 std::optional<DecodePlan> largest);
  LoadedPicture display(const std::shared_ptr<const Open>& open, const DecodePlan& plan,
                        std::optional<DecodePlan> largest, const std::stop_token& caller);
  void waitUntilIdle();
  void work(pthread_t self);
  bool quit();
  const PictureCodec& codec() const { return *codec_; }
  void prepareFor(PaintSizeFor largest);

 private:
  using Lock = std::unique_lock<std::mutex>;

  // The rules, under the lock.
  void adopt(const std::shared_ptr<const Open>& open);
  JobPtr doneCovering(const DecodePlan& plan) const;
  JobPtr runningCovering(const DecodePlan& plan) const;
  void aimHeadStart(const DecodePlan& plan);
  void stopUnneededHeadStarts(const DecodePlan& plan);
  void pausePrepares();
  void schedulePrepare();
  void finish(const JobPtr& job, std::optional<Picture> picture);

  std::optional<Picture> ready(Lock& lock, const DecodePlan& plan);
  std::optional<Picture> decodeHere(Lock& lock, const Open& open, const JobPtr& job,
                                    const std::stop_token& caller);
  JobPtr add(Priority priority, const DecodePlan& plan);
  template <typename Which>
  void stopWhere(Which which);
  void release(Lock& lock);
  std::optional<Picture> waitFor(Lock& lock, const JobPtr& job);
  bool raiseWorker();
  JobPtr nextForWorker() const;
  std::optional<Picture> run(const Open& open, const Job& job, bool idle) const;

  const std::shared_ptr<const PictureCodec> codec_;
  PaintSizeFor largest_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::shared_ptr<const Open> open_;  // the file whose jobs these are
  std::optional<DecodePlan> largestPlan_;
  std::vector<JobPtr> jobs_;
  std::vector<std::stop_source> toStop_;  // asked once the lock is let go
  bool displayTakesEveryCore_ = false;
  std::optional<pthread_t> worker_;
  JobPtr workerJob_;
  bool workerIdle_ = false;  // at idle priority, for workerJob_
  bool quit_ = false;
  bool workerGone_ = false;
};

std::shared_ptr<const Open> DecodeJobs::Table::openFor(const QString& path) {
  const std::optional<FileIdentity> now = IdentifyFile(path);
  {
    const std::lock_guard lock(mutex_);
    if (open_ && open_->path == path && open_->keepWhile && open_->keepWhile == now) return open_;
  }
  auto open = std::make_shared<Open>();
  open->path = path;
  FileContents file = ReadFileContents(path, kMaxPictureFileBytes);
  open->bytes = std::move(file.bytes);
  open->keepWhile = file.keepWhile;
  open->header = codec_->readHeader(open->bytes);
  return open;
}

std::optional<DecodePlan> DecodeJobs::Table::largestPlan(const Open& open) const {
  // Pixels that could not be handed out again are not worth preparing.
  if (!largest_ || !open.keepWhile) return std::nullopt;
  return codec_->plan(open.header, largest_(open.header.natural), 1);
}

// The prepare follows the head start at once when the screen is known. A head start aimed again,
// at a view that turned out larger before the first display (a window manager's maximise), takes
// the place of one too small for it and goes ahead of the prepare, which follows it again if it
// is still needed.
void DecodeJobs::Table::headStart(const std::shared_ptr<const Open>& open, const DecodePlan& plan,
                                  std::optional<DecodePlan> largest) {
  Lock lock(mutex_);
  adopt(open);
  largestPlan_ = largest;
  aimHeadStart(plan);
  schedulePrepare();
  release(lock);
  changed_.notify_all();
}

// The largest view is the loading thread's alone. Known only once the screen is, after a head
// start may have begun: it then gets its prepare as if it had been known before.
void DecodeJobs::Table::prepareFor(PaintSizeFor largest) {
  largest_ = std::move(largest);
  std::shared_ptr<const Open> open;
  {
    const std::lock_guard lock(mutex_);
    if (largestPlan_) return;
    open = open_;
  }
  if (!open) return;
  const std::optional<DecodePlan> plan = largestPlan(*open);
  {
    const std::lock_guard lock(mutex_);
    if (open_ != open || largestPlan_) return;
    largestPlan_ = plan;
    schedulePrepare();
  }
  changed_.notify_all();
}

LoadedPicture DecodeJobs::Table::display(const std::shared_ptr<const Open>& open,
                                         const DecodePlan& plan, std::optional<DecodePlan> largest,
                                         const std::stop_token& caller) {
  Lock lock(mutex_);
  adopt(open);
  largestPlan_ = largest;
  stopUnneededHeadStarts(plan);
  if (std::optional<Picture> picture = ready(lock, plan)) {
    release(lock);
    return {std::move(*picture), open->keepWhile};
  }
  const JobPtr job = add(Priority::Display, plan);
  job->state = State::Running;
  displayTakesEveryCore_ = plan.cores >= plan.threads;
  if (displayTakesEveryCore_) {
    pausePrepares();
  } else {
    schedulePrepare();
  }
  std::optional<Picture> picture = decodeHere(lock, *open, job, caller);
  return {std::move(*picture), open->keepWhile};
}

// What a done job has, or a running one that keeps at least the load's cores gives.
std::optional<Picture> DecodeJobs::Table::ready(Lock& lock, const DecodePlan& plan) {
  if (const JobPtr done = doneCovering(plan)) return done->picture;
  const JobPtr running = runningCovering(plan);
  if (!running || running->plan.cores < plan.cores) return std::nullopt;
  // A prepare the system will not raise from idle priority is raced, never waited for; one not
  // yet begun begins at normal priority.
  if (running == workerJob_ && workerIdle_ && !raiseWorker()) return std::nullopt;
  running->waitedFor = true;
  return waitFor(lock, running);
}

// Decodes on this thread, racing whatever covers it on the worker; the lock is held on entry and
// let go on return. A failure is thrown once the table is in order again.
std::optional<Picture> DecodeJobs::Table::decodeHere(Lock& lock, const Open& open,
                                                     const JobPtr& job,
                                                     const std::stop_token& caller) {
  release(lock);
  changed_.notify_all();
  std::optional<Picture> picture;
  std::exception_ptr failure;
  try {
    const std::stop_callback forward(caller, [stop = job->stop]() mutable { stop.request_stop(); });
    picture = codec_->decode(open.bytes, open.header, job->plan, job->stop.get_token());
  } catch (...) {
    failure = std::current_exception();
  }
  lock.lock();
  displayTakesEveryCore_ = false;
  finish(job, picture);
  // Stopped because a job on the worker ended first with pixels that cover this load.
  if (!picture && !caller.stop_requested()) {
    if (const JobPtr done = doneCovering(job->plan)) picture = done->picture;
  }
  schedulePrepare();
  release(lock);
  changed_.notify_all();
  if (!picture) std::rethrow_exception(failure);
  return picture;
}

void DecodeJobs::Table::adopt(const std::shared_ptr<const Open>& open) {
  if (open_ == open) return;
  stopWhere([](const Job&) { return true; });
  jobs_.clear();
  open_ = open;
  largestPlan_.reset();
}

JobPtr DecodeJobs::Table::doneCovering(const DecodePlan& plan) const {
  for (const JobPtr& job : jobs_) {
    if (job->state == State::Done && job->plan.covers(plan)) return job;
  }
  return nullptr;
}

JobPtr DecodeJobs::Table::runningCovering(const DecodePlan& plan) const {
  JobPtr best;
  for (const JobPtr& job : jobs_) {
    if (job->priority != Priority::Display && job->active() && job->plan.covers(plan) &&
        (!best || job->plan.cores > best->plan.cores)) {
      best = job;
    }
  }
  return best;
}

// A view that a head start under way, or any job done, covers changes nothing; another takes the
// place of the head starts too small for it, and the prepare steps aside until it is done.
void DecodeJobs::Table::aimHeadStart(const DecodePlan& plan) {
  const bool covered =
      doneCovering(plan) || std::any_of(jobs_.begin(), jobs_.end(), [&](const JobPtr& job) {
        return job->priority == Priority::HeadStart && job->active() && job->plan.covers(plan);
      });
  if (covered) return;
  stopUnneededHeadStarts(plan);
  pausePrepares();
  add(Priority::HeadStart, plan);
}

void DecodeJobs::Table::stopUnneededHeadStarts(const DecodePlan& plan) {
  stopWhere([&](const Job& job) {
    return job.priority == Priority::HeadStart && !job.plan.covers(plan);
  });
}

void DecodeJobs::Table::pausePrepares() {
  stopWhere([](const Job& job) { return job.priority == Priority::Prepare; });
}

void DecodeJobs::Table::schedulePrepare() {
  if (!largestPlan_) return;
  const DecodePlan& largest = *largestPlan_;
  const auto covering = [&](bool done) {
    return std::any_of(jobs_.begin(), jobs_.end(), [&](const JobPtr& job) {
      return job->priority != Priority::Prepare && job->plan.covers(largest) &&
             (done ? job->state == State::Done : job->active());
    });
  };
  // Pixels that cover the largest view leave nothing to prepare; a display on its way to them
  // leaves nothing to start, but races a prepare already under way.
  if (covering(true)) {
    pausePrepares();
    return;
  }
  const auto prepare = [](const JobPtr& job) { return job->priority == Priority::Prepare; };
  if (!covering(false) && std::none_of(jobs_.begin(), jobs_.end(), prepare)) {
    add(Priority::Prepare, largest);
  }
}

// The first to finish stops the others it covers: a display racing it, a prepare behind it.
void DecodeJobs::Table::finish(const JobPtr& job, std::optional<Picture> picture) {
  const auto at = std::find(jobs_.begin(), jobs_.end(), job);
  if (!picture || at == jobs_.end()) {
    job->state = State::Failed;
    if (at != jobs_.end()) jobs_.erase(at);
    return;
  }
  job->state = State::Done;
  job->picture = std::move(picture);
  stopWhere([&](const Job& other) { return &other != job.get() && job->plan.covers(other.plan); });
  std::erase_if(jobs_, [&](const JobPtr& other) {
    return other != job && other->state == State::Done && job->plan.covers(other->plan);
  });
}

JobPtr DecodeJobs::Table::add(Priority priority, const DecodePlan& plan) {
  auto job = std::make_shared<Job>();
  job->priority = priority;
  job->plan = plan;
  jobs_.push_back(job);
  return job;
}

// Stops the active jobs `which` picks and forgets them; a running one ends on its own thread.
template <typename Which>
void DecodeJobs::Table::stopWhere(Which which) {
  std::erase_if(jobs_, [&](const JobPtr& job) {
    if (!job->active() || !which(*job)) return false;
    if (job->state == State::Running) toStop_.push_back(job->stop);
    // Stopped, a prepare leaves idle priority so as to end at once.
    if (job == workerJob_ && workerIdle_ && raiseWorker()) workerIdle_ = false;
    job->state = State::Failed;
    return true;
  });
}

// Lets the lock go and only then asks for the stops decided under it: a stop runs whatever the
// decoder hung on it.
void DecodeJobs::Table::release(Lock& lock) {
  std::vector<std::stop_source> stops = std::exchange(toStop_, {});
  lock.unlock();
  for (std::stop_source& stop : stops) stop.request_stop();
}

// The stops decided before, such as that of a head start too small for the load, are asked
// first: the job waited for may be queued behind it.
std::optional<Picture> DecodeJobs::Table::waitFor(Lock& lock, const JobPtr& job) {
  release(lock);
  lock.lock();
  changed_.wait(lock, [&] { return !job->active(); });
  return job->state == State::Done ? job->picture : std::nullopt;
}

bool DecodeJobs::Table::raiseWorker() { return worker_ && SetPolicy(*worker_, SCHED_OTHER); }

JobPtr DecodeJobs::Table::nextForWorker() const {
  JobPtr next;
  for (const JobPtr& job : jobs_) {
    if (job->state != State::Queued || job->priority == Priority::Display) continue;
    if (job->priority == Priority::Prepare && displayTakesEveryCore_) continue;
    if (!next || job->priority < next->priority) next = job;
  }
  return next;
}

void DecodeJobs::Table::work(pthread_t self) {
  pthread_setname_np(self, kWorkerName);  // so that `top -H` and profilers tell it apart
  Lock lock(mutex_);
  worker_ = self;
  while (true) {
    changed_.wait(lock, [&] { return quit_ || nextForWorker(); });
    if (quit_) break;
    const JobPtr job = nextForWorker();
    job->state = State::Running;
    workerJob_ = job;
    workerIdle_ = job->priority == Priority::Prepare && !job->waitedFor;
    const std::shared_ptr<const Open> open = open_;
    const bool idle = workerIdle_;
    lock.unlock();
    std::optional<Picture> picture = run(*open, *job, idle);
    lock.lock();
    workerJob_.reset();
    workerIdle_ = false;
    finish(job, std::move(picture));
    release(lock);
    changed_.notify_all();
    lock.lock();
  }
  workerGone_ = true;
  lock.unlock();
  changed_.notify_all();
}

// Runs a job on the worker. Only what the cores leave idle for a prepare, so that it never slows
// the picture being shown; raised again before the lock is taken, so that an idle thread never
// holds it.
std::optional<Picture> DecodeJobs::Table::run(const Open& open, const Job& job, bool idle) const {
  if (idle) {
    SetPolicy(pthread_self(), SCHED_IDLE);
    // Stopped while going idle, the raise may have come before.
    if (job.stop.stop_requested()) SetPolicy(pthread_self(), SCHED_OTHER);
  }
  std::optional<Picture> picture;
  try {
    picture = codec_->decode(open.bytes, open.header, job.plan, job.stop.get_token());
  } catch (...) {
    // The display that comes to need it decodes the file itself and reports what went wrong.
  }
  if (idle) SetPolicy(pthread_self(), SCHED_OTHER);
  return picture;
}

void DecodeJobs::Table::waitUntilIdle() {
  Lock lock(mutex_);
  changed_.wait(lock, [&] { return workerGone_ || (!workerJob_ && !nextForWorker()); });
}

// Stops everything, and tells whether the worker has ended: raised until it has, or for a moment
// where the system will not raise it.
bool DecodeJobs::Table::quit() {
  Lock lock(mutex_);
  quit_ = true;
  stopWhere([](const Job&) { return true; });
  release(lock);
  changed_.notify_all();
  lock.lock();
  const auto deadline = std::chrono::steady_clock::now() + kLetGoAfter;
  while (!workerGone_) {
    if (!raiseWorker() && std::chrono::steady_clock::now() > deadline) return false;
    changed_.wait_for(lock, std::chrono::milliseconds(2));
  }
  return true;
}

DecodeJobs::DecodeJobs(std::shared_ptr<const PictureCodec> codec, PaintSizeFor largest)
    : table_(std::make_shared<Table>(std::move(codec), std::move(largest))) {
  worker_ = std::thread([table = table_] { table->work(pthread_self()); });
}

DecodeJobs::~DecodeJobs() {
  // Closing the window need not wait for pixels nobody will see. A worker left at idle priority
  // keeps the table alive and ends on its own.
  if (table_->quit()) {
    worker_.join();
  } else {
    worker_.detach();
  }
}

bool DecodeJobs::headStart(const QString& path, const PictureRequest& request) {
  try {
    const std::shared_ptr<const Open> open = table_->openFor(path);
    const QSizeF painted = request.paintSize ? request.paintSize(open->header.natural) : QSizeF();
    table_->headStart(open, table_->codec().plan(open->header, painted, request.threads),
                      table_->largestPlan(*open));
    return true;
  } catch (const std::exception&) {
    // The display that comes to need it reads the file itself and reports what went wrong.
    return false;
  }
}

LoadedPicture DecodeJobs::LoadPicture(const QString& path, const PictureRequest& request) {
  if (path.isEmpty()) return {};
  const std::shared_ptr<const Open> open = table_->openFor(path);
  const QSizeF painted = request.paintSize ? request.paintSize(open->header.natural) : QSizeF();
  const DecodePlan plan = table_->codec().plan(open->header, painted, request.threads);
  return table_->display(open, plan, table_->largestPlan(*open), request.stop);
}

void DecodeJobs::prepareFor(PaintSizeFor largest) { table_->prepareFor(std::move(largest)); }

void DecodeJobs::waitUntilIdle() { table_->waitUntilIdle(); }

}  // namespace brindlewick
