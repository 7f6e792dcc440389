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

extern char** environ;

namespace brindlewick::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(const Rect&) const = default;
  int area() const { return w * h; }
};

pid_t Spawn(const Strings& args, const Strings& env, int stdoutFd = -1) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
  // The programs' chatter would bury the figures.
  if (stdoutFd < 0) posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv, envp;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Starts a program with its output on a pipe and returns the first line it writes.
std::string SpawnAndReadLine(const Strings& args, const Strings& env, pid_t* pid) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  *pid = Spawn(args, env, fds[1]);
  close(fds[1]);
  std::string line;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') line += c;
  close(fds[0]);
  return line;
}

bool OnPath(const std::string& program) {
  if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0;
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  for (size_t at = 0; at <= path.size();) {
    const size_t end = std::min(path.find(':', at), path.size());
    if (access((path.substr(at, end - at) + "/" + program).c_str(), X_OK) == 0) return true;
    at = end + 1;
  }
  return false;
}

// Every process below ours. The bench is the subreaper of what it starts, so a helper that
// detaches from its viewer (a daemon forked by a KDE or GNOME library) is still counted.
std::vector<pid_t> Descendants() {
  std::multimap<pid_t, pid_t> children;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    char state;
    int ppid = 0;
    if (std::sscanf(text.c_str() + close + 1, " %c %d", &state, &ppid) == 2) {
      children.emplace(ppid, std::stoi(name));
    }
  }
  std::vector<pid_t> found{getpid()};
  for (size_t i = 0; i < found.size(); ++i) {
    auto [from, to] = children.equal_range(found[i]);
    for (auto it = from; it != to; ++it) found.push_back(it->second);
  }
  found.erase(found.begin());
  return found;
}

long VmHwmKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

// The X server and its eyes and hands: what is mapped at the top level, where, whether anything
// was drawn, and its pixels through shared memory, so a look costs the server one copy and no
// socket traffic.
class Screen {
 public:
  bool start() {
    std::string number = SpawnAndReadLine(
        {"Xvfb", "-displayfd", "1", "-screen", "0", "1920x1080x24", "-br", "-nolisten", "tcp"},
        Strings(environ, environ + Environ()), &server);
    if (number.empty()) return false;
    display = ":" + number;
    c_ = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(c_)) return false;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
    root_ = screen->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
    if (!watchDrawing()) return false;
    shmId_ = shmget(IPC_PRIVATE, 1920 * 1080 * 4, IPC_CREAT | 0600);
    pixels_ = static_cast<uint32_t*>(shmat(shmId_, nullptr, 0));
    shmctl(shmId_, IPC_RMID, nullptr);  // freed when both sides detach
    seg_ = xcb_generate_id(c_);
    xcb_shm_attach(c_, seg_, uint32_t(shmId_), 0);
    returnKey_ = Keycode(0xff0d);
    xcb_flush(c_);
    return pixels_ != reinterpret_cast<uint32_t*>(-1) && returnKey_ != 0;
  }
  ~Screen() {
    if (c_) xcb_disconnect(c_);
    if (server > 0) kill(server, SIGTERM);
  }

  // Takes the events so far; waits up to `ms` for the first. Those about the screen's top-level
  // windows come to the root; under a window manager, those about a program's own window in its
  // frame come to that window, and the manager's synthetic ones (in root coordinates) are not
  // what the server did.
  void pump(int ms = 0) {
    pollfd fd{xcb_get_file_descriptor(c_), POLLIN, 0};
    if (ms > 0) poll(&fd, 1, ms);
    while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
      const bool sent = e->response_type & 0x80;
      if ((e->response_type & 0x7f) == damageEvent_) {
        // Emptied again at once, so that the next drawing is told too; a grab after this
        // request sees whatever was drawn before it.
        drawn_ = true;
        xcb_damage_subtract(c_, damage_, XCB_NONE, XCB_NONE);
      }
      switch (e->response_type & 0x7f) {
        case XCB_CREATE_NOTIFY: {
          auto* n = reinterpret_cast<xcb_create_notify_event_t*>(e);
          if (n->parent == root_) {
            windows_[n->window] = {{n->x, n->y, n->width, n->height}, bool(n->override_redirect)};
          }
          break;
        }
        case XCB_CONFIGURE_NOTIFY: {
          auto* n = reinterpret_cast<xcb_configure_notify_event_t*>(e);
          if (n->event == root_) {
            windows_[n->window].place = {n->x, n->y, n->width, n->height};
          } else if (!sent && framed_.count(n->window)) {
            framed_[n->window].place = {n->x, n->y, n->width, n->height};
          }
          break;
        }
        case XCB_MAP_NOTIFY: {
          auto* n = reinterpret_cast<xcb_map_notify_event_t*>(e);
          if (n->event == root_) windows_[n->window].mapped = true;
          break;
        }
        case XCB_UNMAP_NOTIFY: {
          auto* n = reinterpret_cast<xcb_unmap_notify_event_t*>(e);
          if (n->event == root_) windows_[n->window].mapped = false;
          break;
        }
        case XCB_DESTROY_NOTIFY: {
          auto* n = reinterpret_cast<xcb_destroy_notify_event_t*>(e);
          if (n->event == root_) {
            windows_.erase(n->window);
          } else {
            framed_.erase(n->window);
          }
          break;
        }
        case XCB_REPARENT_NOTIFY: {
          auto* n = reinterpret_cast<xcb_reparent_notify_event_t*>(e);
          if (n->event != root_) break;
          if (n->parent == root_) {  // given back by the window manager
            framed_.erase(n->window);
            windows_[n->window] = {{n->x, n->y, 0, 0}, bool(n->override_redirect)};
          } else {
            windows_.erase(n->window);
            follow(n->window, n->parent);
          }
          break;
        }
      }
      std::free(e);
    }
  }
  // The largest mapped top-level window other than menus and tooltips: the program's main one.
  // Under a window manager, its frame, which the manager may have made override-redirect too.
  std::optional<xcb_window_t> mainWindow(xcb_window_t except = 0) const {
    std::optional<xcb_window_t> best;
    for (const auto& [id, w] : windows_) {
      if (w.mapped && (!w.popup || client(id) != id) && id != except &&
          (!best || w.place.area() > windows_.at(*best).place.area())) {
        best = id;
      }
    }
    return best;
  }
  // A top-level window's area on the screen; for a window manager's frame, the area of the
  // program's window in it, without the title bar and borders.
  Rect place(xcb_window_t id) const {
    const Rect top = windows_.at(id).place;
    const xcb_window_t inner = client(id);
    if (inner == id) return top;
    const Rect r = framed_.at(inner).place;
    return {top.x + r.x, top.y + r.y, r.w, r.h};
  }
  // The program's own window: the top-level one itself, or the one in the frame.
  xcb_window_t client(xcb_window_t id) const {
    for (const auto& [inner, f] : framed_) {
      if (f.frame == id) return inner;
    }
    return id;
  }
  // Whether a window manager has announced itself on the screen.
  bool managed() {
    auto* atom =
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, 24, "_NET_SUPPORTING_WM_CHECK"), nullptr);
    if (!atom) return false;
    auto* reply = xcb_get_property_reply(
        c_, xcb_get_property(c_, 0, root_, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
    const bool found = reply && xcb_get_property_value_length(reply) == 4;
    std::free(reply);
    std::free(atom);
    return found;
  }

  // Whether anything on the screen was drawn since the last call, as far as the events pumped
  // tell.
  bool takeDrawn() { return std::exchange(drawn_, false); }

  // The rectangle's pixels (XRGB, rows of r.w), valid until the next grab.
  const uint32_t* grab(const Rect& r) {
    auto* reply = xcb_shm_get_image_reply(
        c_,
        xcb_shm_get_image(c_, root_, int16_t(r.x), int16_t(r.y), uint16_t(r.w), uint16_t(r.h), ~0u,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, seg_, 0),
        nullptr);
    std::free(reply);
    return reply ? pixels_ : nullptr;
  }
  QImage shot(const Rect& r) {
    const uint32_t* p = grab(r);
    return p ? QImage(reinterpret_cast<const uchar*>(p), r.w, r.h, r.w * 4, QImage::Format_RGB32)
                   .copy()
             : QImage();
  }

  // Return, through the server's test extension, as the keyboard would send it.
  void pressReturn() {
    xcb_test_fake_input(c_, XCB_KEY_PRESS, returnKey_, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(c_, XCB_KEY_RELEASE, returnKey_, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(c_);
  }

  pid_t server = -1;
  std::string display;

 private:
  static size_t Environ() {
    size_t n = 0;
    while (environ[n]) ++n;
    return n;
  }
  xcb_keycode_t Keycode(xcb_keysym_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(c_);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto* map = xcb_get_keyboard_mapping_reply(
        c_, xcb_get_keyboard_mapping(c_, setup->min_keycode, uint8_t(count)), nullptr);
    if (!map) return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    xcb_keycode_t found = 0;
    for (int i = 0; i < count * map->keysyms_per_keycode && !found; ++i) {
      if (syms[i] == keysym)
        found = xcb_keycode_t(setup->min_keycode + i / map->keysyms_per_keycode);
    }
    std::free(map);
    return found;
  }

  // Drawing anywhere on the screen, told once the damage since the last look is no longer empty.
  bool watchDrawing() {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c_, &xcb_damage_id);
    if (!extension || !extension->present) return false;
    std::free(xcb_damage_query_version_reply(
        c_, xcb_damage_query_version(c_, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
        nullptr));
    damageEvent_ = uint8_t(extension->first_event + XCB_DAMAGE_NOTIFY);
    damage_ = xcb_generate_id(c_);
    xcb_damage_create(c_, damage_, root_, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    return true;
  }

  // A window a window manager has put into its frame: its events are asked for, and its size and
  // place in the frame read once, as it may have changed before they were.
  void follow(xcb_window_t window, xcb_window_t frame) {
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c_, window, XCB_CW_EVENT_MASK, &mask);
    auto* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, window), nullptr);
    if (!g) return;  // already gone
    framed_[window] = {frame, {g->x, g->y, g->width, g->height}};
    std::free(g);
  }

  struct Window {
    Rect place;
    bool popup = false;
    bool mapped = false;
  };
  struct Framed {
    xcb_window_t frame = 0;
    Rect place;  // in the frame
  };
  xcb_connection_t* c_ = nullptr;
  xcb_window_t root_ = 0;
  int shmId_ = -1;
  uint32_t* pixels_ = nullptr;
  xcb_shm_seg_t seg_ = 0;
  xcb_keycode_t returnKey_ = 0;
  xcb_damage_damage_t damage_ = 0;
  uint8_t damageEvent_ = 0;
  bool drawn_ = true;
  std::map<xcb_window_t, Window> windows_;
  std::map<xcb_window_t, Framed> framed_;
};

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
