#include "e2e/XSession.h"

#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <QDir>
#include <QFile>
#include <QImageWriter>

namespace brindlewick::e2e {
namespace {

constexpr int kProcessTimeoutMs = 20000;

template <class Reply>
struct Freed {
  Reply* reply;
  ~Freed() { std::free(reply); }
  Reply* operator->() const { return reply; }
  explicit operator bool() const { return reply != nullptr; }
};

uint32_t InternAtom(xcb_connection_t* connection, const char* name) {
  Freed<xcb_intern_atom_reply_t> reply{xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr)};
  return reply ? reply->atom : 0;
}

::testing::AssertionResult Failure(const QString& what) {
  return ::testing::AssertionFailure() << what.toStdString();
}

}  // namespace

XSession::~XSession() {
  if (connection_) xcb_disconnect(connection_);
  if (server_.state() != QProcess::NotRunning) {
    server_.terminate();
    if (!server_.waitForFinished(5000)) {
      server_.kill();
      server_.waitForFinished(5000);
    }
  }
}

::testing::AssertionResult XSession::start(QSize screen) {
  // The server picks a free display itself and writes its number once it takes connections.
  server_.setProcessChannelMode(QProcess::SeparateChannels);
  server_.start(
      QStringLiteral("Xvfb"),
      {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
       QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height()),
       QStringLiteral("-nolisten"), QStringLiteral("tcp")});
  if (!server_.waitForStarted(kProcessTimeoutMs)) {
    return Failure("Xvfb did not start: " + server_.errorString());
  }
  QByteArray number;
  const bool announced = WaitFor(
      [&] {
        server_.waitForReadyRead(100);
        number += server_.readAllStandardOutput();
        return number.contains('\n') || server_.state() == QProcess::NotRunning;
      },
      kProcessTimeoutMs);
  if (!announced || !number.contains('\n')) {
    return Failure("Xvfb gave no display: " +
                   QString::fromLocal8Bit(server_.readAllStandardError()));
  }
  display_ = QLatin1Char(':') + QString::fromLatin1(number.trimmed());

  int screenNumber = 0;
  connection_ = xcb_connect(display_.toLatin1().constData(), &screenNumber);
  if (xcb_connection_has_error(connection_)) return Failure("cannot connect to " + display_);
  root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
  // The pointer's picture is read through XFIXES, which answers only once its version is agreed.
  Freed<xcb_xfixes_query_version_reply_t> xfixes{xcb_xfixes_query_version_reply(
      connection_, xcb_xfixes_query_version(connection_, 4, 0), nullptr)};
  if (!xfixes) return Failure("the X server has no XFIXES extension");
  protocolsAtom_ = InternAtom(connection_, "WM_PROTOCOLS");
  deleteWindowAtom_ = InternAtom(connection_, "WM_DELETE_WINDOW");
  return ::testing::AssertionSuccess();
}

QProcessEnvironment XSession::environment(const QString& home) const {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name :
       {"WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION",
        "SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS", "XAUTHORITY", "KDE_FULL_SESSION",
        "GNOME_DESKTOP_SESSION_ID", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
        "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_ENABLE_HIGHDPI_SCALING", "QT_FONT_DPI",
        "QT_STYLE_OVERRIDE", "QT_QPA_PLATFORM_PLUGIN_PATH", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
    env.remove(QLatin1String(name));
  }
  env.insert(QStringLiteral("DISPLAY"), display_);
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  // No platform theme: Qt's own file dialog, whatever desktop the machine has.
  env.insert(QStringLiteral("QT_QPA_PLATFORMTHEME"), QString());
  env.insert(QStringLiteral("QT_ACCESSIBILITY"), QStringLiteral("0"));
  env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
  env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
  env.insert(QStringLiteral("HOME"), home);
  const QDir dir(home);
  for (const auto& [name, folder] :
       {std::pair{"XDG_CONFIG_HOME", ".config"}, std::pair{"XDG_DATA_HOME", ".local/share"},
        std::pair{"XDG_CACHE_HOME", ".cache"}, std::pair{"XDG_STATE_HOME", ".local/state"},
        std::pair{"XDG_RUNTIME_DIR", "runtime"}}) {
    const QString path = dir.filePath(QLatin1String(folder));
    QDir().mkpath(path);
    env.insert(QLatin1String(name), path);
  }
  QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  return env;
}

::testing::AssertionResult XSession::xdotool(const QStringList& args, QString* output) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DISPLAY"), display_);
  process.setProcessEnvironment(env);
  process.start(QStringLiteral("xdotool"), args);
  if (!process.waitForFinished(kProcessTimeoutMs)) {
    process.kill();
    process.waitForFinished();
    return Failure("xdotool " + args.join(' ') + " did not finish");
  }
  if (output) *output = QString::fromLocal8Bit(process.readAllStandardOutput());
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    return Failure("xdotool " + args.join(' ') +
                   " failed: " + QString::fromLocal8Bit(process.readAllStandardError()));
  }
  return ::testing::AssertionSuccess();
}

bool XSession::isViewable(WindowId window) {
  if (!connection_) return false;
  Freed<xcb_get_window_attributes_reply_t> attributes{xcb_get_window_attributes_reply(
      connection_, xcb_get_window_attributes(connection_, window), nullptr)};
  return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

std::vector<WindowId> XSession::visibleWindows(const QString& namePattern) {
  QString output;
  // Finding nothing is an exit status of 1, not a failure here.
  (void)xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                 QStringLiteral("--name"), namePattern},
                &output);
  std::vector<WindowId> windows;
  for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    bool ok = false;
    const WindowId id = line.trimmed().toUInt(&ok);
    // The search may list a window that is being unmapped; only those still viewable count.
    if (ok && isViewable(id)) windows.push_back(id);
  }
  return windows;
}

::testing::AssertionResult XSession::waitForWindow(const QString& namePattern, WindowId* found,
                                                   int timeoutMs, WindowId except) {
  *found = 0;
  WaitFor(
      [&] {
        for (WindowId id : visibleWindows(namePattern)) {
          if (id != except) *found = id;
        }
        return *found != 0;
      },
      timeoutMs, 50);
  if (*found) return ::testing::AssertionSuccess();
  return Failure("no window named " + namePattern + " appeared");
}

::testing::AssertionResult XSession::waitUntilHidden(WindowId window, int timeoutMs) {
  if (WaitFor([&] { return !isViewable(window); }, timeoutMs)) {
    return ::testing::AssertionSuccess();
  }
  return Failure(QStringLiteral("window %1 stayed on the screen").arg(window));
}

QRect XSession::geometry(WindowId window) {
  if (!connection_) return {};
  Freed<xcb_get_geometry_reply_t> size{
      xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr)};
  Freed<xcb_translate_coordinates_reply_t> place{xcb_translate_coordinates_reply(
      connection_, xcb_translate_coordinates(connection_, window, root_, 0, 0), nullptr)};
  if (!size || !place) return {};
  return QRect(place->dst_x, place->dst_y, size->width, size->height);
}

QImage XSession::screenshot() {
  if (!connection_) return {};
  Freed<xcb_get_geometry_reply_t> size{
      xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, root_), nullptr)};
  if (!size) return {};
  const int width = size->width, height = size->height;
  Freed<xcb_get_image_reply_t> image{
      xcb_get_image_reply(connection_,
                          xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, 0, 0,
                                        uint16_t(width), uint16_t(height), ~0u),
                          nullptr)};
  // A 24-bit screen keeps each pixel in 32 bits, blue first: Qt's RGB32 on this byte order.
  if (!image || image->depth != 24 ||
      xcb_get_image_data_length(image.reply) != width * height * 4) {
    return {};
  }
  QImage shot(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    std::memcpy(shot.scanLine(y), xcb_get_image_data(image.reply) + size_t(y) * width * 4,
                size_t(width) * 4);
  }
  return shot;
}

XSession::Pointer XSession::pointer() {
  if (!connection_) return {};
  Freed<xcb_xfixes_get_cursor_image_reply_t> cursor{xcb_xfixes_get_cursor_image_reply(
      connection_, xcb_xfixes_get_cursor_image(connection_), nullptr)};
  if (!cursor) return {};
  // Premultiplied ARGB, one 32-bit value a pixel, row by row.
  QImage image(cursor->width, cursor->height, QImage::Format_ARGB32_Premultiplied);
  const uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(cursor.reply);
  for (int y = 0; y < image.height(); ++y) {
    std::memcpy(image.scanLine(y), pixels + size_t(y) * image.width(), size_t(image.width()) * 4);
  }
  return {image, QPoint(cursor->xhot, cursor->yhot)};
}

QImage XSession::grab(WindowId window) {
  const QRect place = geometry(window);
  if (place.isEmpty()) return {};
  return screenshot().copy(place);
}

::testing::AssertionResult XSession::focus(WindowId window) {
  // Without a window manager nothing gives a window the keyboard when it is clicked or mapped,
  // so the session gives it, as the manager would.
  return xdotool(
      {QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(window)});
}

::testing::AssertionResult XSession::movePointer(WindowId window, QPoint to) {
  return xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QStringLiteral("--window"),
                  QString::number(window), QString::number(to.x()), QString::number(to.y())});
}

::testing::AssertionResult XSession::click(WindowId window, QPoint at) {
  return xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QStringLiteral("--window"),
                  QString::number(window), QString::number(at.x()), QString::number(at.y()),
                  QStringLiteral("click"), QStringLiteral("1")});
}

::testing::AssertionResult XSession::drag(WindowId window, QPoint from, QPoint to,
                                          const QStringList& keysBeforeRelease) {
  if (!keysBeforeRelease.isEmpty()) {
    if (auto focused = focus(window); !focused) return focused;
  }
  QStringList args{QStringLiteral("mousemove"), QStringLiteral("--sync"),
                   QStringLiteral("--window"),  QString::number(window),
                   QString::number(from.x()),   QString::number(from.y()),
                   QStringLiteral("mousedown"), QStringLiteral("1")};
  // The hand moves through the way between, as a real drag does.
  constexpr int kSteps = 8;
  for (int i = 1; i <= kSteps; ++i) {
    const QPoint at = from + (to - from) * i / kSteps;
    args << QStringLiteral("mousemove") << QStringLiteral("--sync") << QStringLiteral("--window")
         << QString::number(window) << QString::number(at.x()) << QString::number(at.y());
  }
  if (!keysBeforeRelease.isEmpty()) args << QStringLiteral("key") << keysBeforeRelease;
  args << QStringLiteral("mouseup") << QStringLiteral("1");
  return xdotool(args);
}

::testing::AssertionResult XSession::keys(WindowId window, const QStringList& keys) {
  if (auto focused = focus(window); !focused) return focused;
  return xdotool(
      QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("20")} + keys);
}

::testing::AssertionResult XSession::type(WindowId window, const QString& text) {
  if (auto focused = focus(window); !focused) return focused;
  return xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("10"), text});
}

::testing::AssertionResult XSession::requestClose(WindowId window) {
  if (!connection_) return Failure("no X connection");
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = protocolsAtom_;
  event.data.data32[0] = deleteWindowAtom_;
  event.data.data32[1] = XCB_CURRENT_TIME;
  xcb_send_event(connection_, 0, window, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&event));
  if (xcb_flush(connection_) <= 0) return Failure("the close request was not sent");
  return ::testing::AssertionSuccess();
}

bool SavePng(const QImage& image, const QString& path) {
  if (image.isNull()) return false;
  QDir().mkpath(QFileInfo(path).absolutePath());
  QImageWriter writer(path, "png");
  return writer.write(image);
}

}  // namespace brindlewick::e2e
