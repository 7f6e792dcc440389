// Brindlewick against the desktop viewers a user would pick instead, end to end on a private
// Xvfb screen: the time from launching a program with a photo to the fitted picture on screen,
// its start-up without a file, and its peak memory; and Brindlewick's time from Return in its
// open dialog to the picture. Each program at its own default size on a bare screen, then
// maximised by a window manager.
//   viewer_bench [--default|--maximised] <brindlewick> <folder of photos>
//                <folder for screenshots> [runs [program...]]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <QImage>
#include <QImageReader>
#include <QPainter>

#include "Processes.h"
#include "Screen.h"

namespace brindlewick::bench {
namespace {

namespace fs = std::filesystem;

// One run's surroundings: a fresh home (so no viewer remembers a window size or a last folder)
// with its own session bus, as a desktop would have one running before any program starts.
class Session {
 public:
  explicit Session(const std::string& display) {
    char pattern[] = "/tmp/viewer-home-XXXXXX";
    home_ = mkdtemp(pattern);
    env_ = {"DISPLAY=" + display, "HOME=" + home_, "PATH=" + std::string(std::getenv("PATH")),
            "LC_ALL=C.UTF-8", "GDK_BACKEND=x11", "QT_QPA_PLATFORM=xcb", "QT_QPA_PLATFORMTHEME=",
            // No accessibility bus for anyone: none of the programs is asked for it here.
            "NO_AT_BRIDGE=1", "QT_ACCESSIBILITY=0"};
    for (auto [name, folder] : {std::pair{"XDG_CONFIG_HOME", ".config"},
                                {"XDG_DATA_HOME", ".local/share"},
                                {"XDG_CACHE_HOME", ".cache"},
                                {"XDG_STATE_HOME", ".local/state"},
                                {"XDG_RUNTIME_DIR", "run"}}) {
      fs::create_directories(home_ + "/" + folder);
      env_.push_back(std::string(name) + "=" + home_ + "/" + folder);
    }
    fs::permissions(home_ + "/run", fs::perms::owner_all);
    const std::string bus =
        SpawnAndReadLine({"dbus-daemon", "--session", "--nofork", "--print-address"}, env_, &bus_);
    env_.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus);
  }
  ~Session() {
    // Everything the program left, then the bus, then the reaping of all of it.
    EndAll({bus_});
    EndAll({});
    fs::remove_all(home_);
  }
  const Strings& env() const { return env_; }
  void write(const std::pair<std::string, std::string>& file) const {
    if (file.first.empty()) return;
    fs::create_directories(fs::path(home_ + "/" + file.first).parent_path());
    std::ofstream(home_ + "/" + file.first) << file.second;
  }
  // Peak resident memory of everything started for the program, less the bus we gave it and
  // what outlives the runs.
  long peakKb() const {
    long sum = 0;
    for (pid_t p : Descendants()) {
      if (!Fixtures().count(p) && p != bus_) sum += VmHwmKb(p);
    }
    return sum;
  }
  static void EndAll(const std::set<pid_t>& keep) {
    auto others = [&] {
      std::vector<pid_t> list;
      for (pid_t p : Descendants()) {
        if (!Fixtures().count(p) && !keep.count(p)) list.push_back(p);
      }
      return list;
    };
    for (pid_t p : others()) kill(p, SIGTERM);
    for (int i = 0; i < 300; ++i) {
      while (waitpid(-1, nullptr, WNOHANG) > 0) {
      }
      const auto left = others();
      if (left.empty()) return;
      if (i == 150) {
        for (pid_t p : left) kill(p, SIGKILL);
      }
      Sleep(10);
    }
  }
  // What outlives every run, as on a desktop: the X server and the window manager.
  static std::set<pid_t>& Fixtures() {
    static std::set<pid_t> fixtures;
    return fixtures;
  }

 private:
  std::string home_;
  Strings env_;
  pid_t bus_ = -1;
};

// What a run saw: the moment the picture was on screen in its final form, the first moment
// something like it was (a preview), where it was, and how well it matches the photo.
struct Seen {
  double pictureMs = -1, firstMs = -1;
  Rect window, picture;
  double match = 0;
  QImage shot;
};

// The photo as the viewers should show it, in the picture's rectangle.
QImage Reference(const std::string& path, const Rect& size) {
  std::ifstream file(path, std::ios::binary);
  std::vector<unsigned char> jpeg((std::istreambuf_iterator<char>(file)), {});
  tjhandle tj = tjInitDecompress();
  int w = 0, h = 0, sub = 0, space = 0;
  tjDecompressHeader3(tj, jpeg.data(), jpeg.size(), &w, &h, &sub, &space);
  QImage small(TJSCALED(w, (tjscalingfactor{1, 8})), TJSCALED(h, (tjscalingfactor{1, 8})),
               QImage::Format_RGB32);
  tjDecompress2(tj, jpeg.data(), jpeg.size(), small.bits(), small.width(),
                int(small.bytesPerLine()), small.height(), TJPF_BGRX, 0);
  tjDestroy(tj);
  return small.scaled(size.w, size.h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

int Luma(QRgb p) { return (qRed(p) * 299 + qGreen(p) * 587 + qBlue(p) * 114) / 1000; }

// Correlation of the mean brightness of a 24 x 16 grid of cells: near 1 only for the photo.
double Match(const QImage& a, const QImage& b) {
  constexpr int kX = 24, kY = 16;
  std::vector<double> ma, mb;
  for (int cy = 0; cy < kY; ++cy) {
    for (int cx = 0; cx < kX; ++cx) {
      double sa = 0, sb = 0;
      int n = 0;
      for (int y = cy * a.height() / kY; y < (cy + 1) * a.height() / kY; y += 2) {
        for (int x = cx * a.width() / kX; x < (cx + 1) * a.width() / kX; x += 2, ++n) {
          sa += Luma(a.pixel(x, y));
          sb += Luma(b.pixel(x, y));
        }
      }
      ma.push_back(sa / std::max(n, 1));
      mb.push_back(sb / std::max(n, 1));
    }
  }
  auto mean = [](const std::vector<double>& v) {
    return std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
  };
  const double a0 = mean(ma), b0 = mean(mb);
  double ab = 0, aa = 0, bb = 0;
  for (size_t i = 0; i < ma.size(); ++i) {
    ab += (ma[i] - a0) * (mb[i] - b0);
    aa += (ma[i] - a0) * (ma[i] - a0);
    bb += (mb[i] - b0) * (mb[i] - b0);
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// Where the photo's textured part is in the window: the longest runs of rows and columns mostly
// made of pixels unlike their neighbours. The photos have texture down to single pixels below
// their horizon; toolbars, text and backgrounds do not, so a few narrowing passes converge on
// the picture's full width and its lower part.
std::optional<Rect> FindTexture(const QImage& window) {
  const int w = window.width(), h = window.height();
  std::vector<uint8_t> textured(size_t(w) * h);
  // Unlike the neighbours on both sides, so that the plain pixel next to the picture's edge
  // does not count.
  for (int y = 1; y + 1 < h; ++y) {
    const QRgb* above = reinterpret_cast<const QRgb*>(window.constScanLine(y - 1));
    const QRgb* row = reinterpret_cast<const QRgb*>(window.constScanLine(y));
    const QRgb* below = reinterpret_cast<const QRgb*>(window.constScanLine(y + 1));
    for (int x = 1; x + 1 < w; ++x) {
      const int p = Luma(row[x]);
      textured[size_t(y) * w + x] =
          std::abs(p - Luma(row[x - 1])) + std::abs(p - Luma(above[x])) > 2 &&
          std::abs(p - Luma(row[x + 1])) + std::abs(p - Luma(below[x])) > 2;
    }
  }
  Rect r{0, 0, w, h};
  for (int pass = 0; pass < 4; ++pass) {
    auto longestRun = [&](bool rows) {
      const int n = rows ? r.h : r.w, across = rows ? r.w : r.h;
      int best = 0, bestAt = 0, run = 0;
      for (int i = 0; i < n; ++i) {
        int count = 0;
        for (int j = 0; j < across; ++j) {
          count += rows ? textured[size_t(r.y + i) * w + r.x + j]
                        : textured[size_t(r.y + j) * w + r.x + i];
        }
        run = count * 100 > across * 45 ? run + 1 : 0;
        if (run > best) best = run, bestAt = i - run + 1;
      }
      return std::pair{bestAt, best};
    };
    const auto [y, rh] = longestRun(true);
    r.y += y, r.h = rh;
    const auto [x, rw] = longestRun(false);
    r.x += x, r.w = rw;
    if (r.w < 64 || r.h < 32) return std::nullopt;
  }
  // The first and last columns have no neighbour on one side.
  if (r.x == 1) --r.x, ++r.w;
  if (r.x + r.w == w - 1) ++r.w;
  return r;
}

// The whole picture: the texture's columns, and the rows above and below it that are not plain
// background (most neighbouring pixels equal), as even the photo's smooth sky has grain.
// Brindlewick fits a landscape photo by its width, so a 4:3 one loses its top and bottom to the
// view; the match then compares with the photo's middle.
Rect FindPicture(const QImage& window, const Rect& texture, const std::string& photo,
                 double* match) {
  auto plain = [&](int y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(window.constScanLine(y)) + texture.x;
    int equal = 0;
    for (int x = 0; x + 1 < texture.w; ++x) equal += row[x] == row[x + 1];
    return equal * 10 > texture.w * 9;
  };
  Rect r = texture;
  while (r.y > 0 && !plain(r.y - 1)) --r.y, ++r.h;
  while (r.y + r.h < window.height() && !plain(r.y + r.h)) ++r.h;
  const QSize natural = QImageReader(QString::fromStdString(photo)).size();
  const int fullHeight =
      std::max(r.h, int(std::lround(double(r.w) * natural.height() / natural.width())));
  const QImage reference = Reference(photo, {0, 0, r.w, fullHeight});
  *match =
      Match(window.copy(r.x, r.y, r.w, r.h), reference.copy(0, (fullHeight - r.h) / 2, r.w, r.h));
  return r;
}

// Looks at the program's main window every 2 ms from `start` until its picture has been still for
// 1.5 s: grabbed only when something was drawn since the last look, since a grab costs the server
// a copy of the whole window, a core's worth at this pace, which a program decoding on every core
// would lose and a one-thread one would not. Keeps a row in eight of every distinct frame, then
// finds the first frame from which the picture's rectangle no longer changed.
std::optional<Seen> WatchForPicture(Screen& screen, Clock::time_point start,
                                    const std::string& photo, xcb_window_t fixed = 0) {
  struct Frame {
    double ms;
    Rect place;
    std::vector<uint32_t> rows;
  };
  std::vector<Frame> frames;
  // Whether two frames' sampled rows inside the rectangle are alike: equal but for 1 % (the
  // final picture), or, roughly, with 8-pixel means close but for 5 % (a preview of it).
  auto alike = [](const Frame& f, const Frame& g, const Rect& in, bool rough) {
    if (f.place != g.place) return false;
    long differ = 0, total = 0;
    for (int y = (in.y + 7) / 8; y * 8 < in.y + in.h; ++y) {
      const uint32_t* a = f.rows.data() + size_t(y) * f.place.w;
      const uint32_t* b = g.rows.data() + size_t(y) * f.place.w;
      for (int x = in.x; x + 8 <= in.x + in.w; x += 8, ++total) {
        if (rough) {
          int sa = 0, sb = 0;
          for (int i = 0; i < 8; ++i) sa += Luma(a[x + i]), sb += Luma(b[x + i]);
          differ += std::abs(sa - sb) > 8 * 16;
        } else {
          differ += !std::equal(a + x, a + x + 8, b + x);
        }
      }
    }
    return total > 0 && differ * 100 < total * (rough ? 5 : 1);
  };
  std::optional<Rect> texture;
  auto still = Clock::now();  // since when the textured part has not changed
  bool looked = false;
  bool unseen = true;  // drawn since the last grab
  for (auto next = Clock::now(); Clock::now() - start < std::chrono::seconds(40);) {
    std::this_thread::sleep_until(next);
    next += std::chrono::milliseconds(2);
    screen.pump();
    const std::optional<xcb_window_t> window = fixed ? fixed : screen.mainWindow();
    if (!window) continue;
    const Rect place = screen.place(*window);
    // Nothing drawn, the window as it was: the last frame still stands. A grab that failed is
    // tried again at the next look.
    unseen = screen.takeDrawn() || unseen;
    if (unseen || frames.empty() || frames.back().place != place) {
      const uint32_t* p = screen.grab(place);
      if (!p) continue;
      unseen = false;
      Frame frame{Ms(Clock::now() - start), place, {}};
      for (int y = 0; y < place.h; y += 8) {
        frame.rows.insert(frame.rows.end(), p + size_t(y) * place.w, p + size_t(y + 1) * place.w);
      }
      if (frames.empty() || frames.back().place != place || frames.back().rows != frame.rows) {
        if (!texture || frames.empty() || !alike(frames.back(), frame, *texture, false)) {
          still = Clock::now();
        }
        looked = false;
        frames.push_back(std::move(frame));
        continue;
      }
    }
    // Looks for the picture once the window has been still for a moment: the search costs a
    // few ms that the program may need while it is still busy.
    if (!looked && Clock::now() - still > std::chrono::milliseconds(300)) {
      looked = true;
      const std::optional<Rect> found = FindTexture(screen.shot(place));
      if (found != texture) still = Clock::now();
      texture = found;
    }
    if (!texture || Clock::now() - still < std::chrono::milliseconds(1500)) continue;
    Seen seen;
    seen.window = place;
    seen.shot = screen.shot(place);
    const Rect picture = FindPicture(seen.shot, *texture, photo, &seen.match);
    seen.picture = picture;
    size_t k = frames.size() - 1;
    while (k > 0 && alike(frames[k - 1], frames.back(), picture, false)) --k;
    seen.pictureMs = frames[k].ms;
    for (const Frame& f : frames) {
      if (alike(f, frames.back(), picture, true)) {
        seen.firstMs = f.ms;
        break;
      }
    }
    return seen;
  }
  return std::nullopt;
}

// Waits for the program's first top-level window to be mapped.
std::optional<double> WatchForWindow(Screen& screen, Clock::time_point start) {
  while (Clock::now() - start < std::chrono::seconds(30)) {
    screen.pump(1);
    if (screen.mainWindow()) return Ms(Clock::now() - start);
  }
  return std::nullopt;
}

void ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<char> buffer(1 << 20);
  while (file.read(buffer.data(), std::streamsize(buffer.size()))) {
  }
}

bool Xdotool(const Screen& screen, const Strings& args) {
  Strings env{"DISPLAY=" + screen.display, "PATH=" + std::string(std::getenv("PATH"))};
  Strings all{"xdotool"};
  all.insert(all.end(), args.begin(), args.end());
  const pid_t pid = Spawn(all, env);
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// Brindlewick started without a file; "Select Picture", the path typed, and the clock started
// by Return.
std::optional<Seen> ReturnInDialog(Screen& screen, const Session& session,
                                   const std::string& program, const std::string& photo) {
  if (Spawn({program}, session.env()) <= 0 || !WatchForWindow(screen, Clock::now())) return {};
  const xcb_window_t main = *screen.mainWindow();
  Sleep(800);  // painted and idle
  if (!Xdotool(screen, {"mousemove", "--sync", "--window", std::to_string(screen.client(main)),
                        "30", "10", "click", "1"})) {
    return {};
  }
  std::optional<xcb_window_t> dialog;
  for (int i = 0; i < 500 && !dialog; ++i) {
    screen.pump(10);
    dialog = screen.mainWindow(main);
  }
  if (!dialog) return {};
  Sleep(300);
  if (!Xdotool(screen, {"windowfocus", "--sync", std::to_string(screen.client(*dialog))}) ||
      !Xdotool(screen, {"type", "--delay", "10", photo})) {
    return {};
  }
  Sleep(300);
  const auto start = Clock::now();
  screen.pressReturn();
  std::optional<Seen> seen = WatchForPicture(screen, start, photo, main);
  screen.pump();
  if (screen.mainWindow(main)) return {};  // the dialog did not take the Return
  return seen;
}

double Median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Program {
  std::string name;
  Strings command;  // the file is appended
  bool opensEmpty = true;
  // A settings file as the program leaves it after its first use, so that no first-run welcome
  // lies over the picture: {path in the home, text}.
  std::pair<std::string, std::string> used;
};

struct Row {
  std::string size, program, photo;
  Rect window, picture;
  std::vector<double> picture_, first, startup, peakMiB, match;
};

// A window manager that maximises every program's main window the moment it is mapped, as a
// user's maximise would, and leaves dialogs their own size: matchbox-window-manager, whose
// frame takes a 20-pixel title bar and 4-pixel borders, so a main window gets 1912 x 1056.
pid_t StartWindowManager(Screen& screen, const std::string& home) {
  const pid_t pid = Spawn({"matchbox-window-manager"},
                          {"DISPLAY=" + screen.display, "HOME=" + home,
                           "PATH=" + std::string(std::getenv("PATH")), "LC_ALL=C.UTF-8"});
  for (int i = 0; pid > 0 && i < 500; ++i) {
    if (screen.managed()) return pid;
    Sleep(10);
  }
  return -1;
}

// The medians of one size's rows, and the goal against the fastest peer per photo.
void Report(const std::vector<Row>& all, const std::string& size, const Strings& photos, int runs) {
  std::vector<Row> rows;
  std::copy_if(all.begin(), all.end(), std::back_inserter(rows),
               [&](const Row& r) { return r.size == size; });
  if (rows.empty()) return;
  std::printf("\n%s size\n", size.c_str());
  std::printf("%-19s %-9s %9s %9s %10s %7s %9s %8s %6s   (medians of %d)\n", "program", "photo",
              "window", "picture", "to picture", "first", "start-up", "peak MiB", "match", runs);
  auto cell = [](double v) {
    char text[32] = "-";
    if (v >= 0) std::snprintf(text, sizeof text, "%.1f", v);
    return std::string(text);
  };
  for (const Row& r : rows) {
    std::printf("%-19s %-9s %4dx%-4d %4dx%-4d %10.1f %7.1f %9s %8.1f %6.3f\n", r.program.c_str(),
                r.photo.c_str(), r.window.w, r.window.h, r.picture.w, r.picture.h,
                Median(r.picture_), Median(r.first), cell(Median(r.startup)).c_str(),
                Median(r.peakMiB),
                r.match.empty() ? 0 : *std::min_element(r.match.begin(), r.match.end()));
  }
  std::printf(
      "\ngoal (%s size): at least 2 x faster than the fastest peer viewer, launched with the "
      "file\n",
      size.c_str());
  for (const auto& photo : photos) {
    double ours = -1, ourReturn = -1, best = -1;
    std::string bestName;
    for (const Row& r : rows) {
      if (r.photo != photo || r.picture_.empty()) continue;
      const double m = Median(r.picture_);
      if (r.program == "brindlewick") {
        ours = m;
      } else if (r.program == "brindlewick-return") {
        ourReturn = m;
      } else if (best < 0 || m < best) {
        best = m, bestName = r.program;
      }
    }
    if (ours <= 0 || best <= 0) {
      std::printf("%-9s not measured\n", photo.c_str());
      continue;
    }
    std::printf("%-9s fastest peer %s %.1f ms / brindlewick %.1f ms = %.2f (Return: %.2f)   %s\n",
                photo.c_str(), bestName.c_str(), best, ours, best / ours,
                ourReturn > 0 ? best / ourReturn : 0, best / ours >= 2 ? "yes" : "NO");
  }
}

}  // namespace
}  // namespace brindlewick::bench

int main(int argc, char* argv[]) {
  using namespace brindlewick::bench;
  // --default or --maximised runs only that size; without either, both.
  std::vector<char*> args;
  std::set<std::string> sizes;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--default" || arg == "--maximised") {
      sizes.insert(arg.substr(2));
    } else {
      args.push_back(argv[i]);
    }
  }
  if (sizes.empty()) sizes = {"default", "maximised"};
  argc = int(args.size()), argv = args.data();
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: %s [--default|--maximised] <brindlewick> <photos folder> <screenshots "
                 "folder> [runs [program...]]\n",
                 argv[0]);
    return 2;
  }
  const std::string brindlewick = fs::absolute(argv[1]);
  const fs::path data = fs::absolute(argv[2]), shots = fs::absolute(argv[3]);
  const int runs = argc > 4 ? std::atoi(argv[4]) : 5;
  const std::set<std::string> only(argv + std::min(argc, 5), argv + argc);
  fs::create_directories(shots);
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  signal(SIGPIPE, SIG_IGN);

  // Each photo alone in a folder of its own: the browsing viewers would otherwise make
  // thumbnails of its neighbours while we watch.
  const Strings photos{"photo24", "photo48", "photo24p", "photo48p"};
  std::map<std::string, std::string> files;
  for (const auto& photo : photos) {
    const fs::path folder = shots / "files" / photo;
    fs::create_directories(folder);
    files[photo] = folder / (photo + ".jpg");
    fs::copy_file(data / (photo + ".jpg"), files[photo], fs::copy_options::overwrite_existing);
  }

  // qimgv's settings as its first use leaves them (1.0.2, Debian 12's): without them it lays a
  // welcome over the picture.
  const std::pair<std::string, std::string> qimgvUsed{
      ".config/qimgv/qimgv.conf",
      "[General]\nfirstRun=false\nlastVerMajor=1\nlastVerMinor=0\nlastVerMicro=2\n"};
  const std::vector<Program> programs{
      {"brindlewick", {brindlewick}, true, {}},
      {"eog", {"eog"}, true, {}},
      {"ristretto", {"ristretto"}, true, {}},
      {"qimgv", {"qimgv"}, true, qimgvUsed},
      {"feh", {"feh", "--scale-down"}, false, {}},  // without a file feh only prints its usage
      {"gthumb", {"gthumb"}, true, {}},
      {"gwenview", {"gwenview"}, true, {}},
  };

  Screen screen;
  if (!screen.start()) {
    std::fprintf(stderr, "cannot start Xvfb with MIT-SHM and XTEST\n");
    return 1;
  }
  Session::Fixtures().insert(screen.server);

  std::vector<Row> rows;
  std::string size;
  auto measure = [&](const std::string& name, const std::string& photo, auto&& run) {
    Row row{size, name, photo, {}, {}, {}, {}, {}, {}, {}};
    const std::string shot = name + "-" + photo + (size == "default" ? "" : "-" + size);
    for (int i = 0; i < runs; ++i) {
      ReadWhole(files[photo]);  // a warm page cache for every program
      std::optional<Seen> seen;
      long peakKb = 0;
      {
        Session session(screen.display);
        seen = run(session);
        if (seen) peakKb = session.peakKb();
      }
      screen.pump(50);
      if (!seen) {
        std::printf("  %s %s: no picture seen\n", name.c_str(), photo.c_str());
        continue;
      }
      // What was found must be the photo, not a placeholder, a thumbnail bar or an error box.
      if (seen->match < 0.9) {
        seen->shot.save(QString::fromStdString(shots / (shot + "-unlike.png")));
        std::printf("  %s %s: what was found is unlike the photo (%.3f)\n", name.c_str(),
                    photo.c_str(), seen->match);
        continue;
      }
      row.window = seen->window, row.picture = seen->picture;
      row.picture_.push_back(seen->pictureMs);
      row.first.push_back(seen->firstMs);
      row.peakMiB.push_back(peakKb / 1024.0);
      row.match.push_back(seen->match);
      if (i == 0) {
        QPainter painter(&seen->shot);
        painter.setPen(Qt::red);
        painter.drawRect(seen->picture.x - 1, seen->picture.y - 1, seen->picture.w + 1,
                         seen->picture.h + 1);
        painter.end();
        seen->shot.save(QString::fromStdString(shots / (shot + ".png")));
      }
      std::printf("  %s %s: %.1f ms (first sight %.1f), %.1f MiB, match %.3f\n", name.c_str(),
                  photo.c_str(), seen->pictureMs, seen->firstMs, peakKb / 1024.0, seen->match);
      std::fflush(stdout);
    }
    rows.push_back(row);
    return &rows.back();
  };

  // Each program at its own default size on a bare screen, then maximised under a window manager
  // that stays for all of that size's runs, as a desktop's does.
  pid_t windowManager = -1;
  char wmHome[] = "/tmp/viewer-wm-XXXXXX";  // empty: nobody's own settings for it
  if (!mkdtemp(wmHome)) return 1;
  for (const char* current : {"default", "maximised"}) {
    size = current;
    if (!sizes.count(size)) continue;
    if (size == "maximised") {
      windowManager = StartWindowManager(screen, wmHome);
      if (windowManager <= 0) {
        std::printf("matchbox-window-manager did not start: no maximised run\n");
        break;
      }
      Session::Fixtures().insert(windowManager);
    }
    std::printf("%s size\n", size.c_str());
    std::fflush(stdout);
    std::map<std::string, std::vector<double>> startup;
    for (const Program& program : programs) {
      if (!only.empty() && !only.count(program.name)) continue;
      if (!OnPath(program.command[0])) {
        std::printf("%s is not installed: skipped\n", program.name.c_str());
        continue;
      }
      for (int i = 0; program.opensEmpty && i < runs; ++i) {
        Session session(screen.display);
        session.write(program.used);
        const auto start = Clock::now();
        if (Spawn(program.command, session.env()) <= 0) break;
        if (auto ms = WatchForWindow(screen, start)) startup[program.name].push_back(*ms);
        Sleep(300);
      }
      screen.pump(50);
      for (const auto& photo : photos) {
        Row* row = measure(program.name, photo, [&](Session& session) -> std::optional<Seen> {
          session.write(program.used);
          Strings command = program.command;
          command.push_back(files[photo]);
          const auto start = Clock::now();
          if (Spawn(command, session.env()) <= 0) return {};
          return WatchForPicture(screen, start, files[photo]);
        });
        row->startup = startup[program.name];
      }
      if (program.name == "brindlewick") {
        for (const auto& photo : photos) {
          measure("brindlewick-return", photo, [&](Session& session) {
            return ReturnInDialog(screen, session, brindlewick, files[photo]);
          });
        }
      }
    }
  }
  if (windowManager > 0) {
    kill(windowManager, SIGTERM);
    waitpid(windowManager, nullptr, 0);
  }
  fs::remove_all(wmHome);

  for (const char* current : {"default", "maximised"}) {
    Report(rows, current, photos, runs);
  }
  return 0;
}
