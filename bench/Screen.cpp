#include "Screen.h"

#include <poll.h>
#include <signal.h>
#include <sys/shm.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <cstring>

#include "Processes.h"

namespace brindlewick::bench {

bool Screen::start(int width, int height) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height) + "x24";
  std::string number =
      SpawnAndReadLine({"Xvfb", "-displayfd", "1", "-screen", "0", size, "-br", "-nolisten", "tcp"},
                       OwnEnvironment(), &server);
  if (number.empty()) return false;
  display = ":" + number;
  c_ = xcb_connect(display.c_str(), nullptr);
  if (xcb_connection_has_error(c_)) return false;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
  root_ = screen->root;
  const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
  if (!watchDrawing()) return false;
  shmId_ = shmget(IPC_PRIVATE, size_t(width) * size_t(height) * 4, IPC_CREAT | 0600);
  pixels_ = static_cast<uint32_t*>(shmat(shmId_, nullptr, 0));
  shmctl(shmId_, IPC_RMID, nullptr);  // freed when both sides detach
  seg_ = xcb_generate_id(c_);
  xcb_shm_attach(c_, seg_, uint32_t(shmId_), 0);
  returnKey_ = Keycode(0xff0d);
  xcb_flush(c_);
  return pixels_ != reinterpret_cast<uint32_t*>(-1) && returnKey_ != 0;
}

Screen::~Screen() {
  if (c_) xcb_disconnect(c_);
  if (server > 0) kill(server, SIGTERM);
}

void Screen::pump(int ms) {
  pollfd fd{xcb_get_file_descriptor(c_), POLLIN, 0};
  if (ms > 0) poll(&fd, 1, ms);
  while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
    if ((e->response_type & 0x7f) == damageEvent_) {
      // Emptied again at once, so that the next drawing is told too; a grab after this
      // request sees whatever was drawn before it.
      drawn_ = true;
      xcb_damage_subtract(c_, damage_, XCB_NONE, XCB_NONE);
    }
    take(e);
    std::free(e);
  }
}

// What the event says about the top-level windows and the ones in a window manager's frames.
void Screen::take(const xcb_generic_event_t* e) {
  const bool sent = e->response_type & 0x80;
  switch (e->response_type & 0x7f) {
    case XCB_CREATE_NOTIFY: {
      auto* n = reinterpret_cast<const xcb_create_notify_event_t*>(e);
      if (n->parent == root_) {
        windows_[n->window] = {{n->x, n->y, n->width, n->height}, bool(n->override_redirect)};
      }
      break;
    }
    case XCB_CONFIGURE_NOTIFY: {
      auto* n = reinterpret_cast<const xcb_configure_notify_event_t*>(e);
      if (n->event == root_) {
        windows_[n->window].place = {n->x, n->y, n->width, n->height};
      } else if (!sent && framed_.count(n->window)) {
        framed_[n->window].place = {n->x, n->y, n->width, n->height};
      }
      break;
    }
    case XCB_MAP_NOTIFY: {
      auto* n = reinterpret_cast<const xcb_map_notify_event_t*>(e);
      if (n->event == root_) windows_[n->window].mapped = true;
      break;
    }
    case XCB_UNMAP_NOTIFY: {
      auto* n = reinterpret_cast<const xcb_unmap_notify_event_t*>(e);
      if (n->event == root_) windows_[n->window].mapped = false;
      break;
    }
    case XCB_DESTROY_NOTIFY: {
      auto* n = reinterpret_cast<const xcb_destroy_notify_event_t*>(e);
      if (n->event == root_) {
        windows_.erase(n->window);
      } else {
        framed_.erase(n->window);
      }
      break;
    }
    case XCB_REPARENT_NOTIFY:
      reparented(reinterpret_cast<const xcb_reparent_notify_event_t*>(e));
      break;
  }
}

void Screen::reparented(const xcb_reparent_notify_event_t* n) {
  if (n->event != root_) return;
  if (n->parent == root_) {  // given back by the window manager
    framed_.erase(n->window);
    windows_[n->window] = {{n->x, n->y, 0, 0}, bool(n->override_redirect)};
  } else {
    windows_.erase(n->window);
    follow(n->window, n->parent);
  }
}

std::optional<xcb_window_t> Screen::mainWindow(xcb_window_t except) const {
  std::optional<xcb_window_t> best;
  for (const auto& [id, w] : windows_) {
    if (w.mapped && (!w.popup || client(id) != id) && id != except &&
        (!best || w.place.area() > windows_.at(*best).place.area())) {
      best = id;
    }
  }
  return best;
}

bool Screen::mapped(xcb_window_t id) const {
  const auto found = windows_.find(id);
  return found != windows_.end() && found->second.mapped;
}

Rect Screen::place(xcb_window_t id) const {
  const Rect top = windows_.at(id).place;
  const xcb_window_t inner = client(id);
  if (inner == id) return top;
  const Rect r = framed_.at(inner).place;
  return {top.x + r.x, top.y + r.y, r.w, r.h};
}

xcb_window_t Screen::client(xcb_window_t id) const {
  for (const auto& [inner, f] : framed_) {
    if (f.frame == id) return inner;
  }
  return id;
}

bool Screen::managed() {
  auto* reply = xcb_get_property_reply(
      c_, xcb_get_property(c_, 0, root_, atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 0, 1),
      nullptr);
  const bool found = reply && xcb_get_property_value_length(reply) == 4;
  std::free(reply);
  return found;
}

const uint32_t* Screen::grab(const Rect& r) {
  auto* reply = xcb_shm_get_image_reply(
      c_,
      xcb_shm_get_image(c_, root_, int16_t(r.x), int16_t(r.y), uint16_t(r.w), uint16_t(r.h), ~0u,
                        XCB_IMAGE_FORMAT_Z_PIXMAP, seg_, 0),
      nullptr);
  std::free(reply);
  return reply ? pixels_ : nullptr;
}

QImage Screen::shot(const Rect& r) {
  const uint32_t* p = grab(r);
  return p ? QImage(reinterpret_cast<const uchar*>(p), r.w, r.h, r.w * 4, QImage::Format_RGB32)
                 .copy()
           : QImage();
}

void Screen::pressReturn() {
  xcb_test_fake_input(c_, XCB_KEY_PRESS, returnKey_, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  xcb_test_fake_input(c_, XCB_KEY_RELEASE, returnKey_, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  xcb_flush(c_);
}

void Screen::close(xcb_window_t id) {
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = client(id);
  message.type = atom("WM_PROTOCOLS");
  message.data.data32[0] = atom("WM_DELETE_WINDOW");
  message.data.data32[1] = XCB_CURRENT_TIME;
  xcb_send_event(c_, 0, message.window, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(c_);
}

void Screen::moveAndResize(xcb_window_t id, const Rect& to) {
  const uint32_t values[] = {uint32_t(to.x), uint32_t(to.y), uint32_t(to.w), uint32_t(to.h)};
  xcb_configure_window(c_, client(id),
                       XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                           XCB_CONFIG_WINDOW_HEIGHT,
                       values);
  xcb_flush(c_);
}

xcb_keycode_t Screen::Keycode(xcb_keysym_t keysym) {
  const xcb_setup_t* setup = xcb_get_setup(c_);
  const int count = setup->max_keycode - setup->min_keycode + 1;
  auto* map = xcb_get_keyboard_mapping_reply(
      c_, xcb_get_keyboard_mapping(c_, setup->min_keycode, uint8_t(count)), nullptr);
  if (!map) return 0;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
  xcb_keycode_t found = 0;
  for (int i = 0; i < count * map->keysyms_per_keycode && !found; ++i) {
    if (syms[i] == keysym) found = xcb_keycode_t(setup->min_keycode + i / map->keysyms_per_keycode);
  }
  std::free(map);
  return found;
}

xcb_atom_t Screen::atom(const char* name) {
  auto* reply =
      xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, uint16_t(std::strlen(name)), name), nullptr);
  const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  std::free(reply);
  return found;
}

// Drawing anywhere on the screen, told once the damage since the last look is no longer empty.
bool Screen::watchDrawing() {
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
void Screen::follow(xcb_window_t window, xcb_window_t frame) {
  const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  xcb_change_window_attributes(c_, window, XCB_CW_EVENT_MASK, &mask);
  auto* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, window), nullptr);
  if (!g) return;  // already gone
  framed_[window] = {frame, {g->x, g->y, g->width, g->height}};
  std::free(g);
}

}  // namespace brindlewick::bench
