#pragma once

#include <sys/types.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include <QImage>

#include <xcb/damage.h>
#include <xcb/shm.h>

namespace brindlewick::bench {

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(const Rect&) const = default;
  int area() const { return w * h; }
};

// The X server and its eyes and hands: what is mapped at the top level, where, whether anything
// was drawn, and its pixels through shared memory, so a look costs the server one copy and no
// socket traffic.
class Screen {
 public:
  bool start(int width = 1920, int height = 1080);
  ~Screen();

  // Takes the events so far; waits up to `ms` for the first. Those about the screen's top-level
  // windows come to the root; under a window manager, those about a program's own window in its
  // frame come to that window, and the manager's synthetic ones (in root coordinates) are not
  // what the server did.
  void pump(int ms = 0);
  // The largest mapped top-level window other than menus and tooltips: the program's main one.
  // Under a window manager, its frame, which the manager may have made override-redirect too.
  std::optional<xcb_window_t> mainWindow(xcb_window_t except = 0) const;
  // Whether the top-level window is on screen, as far as the events pumped tell.
  bool mapped(xcb_window_t id) const;
  // A top-level window's area on the screen; for a window manager's frame, the area of the
  // program's window in it, without the title bar and borders.
  Rect place(xcb_window_t id) const;
  // The program's own window: the top-level one itself, or the one in the frame.
  xcb_window_t client(xcb_window_t id) const;
  // Whether a window manager has announced itself on the screen.
  bool managed();

  // Whether anything on the screen was drawn since the last call, as far as the events pumped
  // tell.
  bool takeDrawn() { return std::exchange(drawn_, false); }
  // The rectangle's pixels (XRGB, rows of r.w), valid until the next grab.
  const uint32_t* grab(const Rect& r);
  QImage shot(const Rect& r);

  // Return, through the server's test extension, as the keyboard would send it.
  void pressReturn();
  // What a window manager's close box does: asks the program's window to close.
  void close(xcb_window_t id);
  // Gives a top-level window another place and size, as a user's drag of its corners would.
  void moveAndResize(xcb_window_t id, const Rect& to);

  pid_t server = -1;
  std::string display;

 private:
  xcb_keycode_t Keycode(xcb_keysym_t keysym);
  xcb_atom_t atom(const char* name);
  bool watchDrawing();
  void take(const xcb_generic_event_t* e);
  void reparented(const xcb_reparent_notify_event_t* n);
  void follow(xcb_window_t window, xcb_window_t frame);

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

}  // namespace brindlewick::bench
