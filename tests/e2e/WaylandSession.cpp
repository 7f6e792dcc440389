#include "e2e/WaylandSession.h"

#include <QDir>
#include <QFile>

#include "e2e/OrdinaryAccount.h"
#include "e2e/XSession.h"

namespace brindlewick::e2e {
namespace {

constexpr char kSocket[] = "brindlewick-test";

}  // namespace

WaylandSession::~WaylandSession() {
  if (compositor_.state() != QProcess::NotRunning) {
    compositor_.terminate();
    if (!compositor_.waitForFinished(5000)) {
      compositor_.kill();
      compositor_.waitForFinished(5000);
    }
  }
}

::testing::AssertionResult WaylandSession::start() {
  if (!runtime_.isValid()) return ::testing::AssertionFailure() << "no runtime folder";
  // Wayland wants its runtime folder private to the user, whom the compositor runs as, as the
  // program does: the socket takes only its own user's clients.
  QFile::setPermissions(runtime_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  if (!GiveToOrdinaryUser(runtime_.path())) {
    return ::testing::AssertionFailure() << "the runtime folder cannot be the user's";
  }
  RunAsOrdinaryUser(compositor_);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_DEBUG"}) {
    env.remove(QLatin1String(name));
  }
  compositor_.setProcessEnvironment(env);
  compositor_.setWorkingDirectory(runtime_.path());
  compositor_.setProcessChannelMode(QProcess::MergedChannels);
  compositor_.setStandardOutputFile(runtime_.filePath(QStringLiteral("weston.log")));
  // --debug lets the screenshot tool in; the pixman renderer draws what it takes.
  compositor_.start(
      QStringLiteral("weston"),
      {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--use-pixman"),
       QStringLiteral("--width=1280"), QStringLiteral("--height=1024"),
       QStringLiteral("--idle-time=0"), QStringLiteral("--debug"),
       QStringLiteral("--socket=") + QLatin1String(kSocket)});
  if (!compositor_.waitForStarted(20000)) {
    return ::testing::AssertionFailure()
           << "weston did not start: " << compositor_.errorString().toStdString();
  }
  const QString socket = runtime_.filePath(QLatin1String(kSocket));
  if (!WaitFor([&] { return QFile::exists(socket) || compositor_.state() == QProcess::NotRunning; },
               20000) ||
      compositor_.state() == QProcess::NotRunning) {
    QFile log(runtime_.filePath(QStringLiteral("weston.log")));
    log.open(QIODevice::ReadOnly);
    return ::testing::AssertionFailure()
           << "weston took no connections: " << log.readAll().toStdString();
  }
  return ::testing::AssertionSuccess();
}

QProcessEnvironment WaylandSession::environment(const QString& home) const {
  QProcessEnvironment env;
  env.insert(QStringLiteral("PATH"), QProcessEnvironment::systemEnvironment().value("PATH"));
  env.insert(QStringLiteral("HOME"), home);
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
  env.insert(QStringLiteral("WAYLAND_DISPLAY"), QLatin1String(kSocket));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
  env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
  return env;
}

QImage WaylandSession::screenshot() {
  QDir folder(runtime_.path());
  for (const QString& old : folder.entryList({QStringLiteral("*.png")})) folder.remove(old);
  QProcess tool;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
  env.insert(QStringLiteral("WAYLAND_DISPLAY"), QLatin1String(kSocket));
  env.remove(QStringLiteral("WAYLAND_DEBUG"));
  tool.setProcessEnvironment(env);
  tool.setWorkingDirectory(runtime_.path());
  RunAsOrdinaryUser(tool);
  tool.start(QStringLiteral("weston-screenshooter"), {});
  if (!tool.waitForFinished(20000) || tool.exitCode() != 0) return {};
  const QStringList shots = folder.entryList({QStringLiteral("*.png")});
  return shots.isEmpty() ? QImage() : QImage(folder.filePath(shots.first()));
}

}  // namespace brindlewick::e2e
