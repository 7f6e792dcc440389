// Brindlewick on a machine busy with other programs against a quiet one, end to end on a private
// Xvfb screen, as its user runs it (bench/busy starts this as an ordinary account): the time from
// its window's going off screen after a close to the end of its process, 1.5 s after a launch
// with a 48 MP photo; and the grow of the window to 3170 x 2410, where that photo is decoded at
// 4/8: how long until the view is sharp, and the peak memory it adds. "Busy" is two programs that
// spin on every core they get, at normal priority.
//   busy_bench <brindlewick> <folder of photos> [runs]
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Processes.h"
#include "Screen.h"

namespace brindlewick::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kGrownWidth = 3170, kGrownHeight = 2410;

// The program's surroundings for one run: a fresh home, no desktop session.
class Home {
 public:
  explicit Home(const std::string& display) {
    char pattern[] = "/tmp/busy-home-XXXXXX";
    path_ = mkdtemp(pattern);
    fs::create_directories(path_ + "/run");
    fs::permissions(path_ + "/run", fs::perms::owner_all);
    env_ = {"DISPLAY=" + display,
            "HOME=" + path_,
            "XDG_RUNTIME_DIR=" + path_ + "/run",
            "XDG_CONFIG_HOME=" + path_ + "/.config",
            "PATH=" + std::string(std::getenv("PATH")),
            "LC_ALL=C.UTF-8",
            "QT_QPA_PLATFORM=xcb",
            "QT_QPA_PLATFORMTHEME=",
            "NO_AT_BRIDGE=1",
            "QT_ACCESSIBILITY=0"};
  }
  ~Home() { fs::remove_all(path_); }
  const Strings& env() const { return env_; }

 private:
  std::string path_;
  Strings env_;
};

// The program started with the photo, once its main window is on screen; none after 30 s.
std::optional<xcb_window_t> Launch(Screen& screen, const Strings& command, const Home& home,
                                   pid_t* pid) {
  *pid = Spawn(command, home.env());
  for (auto start = Clock::now(); *pid > 0 && Clock::now() - start < std::chrono::seconds(30);) {
    screen.pump(1);
    if (std::optional<xcb_window_t> window = screen.mainWindow()) return window;
  }
  return std::nullopt;
}

// This process is the subreaper of the helpers the program starts, which end once they run.
void ReapLeft() {
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
}

void End(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  ReapLeft();
}

// Waits 1.5 s with the window up, as a user looks at the picture before closing or growing it.
void Look(Screen& screen) {
  for (auto start = Clock::now(); Clock::now() - start < std::chrono::milliseconds(1500);) {
    screen.pump(10);
  }
}

// The close box 1.5 s after the launch: ms from the window's going off screen to the process's
// end; none where either did not come within 30 s.
std::optional<double> ExitAfterClose(Screen& screen, const std::string& program,
                                     const std::string& photo) {
  const Home home(screen.display);
  pid_t pid = -1;
  const std::optional<xcb_window_t> window = Launch(screen, {program, photo}, home, &pid);
  if (!window) return End(pid), std::nullopt;
  Look(screen);
  screen.close(*window);
  std::optional<Clock::time_point> gone, ended;
  for (auto start = Clock::now();
       (!gone || !ended) && Clock::now() - start < std::chrono::seconds(30);) {
    screen.pump(1);
    if (!gone && !screen.mapped(*window)) gone = Clock::now();
    if (!ended && waitpid(pid, nullptr, WNOHANG) == pid) ended = Clock::now();
  }
  ended ? ReapLeft() : End(pid);
  if (!gone || !ended) return std::nullopt;
  return std::max(0.0, Ms(*ended - *gone));
}

struct Grow {
  double sharpMs = -1;  // from the resize to the first frame of the final view
  long beforeKb = 0, peakKb = 0;
  long helperKb = 0;  // the most the program's helpers held at once meanwhile
};

// Watches the window from `start` until it has been still for 1.5 s: the time of the first frame
// equal to the last, each frame sampled every eighth row when something was drawn. Calls `each`
// at every look.
template <typename Each>
std::optional<double> UntilStill(Screen& screen, xcb_window_t window, Clock::time_point start,
                                 Each each) {
  std::vector<std::pair<double, std::vector<uint32_t>>> frames;
  auto still = Clock::now();
  while (Clock::now() - still < std::chrono::milliseconds(1500)) {
    if (Clock::now() - start > std::chrono::seconds(60)) return std::nullopt;
    screen.pump(2);
    each();
    if (!screen.takeDrawn()) continue;
    const Rect place = screen.place(window);
    const uint32_t* p = screen.grab(place);
    if (!p) continue;
    std::vector<uint32_t> rows;
    for (int y = 0; y < place.h; y += 8)
      rows.insert(rows.end(), p + y * place.w, p + (y + 1) * place.w);
    if (!frames.empty() && frames.back().second == rows) continue;
    frames.emplace_back(Ms(Clock::now() - start), std::move(rows));
    still = Clock::now();
  }
  if (frames.empty()) return std::nullopt;
  size_t k = frames.size() - 1;
  while (k > 0 && frames[k - 1].second == frames.back().second) --k;
  return frames[k].first;
}

// The window grown 1.5 s after the launch, to the view the photo is decoded at 4/8 for.
std::optional<Grow> GrowWindow(Screen& screen, const std::string& program,
                               const std::string& photo) {
  const Home home(screen.display);
  pid_t pid = -1;
  const std::optional<xcb_window_t> window = Launch(screen, {program, photo}, home, &pid);
  if (!window) return End(pid), std::nullopt;
  Look(screen);
  Grow grow;
  grow.beforeKb = VmHwmKb(pid);
  const auto start = Clock::now();
  screen.moveAndResize(*window, {0, 0, kGrownWidth, kGrownHeight});
  const std::optional<double> sharp = UntilStill(screen, *window, start, [&] {
    long helpers = 0;
    for (pid_t child : ChildrenOf(pid)) helpers += VmRssKb(child);
    grow.helperKb = std::max(grow.helperKb, helpers);
  });
  grow.peakKb = VmHwmKb(pid);
  End(pid);
  if (!sharp) return std::nullopt;
  grow.sharpMs = *sharp;
  return grow;
}

// Two processes of ours that spin on every core they get, at normal priority, and end with us
// however we end.
std::vector<pid_t> KeepBusy() {
  std::vector<pid_t> busy;
  for (int i = 0; i < 2; ++i) {
    const pid_t pid = fork();
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      for (std::atomic<unsigned> spin = 0;;) spin.fetch_add(1, std::memory_order_relaxed);
    }
    busy.push_back(pid);
  }
  return busy;
}

double Median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// `peakMiB`: the program's peak resident memory through the grow with the most its helper held
// meanwhile; `addedMiB`: what the grow added to the program's own peak.
struct Row {
  std::vector<double> exitMs, sharpMs, addedMiB, peakMiB;
};

Row Measure(Screen& screen, const std::string& program, const std::string& photo, int runs,
            const char* load) {
  Row row;
  for (int i = 0; i < runs; ++i) {
    const std::optional<double> exit = ExitAfterClose(screen, program, photo);
    const std::optional<Grow> grow = GrowWindow(screen, program, photo);
    if (exit) row.exitMs.push_back(*exit);
    if (grow) {
      row.sharpMs.push_back(grow->sharpMs);
      row.addedMiB.push_back((grow->peakKb - grow->beforeKb) / 1024.0);
      row.peakMiB.push_back((grow->peakKb + grow->helperKb) / 1024.0);
    }
    std::printf(
        "  %s %s: exit %s ms; grow sharp %s ms, program peak %.1f MiB (+%.1f), helper %.1f\n", load,
        photo.c_str(), exit ? std::to_string(int(*exit)).c_str() : "-",
        grow ? std::to_string(int(grow->sharpMs)).c_str() : "-", grow ? grow->peakKb / 1024.0 : 0.0,
        grow ? (grow->peakKb - grow->beforeKb) / 1024.0 : 0.0,
        grow ? grow->helperKb / 1024.0 : 0.0);
    std::fflush(stdout);
  }
  return row;
}

std::string List(const std::vector<double>& values) {
  std::string text;
  for (double v : values) {
    char number[32];
    std::snprintf(number, sizeof number, text.empty() ? "%.0f" : " %.0f", v);
    text += number;
  }
  return text;
}

void Report(const std::string& photo, const Row& quiet, const Row& busy) {
  std::printf("\n%s\n", photo.c_str());
  for (const auto& [load, row] : {std::pair{"quiet", &quiet}, std::pair{"busy", &busy}}) {
    std::printf(
        "  %-5s exit after the window goes (ms): %s; grown view sharp (ms): %s; peak "
        "with the helper's (MiB): %s; added by the grow (MiB): %s\n",
        load, List(row->exitMs).c_str(), List(row->sharpMs).c_str(), List(row->peakMiB).c_str(),
        List(row->addedMiB).c_str());
  }
  const double worstExit =
      busy.exitMs.empty() ? -1 : *std::max_element(busy.exitMs.begin(), busy.exitMs.end());
  const double worstSharp =
      busy.sharpMs.empty() ? -1 : *std::max_element(busy.sharpMs.begin(), busy.sharpMs.end());
  const double ratio = Median(busy.peakMiB) / Median(quiet.peakMiB);
  std::printf(
      "  goal: exit within 300 ms of the window's going, busy, every run: worst %.0f ms %s\n",
      worstExit, worstExit >= 0 && worstExit <= 300 ? "yes" : "NO");
  std::printf("  goal: the peak memory of a grow busy at most 1.15 x quiet (medians): %.2f %s\n",
              ratio, ratio > 0 && ratio <= 1.15 ? "yes" : "NO");
  std::printf("  goal: the grown view sharp within 2 s, busy, every run: worst %.0f ms %s\n",
              worstSharp, worstSharp >= 0 && worstSharp <= 2000 ? "yes" : "NO");
}

}  // namespace
}  // namespace brindlewick::bench

int main(int argc, char* argv[]) {
  using namespace brindlewick::bench;
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <brindlewick> <photos folder> [runs]\n", argv[0]);
    return 2;
  }
  const std::string program = fs::absolute(argv[1]);
  const fs::path data = fs::absolute(argv[2]);
  const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
  std::printf("running as uid %d\n", int(getuid()));
  signal(SIGPIPE, SIG_IGN);
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  Screen screen;
  if (!screen.start(kGrownWidth + 130, kGrownHeight + 90)) {
    std::fprintf(stderr, "cannot start Xvfb with MIT-SHM\n");
    return 1;
  }
  const Strings photos{"photo48", "photo48p"};
  std::vector<Row> quiet, busy;
  for (const auto& photo : photos) {
    quiet.push_back(Measure(screen, program, data / (photo + ".jpg"), runs, "quiet"));
  }
  const std::vector<pid_t> spinning = KeepBusy();
  for (const auto& photo : photos) {
    busy.push_back(Measure(screen, program, data / (photo + ".jpg"), runs, "busy"));
  }
  for (pid_t pid : spinning) End(pid);
  for (size_t i = 0; i < photos.size(); ++i) Report(photos[i], quiet[i], busy[i]);
  return 0;
}
