// Opening and re-laying out a large photo, measured side by side with the decoder alone, the
// naive path (full decode + Qt's smooth scale) and peer tools. Run through bench/run.
//   brindlewick_bench --data=<folder> [benchmark flags]
//   brindlewick_bench --display-once=<file> --peak-to=<path> [--view=<width>x<height>]
//       one display in this process, then its peak resident size (KiB) written to <path>
//   brindlewick_bench --decode-once=<file> --eighths=<n> --busy=<threads> --peak-to=<path>
//       one decode at n/8 (its reader slowed by busy threads), then its peak resident size (KiB)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QStandardPaths>

#include "BenchHarness.h"
#include "platform/errors/RuntimeError.h"
#include "platform/files/FileBytes.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/loading/DecodeJobs.h"
#include "platform/loading/PrepareProcess.h"
#include "platform/surface/Scaling.h"
#include "platform/threads/Parallel.h"
#include "support/Decoding.h"
#include "view/DisplayPicture.h"
#include "view/FitGeometry.h"

extern char** environ;

namespace brindlewick::bench {
namespace {

constexpr QSize kView(685, 485);
// The view in a window maximised on a 1920 x 1080 screen (a title bar and a panel take the rest),
// and the first view on a screen at 200 %.
constexpr QSize kMaximisedView(1905, 1000);
constexpr QSize kDenseView(1371, 985);

QByteArray ReadAll(const QString& path) { return ReadRegularFile(path, kMaxPictureFileBytes); }

void Display(benchmark::State& state, const QString& path, QSize view = kView) {
  test::JpegFileLoader loader;
  MainWindow window(loader);
  window.layOut(view.width() + kViewMargin, view.height() + kViewMargin);
  for (auto _ : state) {
    DisplayPicture(window.display, path, window.doc.Picture1);
    benchmark::DoNotOptimize(window.doc.picLoad.canvas().constBits());
  }
}

void Relayout(benchmark::State& state, const QString& path) {
  DecodeJobs loader(std::make_shared<JpegCodec>());
  MainWindow window(loader);
  window.layOut();
  window.doc.Tag = path;
  DisplayPicture(window.display, path, window.doc.Picture1);
  bool wide = false;
  for (auto _ : state) {
    wide = !wide;
    window.layOut(wide ? 701 : 700, wide ? 501 : 500);
    benchmark::DoNotOptimize(window.doc.picLoad.canvas().constBits());
  }
}

// A maximise of a 1920 x 1080 screen (client 1920 x 1050) just after the photo was opened in the
// first window: kPrepared waits for the background decode first, as any user's hand does; kAtOnce
// maximises the instant the picture is on screen; kReady measures how long after the picture
// shows the background decode is done, so that a maximise any later finds its pixels.
// Without a largest size, nothing is decoded in the background: the same steps as they were
// before there was a background decode, for comparison.
struct Session {
  explicit Session(PaintSizeFor largest)
      : loader(std::make_shared<JpegCodec>(), largest,
               largest ? std::make_shared<PrepareProcess>() : nullptr) {}
  DecodeJobs loader;
  MainWindow window{loader};
};

// What a maximised window on a 1920 x 1080 screen paints a picture at.
PaintSizeFor MaximisedView() {
  const QSize view(1920 - int(kViewMargin), 1080 - int(kViewMargin));
  return [view](QSize natural) {
    return QSizeF(natural) *
           FitScale(natural.width(), natural.height(), view.width(), view.height());
  };
}

// kNone measures the first display alone, with the prepare for the screen beside it (or, plain,
// without one): it must not slow the display.
enum class Grow { kPrepared, kAtOnce, kReady, kNone };

void Maximise(benchmark::State& state, const QString& path, Grow grow, bool background = true) {
  for (auto _ : state) {
    state.PauseTiming();
    auto session = std::make_unique<Session>(background ? MaximisedView() : PaintSizeFor());
    session->window.layOut();
    session->window.doc.Tag = path;
    if (grow == Grow::kNone) state.ResumeTiming();
    DisplayPicture(session->window.display, path, session->window.doc.Picture1);
    if (grow == Grow::kNone) state.PauseTiming();
    if (grow == Grow::kPrepared) session->loader.waitUntilIdle();
    state.ResumeTiming();
    if (grow == Grow::kNone) {
      benchmark::DoNotOptimize(session->window.doc.picLoad.canvas().constBits());
    } else if (grow == Grow::kReady) {
      session->loader.waitUntilIdle();
    } else {
      session->window.layOut(1920, 1050);
      benchmark::DoNotOptimize(session->window.doc.picLoad.canvas().constBits());
    }
    state.PauseTiming();
    session.reset();  // joins the worker, outside the measurement
    state.ResumeTiming();
  }
}

// Opening A, then B, then A again, each shown in the first window: with the background decode,
// each opening stops the decode the one before left behind.
void OpenAgain(benchmark::State& state, const QString& a, const QString& b, bool background) {
  for (auto _ : state) {
    state.PauseTiming();
    auto session = std::make_unique<Session>(background ? MaximisedView() : PaintSizeFor());
    session->window.layOut();
    state.ResumeTiming();
    for (const QString& path : {a, b, a}) {
      session->window.doc.Tag = path;
      DisplayPicture(session->window.display, path, session->window.doc.Picture1);
    }
    state.PauseTiming();
    session.reset();
    state.ResumeTiming();
  }
}

// Two ordinary busy programs' worth of work beside what is measured, at normal priority.
class BusyThreads {
 public:
  BusyThreads() {
    for (std::jthread& thread : threads_) {
      thread = std::jthread([](const std::stop_token& stop) {
        volatile unsigned spin = 0;
        while (!stop.stop_requested()) spin = spin + 1;
      });
    }
  }

 private:
  std::array<std::jthread, 2> threads_;
};

// How long a decode in the background for the maximised view keeps its core once it is no longer
// wanted: from the stop to the end of its thread, at a random point between 5 and 400 ms into the
// decode.
void StopHeard(benchmark::State& state, const QString& path,
               const PaintSizeFor& view = MaximisedView(), int threads = 1, int latest = 400) {
  const QByteArray bytes = ReadAll(path);
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> after(5, latest);
  for (auto _ : state) {
    std::stop_source stop;
    std::atomic<bool> finished{false};
    std::jthread decode([&] {
      try {
        test::DecodeJpeg(bytes, {view, threads, stop.get_token()});
        finished = true;
      } catch (const RuntimeError&) {
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(after(random)));
    const auto asked = std::chrono::steady_clock::now();
    stop.request_stop();
    decode.join();
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count());
    if (finished) {
      state.SkipWithError("the decode ended before it was stopped");
      return;
    }
  }
}

// libjpeg-turbo decoding the file at the scale the display chooses, and nothing else.
void Limit(benchmark::State& state, const QString& path, QSize view = kView) {
  const QByteArray bytes = ReadAll(path);
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
  tjhandle handle = tjInitDecompress();
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  tjDecompressHeader3(handle, data, bytes.size(), &width, &height, &subsampling, &colorspace);
  const double r = FitScale(width, height, view.width(), view.height());
  const DecodeScale scale = DecodeScaleFor(width, height, QSizeF(width * r, height * r));
  const tjscalingfactor factor{scale.num, scale.denom};
  const int outWidth = TJSCALED(width, factor), outHeight = TJSCALED(height, factor);
  std::vector<unsigned char> pixels(size_t(outWidth) * outHeight * 4);
  for (auto _ : state) {
    tjDecompress2(handle, data, bytes.size(), pixels.data(), outWidth, 0, outHeight, TJPF_BGRX,
                  TJFLAG_LIMITSCANS);
    benchmark::DoNotOptimize(pixels.data());
  }
  tjDestroy(handle);
  state.SetLabel(std::to_string(scale.num) + "/" + std::to_string(scale.denom));
}

void Naive(benchmark::State& state, const QString& path) {
  for (auto _ : state) {
    const Picture full = test::DecodeJpeg(ReadAll(path));
    const double r = FitScale(full.width(), full.height(), kView.width(), kView.height());
    const QImage fitted =
        full.pixels().scaled(QSize(qRound(full.width() * r), qRound(full.height() * r)),
                             Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    benchmark::DoNotOptimize(fitted.constBits());
  }
}

// The area-average shrink alone, on pixels whose content does not matter to its speed.
void Shrink(benchmark::State& state, QSize from, QSize to) {
  QImage source(from, QImage::Format_RGB32);
  for (int y = 0; y < from.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(source.scanLine(y));
    for (int x = 0; x < from.width(); ++x) line[x] = qRgb(x * 7, y * 5, (x ^ y) * 3);
  }
  for (auto _ : state) {
    const QImage out = ShrinkByAreaAverage(source, to);
    benchmark::DoNotOptimize(out.constBits());
  }
}

int Run(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Peer(benchmark::State& state, std::vector<std::string> command) {
  if (Run({"sh", "-c", "command -v " + command[0]}) != 0) {
    state.SkipWithError((command[0] + " is not installed").c_str());
    return;
  }
  for (auto _ : state) {
    if (Run(command) != 0) {
      state.SkipWithError((command[0] + " failed").c_str());
      return;
    }
  }
}

// The peak resident size of this process's own memory; unlike the children's rusage, it does not
// start from the parent's size that a spawned child inherits until it runs the new program.
long PeakResidentKiB() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  }
  return -1;
}

long PeakOfChild(const std::string& self, const std::string& picture, QSize view) {
  const std::string report =
      (QDir::tempPath() + QStringLiteral("/brindlewick-bench-peak")).toStdString();
  Run({self, "--display-once=" + picture, "--peak-to=" + report,
       "--view=" + std::to_string(view.width()) + "x" + std::to_string(view.height())});
  QFile file(QString::fromStdString(report));
  return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLong() : -1;
}

// Peak resident memory of a process that displays the file once, and of one that does not.
void PeakMemory(benchmark::State& state, const std::string& self, const QString& path,
                QSize view = kView) {
  long display = 0, empty = 0;
  for (auto _ : state) {
    display = PeakOfChild(self, path.toStdString(), view);
    empty = PeakOfChild(self, {}, view);
  }
  state.counters["display_MiB"] = display / 1024.0;
  state.counters["empty_MiB"] = empty / 1024.0;
  state.counters["added_MiB"] = (display - empty) / 1024.0;
}

int DisplayOnce(const QString& path, const QString& report, QSize view) {
  test::JpegFileLoader loader;
  MainWindow window(loader);
  window.layOut(view.width() + kViewMargin, view.height() + kViewMargin);
  if (!path.isEmpty()) DisplayPicture(window.display, path, window.doc.Picture1);
  QFile file(report);
  if (!file.open(QIODevice::WriteOnly)) return 1;
  file.write(QByteArray::number(qlonglong(PeakResidentKiB())));
  return 0;
}

// One decode of the file at eighths/8 on every core in this process, then its peak resident size
// (KiB) written to `report`. With `busy` threads spinning beside it and the calling thread, where
// libjpeg reads the stream, at the lowest priority, libjpeg takes the stream far more slowly than
// the pool's threads make it. The pool's threads are made by a first small decode, before the
// calling thread's priority drops (a thread starts at its maker's).
int DecodeOnce(const QString& path, int eighths, int busy, const QString& report) {
  const QByteArray bytes = ReadAll(path);
  test::DecodeJpeg(bytes, {[](QSize natural) { return QSizeF(natural) / 8; }, 4, {}});
  std::vector<std::jthread> spinners;
  for (int i = 0; i < busy; ++i) {
    spinners.emplace_back([](const std::stop_token& stop) {
      std::atomic<unsigned> work{0};
      while (!stop.stop_requested()) work.fetch_add(1, std::memory_order_relaxed);
    });
  }
  if (busy > 0) setpriority(PRIO_PROCESS, id_t(gettid()), 19);
  const PaintSizeFor painted = [eighths](QSize natural) { return QSizeF(natural) * eighths / 8; };
  test::DecodeJpeg(bytes, {painted, 4, {}});
  spinners.clear();
  QFile file(report);
  if (!file.open(QIODevice::WriteOnly)) return 1;
  file.write(QByteArray::number(qlonglong(PeakResidentKiB())));
  return 0;
}

long PeakOfDecode(const std::string& self, const std::string& picture, int eighths, int busy) {
  const std::string report =
      (QDir::tempPath() + QStringLiteral("/brindlewick-bench-peak")).toStdString();
  Run({self, "--decode-once=" + picture, "--eighths=" + std::to_string(eighths),
       "--busy=" + std::to_string(busy), "--peak-to=" + report});
  QFile file(QString::fromStdString(report));
  return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLong() : -1;
}

// The progressive stream's peak memory with its reader slowed (two busy threads beside it, its
// thread at the lowest priority), against the same decode unloaded: the stream waits for its
// reader, so it holds no more.
void PeakMemoryConsumerSlowed(benchmark::State& state, const std::string& self, const QString& path,
                              int eighths) {
  long idle = 0, slowed = 0;
  for (auto _ : state) {
    idle = PeakOfDecode(self, path.toStdString(), eighths, 0);
    slowed = PeakOfDecode(self, path.toStdString(), eighths, 2);
  }
  state.counters["idle_MiB"] = idle / 1024.0;
  state.counters["slowed_MiB"] = slowed / 1024.0;
  state.counters["ratio"] = idle > 0 ? double(slowed) / double(idle) : 0.0;
}

void RegisterAll(const std::string& self, const QString& folder) {
  const QString tmp = QDir::tempPath();
  // A 48 MP photo's kept pixels into a maximised view (2/8 decode) and into the first view (1/8).
  for (const auto& [from, to] : {std::pair(QSize(2000, 1500), QSize(1905, 1429)),
                                 std::pair(QSize(1000, 750), QSize(685, 514))}) {
    const std::string name = "Shrink/" + std::to_string(from.width()) + "x" +
                             std::to_string(from.height()) + "_to_" + std::to_string(to.width()) +
                             "x" + std::to_string(to.height());
    benchmark::RegisterBenchmark(name.c_str(),
                                 [from, to](benchmark::State& s) { Shrink(s, from, to); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  for (const char* name :
       {"photo12", "photo24", "photo48", "photo24p", "photo48p", "photo24pj", "photo48pj",
        "photo24r1", "photo48r1", "photo24r8", "photo48r8", "photo24a", "photo48a"}) {
    const QString path = folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".jpg");
    if (!QFile::exists(path)) continue;
    const std::string file = path.toStdString();
    auto add = [&](const std::string& what, auto&& fn) {
      benchmark::RegisterBenchmark((what + "/" + name).c_str(), fn)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    };
    add("Display", [path](benchmark::State& s) { Display(s, path); });
    add("Limit", [path](benchmark::State& s) { Limit(s, path); });
    // The same at the two larger views, where the decode needs 2/8 or more.
    if (std::strcmp(name, "photo12") != 0 && name[std::strlen(name) - 1] != 'a') {
      for (const auto& [label, view] :
           {std::pair("maximised", kMaximisedView), std::pair("dense", kDenseView)}) {
        add(std::string("Display/") + label,
            [path, view = view](benchmark::State& s) { Display(s, path, view); });
        add(std::string("Limit/") + label,
            [path, view = view](benchmark::State& s) { Limit(s, path, view); });
      }
    }
    // The tagged photos are measured against the untagged ones, re-layout included.
    if (name[std::strlen(name) - 1] == 'a') {
      add("Relayout", [path](benchmark::State& s) { Relayout(s, path); });
      continue;
    }
    // The variants are measured against the decoder alone; the peers see the plain photos.
    if (std::strlen(name) > std::strlen("photo48") && std::strcmp(name, "photo24p") != 0) {
      continue;
    }
    add("Naive", [path](benchmark::State& s) { Naive(s, path); });
    add("Relayout", [path](benchmark::State& s) { Relayout(s, path); });
    add("Peer_djpeg", [file](benchmark::State& s) {
      Peer(s, {"djpeg", "-scale", "1/8", "-outfile", "/dev/null", file});
    });
    const std::string thumb = (tmp + QStringLiteral("/brindlewick-bench-thumb.jpg")).toStdString();
    add("Peer_vipsthumbnail", [file, thumb](benchmark::State& s) {
      Peer(s, {"vipsthumbnail", file, "-s", "685x485", "-o", thumb});
    });
    // Debian's ImageMagick, by its full path: another "convert" may come first on PATH.
    add("Peer_convert", [file, thumb](benchmark::State& s) {
      Peer(s, {"/usr/bin/convert", "-define", "jpeg:size=1370x970", file, "-thumbnail", "685x485",
               thumb});
    });
    if (std::strcmp(name, "photo48") == 0) {
      for (const bool background : {true, false}) {
        const std::string label =
            background ? "OpenAgain/photo48p_photo48" : "OpenAgain/photo48p_photo48/plain";
        const QString progressive = folder + QStringLiteral("/photo48p.jpg");
        benchmark::RegisterBenchmark(label.c_str(),
                                     [path, progressive, background](benchmark::State& s) {
                                       OpenAgain(s, progressive, path, background);
                                     })
            ->Iterations(4)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
      }
      // On a machine busy with two other programs, the display with the prepare beside it takes
      // no longer than without.
      for (const bool background : {true, false}) {
        benchmark::RegisterBenchmark(
            background ? "DisplayBusy/photo48" : "DisplayBusy/photo48/plain",
            [path, background](benchmark::State& s) {
              const BusyThreads busy;
              Maximise(s, path, Grow::kNone, background);
            })
            ->Iterations(8)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
      }
      for (const bool background : {true, false}) {
        benchmark::RegisterBenchmark(
            background ? "DisplayBeside/photo48" : "DisplayBeside/photo48/plain",
            [path, background](benchmark::State& s) { Maximise(s, path, Grow::kNone, background); })
            ->Iterations(8)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
      }
      for (const auto& [label, grow] :
           {std::pair("Maximise/", Grow::kPrepared), std::pair("MaximiseAtOnce/", Grow::kAtOnce),
            std::pair("PreparedAfterShowing/", Grow::kReady)}) {
        benchmark::RegisterBenchmark(
            (std::string(label) + name).c_str(),
            [path, grow = grow](benchmark::State& s) { Maximise(s, path, grow); })
            ->Iterations(8)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
      }
      for (const auto& [label, view] :
           {std::pair("PeakMemory/photo48", kView),
            std::pair("PeakMemory/maximised/photo48", kMaximisedView)}) {
        benchmark::RegisterBenchmark(
            label,
            [self, path, view = view](benchmark::State& s) { PeakMemory(s, self, path, view); })
            ->Iterations(1)
            ->Repetitions(1)
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
}

// Progressive photos at 24 and 48 MP, from libjpeg's default script (p) and from jpegtran
// (pj): the display, which decodes only the scans the view needs, against the whole file
// decoded at the same scale (Limit), and the peak memory of a 48 MP display.
void RegisterProgressive(const std::string& self, const QString& folder) {
  // A stop heard in every way a decode in the background reads a file: the progressive stream
  // made a stripe at a time, libjpeg's own read of arithmetic-coded scans, and CMYK.
  // The stop comes at a random point of the decode: the CMYK photo's ends sooner than the others.
  for (const auto& [name, latest] :
       {std::pair("photo48p", 400), std::pair("photo48pa", 400), std::pair("photo48c", 100)}) {
    const QString path = folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".jpg");
    if (!QFile::exists(path)) continue;
    benchmark::RegisterBenchmark((std::string("StopHeard/") + name).c_str(),
                                 [path, latest = latest](benchmark::State& s) {
                                   StopHeard(s, path, MaximisedView(), 1, latest);
                                 })
        ->Iterations(8)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
  }
  // And the baseline photo's parts, decoded side by side for the first view, stopped before the
  // display is done.
  const QString photo48 = folder + QStringLiteral("/photo48.jpg");
  if (QFile::exists(photo48)) {
    benchmark::RegisterBenchmark("StopHeard/photo48/split",
                                 [photo48](benchmark::State& s) {
                                   const PaintSizeFor first = [](QSize natural) {
                                     return QSizeF(natural) *
                                            FitScale(natural.width(), natural.height(),
                                                     kView.width(), kView.height());
                                   };
                                   StopHeard(s, photo48, first, CoreCount(), 50);
                                 })
        ->Iterations(8)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
    // The same photo maximised, in bands found by a walk over its codes.
    benchmark::RegisterBenchmark("StopHeard/photo48/bands",
                                 [photo48](benchmark::State& s) {
                                   StopHeard(s, photo48, MaximisedView(), CoreCount(), 100);
                                 })
        ->Iterations(8)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
  }
  const QString photo48p = folder + QStringLiteral("/photo48p.jpg");
  if (QFile::exists(photo48p)) {
    for (const bool background : {true, false}) {
      benchmark::RegisterBenchmark(
          background ? "MaximiseAtOnce/photo48p" : "MaximiseAtOnce/photo48p/plain",
          [photo48p, background](benchmark::State& s) {
            Maximise(s, photo48p, Grow::kAtOnce, background);
          })
          ->Iterations(4)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
  for (const char* name : {"photo48p", "photo24pj", "photo48pj"}) {
    const QString path = folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".jpg");
    if (!QFile::exists(path)) continue;
    const auto add = [&](const std::string& what, auto fn) {
      benchmark::RegisterBenchmark((what + "/" + name).c_str(),
                                   [path, fn](benchmark::State& s) { fn(s, path); })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    };
    add("Display", [](benchmark::State& s, const QString& p) { Display(s, p); });
    add("Limit", [](benchmark::State& s, const QString& p) { Limit(s, p); });
    if (std::strstr(name, "48")) {
      for (const auto& [label, view] :
           {std::pair("", kView), std::pair("maximised/", kMaximisedView)}) {
        benchmark::RegisterBenchmark(
            (std::string("PeakMemory/") + label + name).c_str(),
            [self, path, view = view](benchmark::State& s) { PeakMemory(s, self, path, view); })
            ->Iterations(1)
            ->Repetitions(1)
            ->Unit(benchmark::kMillisecond);
      }
      if (std::strcmp(name, "photo48p") != 0) continue;
      for (const int eighths : {8, 4}) {
        benchmark::RegisterBenchmark(
            ("PeakMemory/stream/slowed/" + std::to_string(eighths) + "of8/" + name).c_str(),
            [self, path, eighths](benchmark::State& s) {
              PeakMemoryConsumerSlowed(s, self, path, eighths);
            })
            ->Iterations(1)
            ->Repetitions(1)
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
}

}  // namespace
}  // namespace brindlewick::bench

int main(int argc, char** argv) {
  // The prepare's helper, started by the sessions' loaders.
  if (argc > 1 && std::string(argv[1]) == brindlewick::PrepareProcess::kRole) {
    return brindlewick::RunPrepareHelper(argc, argv);
  }
  std::vector<char*> rest;
  QString data, once, peakTo, decodeOnce;
  QSize view = brindlewick::bench::kView;
  bool displayOnce = false;
  int eighths = 8, busy = 0;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--data=", 0) == 0) {
      data = QString::fromStdString(a.substr(7));
    } else if (a.rfind("--peak-to=", 0) == 0) {
      peakTo = QString::fromStdString(a.substr(10));
    } else if (a.rfind("--view=", 0) == 0) {
      const QStringList sides = QString::fromStdString(a.substr(7)).split(QLatin1Char('x'));
      view = QSize(sides.value(0).toInt(), sides.value(1).toInt());
    } else if (a.rfind("--decode-once=", 0) == 0) {
      decodeOnce = QString::fromStdString(a.substr(14));
    } else if (a.rfind("--eighths=", 0) == 0) {
      eighths = std::stoi(a.substr(10));
    } else if (a.rfind("--busy=", 0) == 0) {
      busy = std::stoi(a.substr(7));
    } else if (a.rfind("--display-once=", 0) == 0) {
      displayOnce = true;
      once = QString::fromStdString(a.substr(15));
    } else {
      rest.push_back(argv[i]);
    }
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  if (displayOnce) return brindlewick::bench::DisplayOnce(once, peakTo, view);
  if (!decodeOnce.isEmpty()) {
    return brindlewick::bench::DecodeOnce(decodeOnce, eighths, busy, peakTo);
  }

  const QString folder = data.isEmpty() ? QStringLiteral("bench/data") : data;
  brindlewick::bench::RegisterAll(argv[0], folder);
  brindlewick::bench::RegisterProgressive(argv[0], folder);
  int count = int(rest.size());
  benchmark::Initialize(&count, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
