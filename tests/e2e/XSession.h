#pragma once

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QThread>

struct xcb_connection_t;

namespace brindlewick::e2e {

using WindowId = uint32_t;

// A private X server for one test (Xvfb on a display of its own), the user's hands on it
// (xdotool sending input through the XTEST extension, as a keyboard and mouse would) and eyes
// (the screen's pixels and the windows' names and places, read over the X protocol).
class XSession {
 public:
  XSession() = default;
  ~XSession();
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;

  ::testing::AssertionResult start(QSize screen = {1280, 1024});
  QString display() const { return display_; }
  // The environment of a program started on this display: no desktop session, no native dialogs.
  QProcessEnvironment environment(const QString& home) const;

  // Windows that are mapped and whose name matches the pattern (a POSIX extended regex).
  std::vector<WindowId> visibleWindows(const QString& namePattern);
  // Waits for a mapped window so named, other than `except`.
  ::testing::AssertionResult waitForWindow(const QString& namePattern, WindowId* found,
                                           int timeoutMs = 15000, WindowId except = 0);
  ::testing::AssertionResult waitUntilHidden(WindowId window, int timeoutMs = 15000);
  bool isViewable(WindowId window);
  // The window's place on the screen.
  QRect geometry(WindowId window);

  QImage screenshot();
  QImage grab(WindowId window);  // the window's part of the screen
  // The pointer as the server shows it now: its picture and its hot spot within it.
  struct Pointer {
    QImage image;
    QPoint hotSpot;
  };
  Pointer pointer();

  // Input, through the server's test extension: the pointer and the keyboard of the session.
  ::testing::AssertionResult focus(WindowId window);
  ::testing::AssertionResult click(WindowId window, QPoint at);
  // Keys given are pressed at the end of the way, before the button is let go.
  ::testing::AssertionResult drag(WindowId window, QPoint from, QPoint to,
                                  const QStringList& keysBeforeRelease = {});
  ::testing::AssertionResult keys(WindowId window, const QStringList& keys);
  ::testing::AssertionResult type(WindowId window, const QString& text);
  ::testing::AssertionResult movePointer(WindowId window, QPoint to);

  // What the close box of a window manager does: asks the window to close.
  ::testing::AssertionResult requestClose(WindowId window);

 private:
  ::testing::AssertionResult xdotool(const QStringList& args, QString* output = nullptr);

  QProcess server_;
  QString display_;
  xcb_connection_t* connection_ = nullptr;
  uint32_t root_ = 0;
  uint32_t protocolsAtom_ = 0;
  uint32_t deleteWindowAtom_ = 0;
};

// Polls until the condition holds or the time is up; true when it held.
template <class Condition>
bool WaitFor(Condition condition, int timeoutMs, int stepMs = 25) {
  QDeadlineTimer deadline(timeoutMs);
  for (;;) {
    if (condition()) return true;
    if (deadline.hasExpired()) return false;
    QThread::msleep(stepMs);
  }
}

// Saves the image as PNG; false when it could not.
bool SavePng(const QImage& image, const QString& path);

}  // namespace brindlewick::e2e
