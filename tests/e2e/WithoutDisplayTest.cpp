#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include "e2e/OrdinaryAccount.h"
#include "e2e/ProgramOnScreen.h"

namespace brindlewick::e2e {
namespace {

const QString kUsage = QStringLiteral("Usage: brindlewick [options] [FILE...]\n");

// A session with no display at all: no X, no Wayland, no platform chosen.
QProcessEnvironment NoDisplay() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"}) {
    env.remove(QLatin1String(name));
  }
  return env;
}

TEST(WithoutDisplay, AWrongOptionPrintsTheUsageAndExitsWith2AlsoAmongQtsOwnOptions) {
  for (const QStringList& args :
       {QStringList{"--no-such-option"}, QStringList{"photo.jpg", "-x"},
        QStringList{"-style", "Fusion", "--no-such-option", "-platform", "xcb"}}) {
    const Finished run =
        RunToEnd(QStringLiteral(BRINDLEWICK_PROGRAM), args, NoDisplay(), As::OrdinaryUser);
    EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString() << ": "
                               << run.output().toStdString();
    EXPECT_TRUE(run.standardError.startsWith(QStringLiteral("brindlewick: Unknown option '")))
        << run.standardError.toStdString();
    EXPECT_TRUE(run.standardError.contains(QStringLiteral("'.\n") + kUsage))
        << run.standardError.toStdString();
    EXPECT_EQ(run.standardOutput, QString());
  }
}

// Qt's options still reach Qt: -platform picks the platform the program runs on.
TEST(WithoutDisplay, QtsOwnOptionsStillReachQt) {
  const Finished version = RunToEnd(QStringLiteral(BRINDLEWICK_PROGRAM),
                                    {"-platform", "offscreen", "-style=Fusion", "--version"},
                                    NoDisplay(), As::OrdinaryUser);
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.standardOutput, QStringLiteral("brindlewick " BRINDLEWICK_VERSION "\n"));

  QProcess program;
  program.setProcessEnvironment(NoDisplay());
  RunAsOrdinaryUser(program);
  program.start(QStringLiteral(BRINDLEWICK_PROGRAM), {"--platform", "offscreen", "-reverse"});
  ASSERT_TRUE(program.waitForStarted(20000));
  EXPECT_TRUE(RunsAsOrdinaryUser(program.processId()));
  // Running, not aborted for want of a display; asked to end, it closes cleanly.
  EXPECT_FALSE(program.waitForFinished(1500)) << program.readAllStandardError().toStdString();
  program.terminate();
  ASSERT_TRUE(program.waitForFinished(20000));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
}

}  // namespace
}  // namespace brindlewick::e2e
