#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

namespace brindlewick::e2e {

// A private Wayland compositor for one test: Weston with its headless back end, drawing in
// memory, and its screenshot tool to see what it shows.
class WaylandSession {
 public:
  WaylandSession() = default;
  ~WaylandSession();
  WaylandSession(const WaylandSession&) = delete;
  WaylandSession& operator=(const WaylandSession&) = delete;

  ::testing::AssertionResult start();
  // The environment of a program that talks to this compositor only, with Qt's Wayland plugin,
  // in the given home.
  QProcessEnvironment environment(const QString& home) const;
  // What the compositor shows now; null when it cannot be taken.
  QImage screenshot();

 private:
  QTemporaryDir runtime_;  // the compositor's socket, and the screenshots
  QProcess compositor_;
};

}  // namespace brindlewick::e2e
