#include "platform/loading/DecodeJobs.h"

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QString>

#include "platform/files/FileBytes.h"
#include "platform/loading/Preparer.h"

namespace brindlewick {
namespace {

enum class Kind { Display, HeadStart, Prepared };
enum class State { Queued, Running, Done, Failed };

// One reading of a file: what every job of that open decodes from.
struct Open {
  QString path;
  QByteArray bytes;
  std::optional<FileIdentity> keepWhile;
  JpegHeader header;
};

// A display or a head start, or the pixels of a prepare once they are there.
struct Job {
  Kind kind = Kind::Display;
  DecodePlan plan;
  State state = State::Queued;
  std::stop_source stop;
  std::optional<Picture> picture;

  bool active() const { return state == State::Queued || state == State::Running; }
};
using JobPtr = std::shared_ptr<Job>;

}  // namespace

class DecodeJobs::Table {
 public:
  Table(std::shared_ptr<const PictureCodec> codec, PaintSizeFor largest,
        std::shared_ptr<Preparer> preparer)
      : codec_(std::move(codec)), largest_(std::move(largest)), preparer_(std::move(preparer)) {}

  std::shared_ptr<const Open> openFor(const QString& path);
  std::optional<DecodePlan> largestPlan(const Open& open) const;
  void headStart(const std::shared_ptr<const Open>& open, const DecodePlan& plan,
                 std::optional<DecodePlan> largest);
  LoadedPicture display(const std::shared_ptr<const Open>& open, const DecodePlan& plan,
                        std::optional<DecodePlan> largest, const std::stop_token& caller);
  void waitUntilIdle();
  void work();
  void quit();
  const PictureCodec& codec() const { return *codec_; }
  void prepareFor(PaintSizeFor largest);

 private:
  using Lock = std::unique_lock<std::mutex>;

  // The rules, under the lock.
  void adopt(const std::shared_ptr<const Open>& open, std::optional<DecodePlan> largest);
  void takePrepared();
  JobPtr doneCovering(const DecodePlan& plan) const;
  JobPtr headStartCovering(const DecodePlan& plan) const;
  void aimHeadStart(const DecodePlan& plan);
  void stopUnneededHeadStarts(const DecodePlan& plan);
  void stopPrepareFor(const DecodePlan& display);
  void schedulePrepare();
  void finish(const JobPtr& job, std::optional<Picture> picture);

  std::optional<Picture> ready(Lock& lock, const DecodePlan& plan);
  std::optional<Picture> decodeHere(Lock& lock, const Open& open, const JobPtr& job,
                                    const std::stop_token& caller);
  JobPtr add(Kind kind, const DecodePlan& plan);
  template <typename Which>
  void stopWhere(Which which);
  void stopPrepare();
  void release(Lock& lock);
  std::optional<Picture> waitFor(Lock& lock, const JobPtr& job);
  JobPtr nextForWorker() const;
  std::optional<Picture> run(const Open& open, const Job& job) const;

  const std::shared_ptr<const PictureCodec> codec_;
  PaintSizeFor largest_;
  const std::shared_ptr<Preparer> preparer_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::shared_ptr<const Open> open_;  // the file whose jobs these are
  std::optional<DecodePlan> largestPlan_;
  std::vector<JobPtr> jobs_;
  std::optional<DecodePlan> preparing_;  // the plan of the preparer's order under way
  bool prepareFailed_ = false;
  std::vector<std::stop_source> toStop_;  // asked once the lock is let go
  bool displayTakesEveryCore_ = false;
  JobPtr workerJob_;
  bool quit_ = false;
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

// A head start aimed again, at a view that turned out larger before the first display (a window
// manager's maximise), takes the place of one too small for it and goes ahead of the prepare,
// which follows it again if it is still needed.
void DecodeJobs::Table::headStart(const std::shared_ptr<const Open>& open, const DecodePlan& plan,
                                  std::optional<DecodePlan> largest) {
  Lock lock(mutex_);
  adopt(open, largest);
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
  Lock lock(mutex_);
  if (open_ != open || largestPlan_) return;
  largestPlan_ = plan;
  schedulePrepare();
  release(lock);
}

LoadedPicture DecodeJobs::Table::display(const std::shared_ptr<const Open>& open,
                                         const DecodePlan& plan, std::optional<DecodePlan> largest,
                                         const std::stop_token& caller) {
  Lock lock(mutex_);
  adopt(open, largest);
  stopUnneededHeadStarts(plan);
  if (std::optional<Picture> picture = ready(lock, plan)) {
    release(lock);
    return {std::move(*picture), open->keepWhile};
  }
  const JobPtr job = add(Kind::Display, plan);
  job->state = State::Running;
  displayTakesEveryCore_ = plan.cores >= plan.threads;
  stopPrepareFor(plan);
  schedulePrepare();
  std::optional<Picture> picture = decodeHere(lock, *open, job, caller);
  return {std::move(*picture), open->keepWhile};
}

// What a done job has, or a running head start that keeps at least the load's cores gives.
std::optional<Picture> DecodeJobs::Table::ready(Lock& lock, const DecodePlan& plan) {
  if (const JobPtr done = doneCovering(plan)) return done->picture;
  const JobPtr running = headStartCovering(plan);
  if (!running || running->plan.cores < plan.cores) return std::nullopt;
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
  // Stopped because the head start ended first with pixels that cover this load.
  if (!picture && !caller.stop_requested()) {
    if (const JobPtr done = doneCovering(job->plan)) picture = done->picture;
  }
  schedulePrepare();
  release(lock);
  changed_.notify_all();
  if (!picture) std::rethrow_exception(failure);
  return picture;
}

// Every call begins here: the jobs of another file are stopped, and pixels the prepare has made
// since the last call join the done jobs.
void DecodeJobs::Table::adopt(const std::shared_ptr<const Open>& open,
                              std::optional<DecodePlan> largest) {
  if (open_ != open) {
    stopWhere([](const Job&) { return true; });
    stopPrepare();
    jobs_.clear();
    open_ = open;
    prepareFailed_ = false;
  }
  largestPlan_ = largest;
  takePrepared();
}

// Looks for the outcome of the preparer's order, which it tells without the lock.
void DecodeJobs::Table::takePrepared() {
  if (!preparing_) return;
  Preparer::Outcome outcome = preparer_->poll();
  if (outcome.state == Preparer::Outcome::Pending) return;
  const DecodePlan plan = *std::exchange(preparing_, std::nullopt);
  if (outcome.state == Preparer::Outcome::Done) {
    finish(add(Kind::Prepared, plan), std::move(outcome.picture));
  } else {
    prepareFailed_ = true;  // not again for this open: a display reports what is wrong
  }
}

JobPtr DecodeJobs::Table::doneCovering(const DecodePlan& plan) const {
  for (const JobPtr& job : jobs_) {
    if (job->state == State::Done && job->plan.covers(plan)) return job;
  }
  return nullptr;
}

JobPtr DecodeJobs::Table::headStartCovering(const DecodePlan& plan) const {
  JobPtr best;
  for (const JobPtr& job : jobs_) {
    if (job->kind == Kind::HeadStart && job->active() && job->plan.covers(plan) &&
        (!best || job->plan.cores > best->plan.cores)) {
      best = job;
    }
  }
  return best;
}

// A view that a head start under way, or any job done, covers changes nothing; another takes the
// place of the head starts too small for it, and the prepare steps aside until it is done.
void DecodeJobs::Table::aimHeadStart(const DecodePlan& plan) {
  if (doneCovering(plan) || headStartCovering(plan)) return;
  stopUnneededHeadStarts(plan);
  stopPrepare();
  add(Kind::HeadStart, plan);
}

void DecodeJobs::Table::stopUnneededHeadStarts(const DecodePlan& plan) {
  stopWhere([&](const Job& job) { return job.kind == Kind::HeadStart && !job.plan.covers(plan); });
}

// Two decodes of the same pixels would hold their memory twice, and the prepare cannot be waited
// for; one beside a display on every core would only slow it.
void DecodeJobs::Table::stopPrepareFor(const DecodePlan& display) {
  if (preparing_ && (displayTakesEveryCore_ || display.covers(*preparing_))) stopPrepare();
}

// The prepare follows the head start and a display on every core; pixels that cover the largest
// view, done or under way, leave nothing to prepare.
void DecodeJobs::Table::schedulePrepare() {
  if (!largestPlan_ || !preparer_ || !open_->keepWhile) return;
  const DecodePlan& largest = *largestPlan_;
  const auto covering = [&](bool done) {
    return std::any_of(jobs_.begin(), jobs_.end(), [&](const JobPtr& job) {
      return job->plan.covers(largest) && (done ? job->state == State::Done : job->active());
    });
  };
  if (covering(true)) {
    stopPrepare();
    return;
  }
  if (preparing_ || prepareFailed_ || displayTakesEveryCore_ || covering(false)) return;
  const auto headStart = [](const JobPtr& job) {
    return job->kind == Kind::HeadStart && job->active();
  };
  if (std::any_of(jobs_.begin(), jobs_.end(), headStart)) return;
  preparer_->start({open_->path, *open_->keepWhile, open_->bytes, open_->header, largest});
  preparing_ = largest;
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
  if (preparing_ && job->plan.covers(*preparing_)) stopPrepare();
  std::erase_if(jobs_, [&](const JobPtr& other) {
    return other != job && other->state == State::Done && job->plan.covers(other->plan);
  });
}

JobPtr DecodeJobs::Table::add(Kind kind, const DecodePlan& plan) {
  auto job = std::make_shared<Job>();
  job->kind = kind;
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
    job->state = State::Failed;
    return true;
  });
}

// Ends the preparer's order at once: a display may be about to decode the same pixels.
void DecodeJobs::Table::stopPrepare() {
  if (!preparing_) return;
  preparer_->stop();
  preparing_.reset();
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

JobPtr DecodeJobs::Table::nextForWorker() const {
  for (const JobPtr& job : jobs_) {
    if (job->kind == Kind::HeadStart && job->state == State::Queued) return job;
  }
  return nullptr;
}

void DecodeJobs::Table::work() {
  pthread_setname_np(pthread_self(), kWorkerName);  // so that `top -H` and profilers tell it apart
  Lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [&] { return quit_ || nextForWorker(); });
    if (quit_) break;
    const JobPtr job = nextForWorker();
    job->state = State::Running;
    workerJob_ = job;
    const std::shared_ptr<const Open> open = open_;
    lock.unlock();
    std::optional<Picture> picture = run(*open, *job);
    lock.lock();
    workerJob_.reset();
    finish(job, std::move(picture));
    schedulePrepare();
    release(lock);
    changed_.notify_all();
    lock.lock();
  }
}

std::optional<Picture> DecodeJobs::Table::run(const Open& open, const Job& job) const {
  try {
    return codec_->decode(open.bytes, open.header, job.plan, job.stop.get_token());
  } catch (...) {
    // The display that comes to need it decodes the file itself and reports what went wrong.
    return std::nullopt;
  }
}

// The preparer is waited for under the lock, which only tests and benchmarks do.
void DecodeJobs::Table::waitUntilIdle() {
  Lock lock(mutex_);
  changed_.wait(lock, [&] { return quit_ || (!workerJob_ && !nextForWorker()); });
  if (preparing_) preparer_->waitUntilIdle();
}

// Stops everything; the worker ends once its decode has heard the stop.
void DecodeJobs::Table::quit() {
  Lock lock(mutex_);
  quit_ = true;
  stopWhere([](const Job&) { return true; });
  stopPrepare();
  release(lock);
  changed_.notify_all();
}

DecodeJobs::DecodeJobs(std::shared_ptr<const PictureCodec> codec, PaintSizeFor largest,
                       std::shared_ptr<Preparer> preparer)
    : table_(std::make_shared<Table>(std::move(codec), std::move(largest), std::move(preparer))) {
  worker_ = std::thread([table = table_] { table->work(); });
}

DecodeJobs::~DecodeJobs() {
  table_->quit();
  worker_.join();
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
