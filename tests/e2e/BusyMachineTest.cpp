// The program on a machine busy with other programs, as an ordinary user runs it: there the
// prepare of the largest view, at idle priority, may not get a core for seconds, and nothing the
// user waits for may wait for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include "e2e/ProgramOnScreen.h"
#include "platform/jpeg/JpegEncoder.h"
#include "support/TestFiles.h"

namespace brindlewick::e2e {
namespace {

// Closing takes some tens of ms; waiting for the prepare, or for a thread at idle priority to end,
// it takes seconds on a busy machine.
constexpr int kGenerousMs = 1000;

// Whether the program's prepare is under way: its helper process is at idle priority and wants a
// core.
bool PrepareRunning(qint64 pid) {
  const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
  for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    std::ifstream children(tasks.filePath(task + QStringLiteral("/children")).toStdString());
    for (std::string child; children >> child;) {
      std::ifstream stat("/proc/" + child + "/stat");
      const std::string text((std::istreambuf_iterator<char>(stat)), {});
      if (text.find("(decode prepare)") == std::string::npos) continue;
      // After the name: the state (field 3), then 37 fields to the scheduling policy (field 41).
      std::istringstream fields(text.substr(text.rfind(')') + 2));
      std::vector<std::string> values(39);
      for (std::string& value : values) fields >> value;
      if (values[0] == "R" && values[38] == "5") return true;  // wants a core, SCHED_IDLE
    }
  }
  return false;
}

class BusyMachineTest : public ProgramOnScreen {
 protected:
  void TearDown() override {
    for (const auto& busy : busy_) busy->kill();
    for (const auto& busy : busy_) busy->waitForFinished(5000);
    ProgramOnScreen::TearDown();
  }

  // Programs of ours that spin on every core they get, at normal priority: two, or a core each.
  void keepTheMachineBusy() {
    const int count = std::max(2, QThread::idealThreadCount());
    for (int i = 0; i < count; ++i) {
      busy_.push_back(std::make_unique<QProcess>());
      busy_.back()->start(QStringLiteral("sh"),
                          {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
      ASSERT_TRUE(busy_.back()->waitForStarted(20000));
    }
  }

 private:
  std::vector<std::unique_ptr<QProcess>> busy_;
};

TEST_F(BusyMachineTest, ClosingEndsTheProgramAtOnceWhileThePrepareWaitsForACore) {
  const QString photo =
      test::WriteJpeg(scratch(QStringLiteral("photo.jpg")), test::PatternImage(4000, 3000),
                      {90, ChromaSubsampling::Quarter420, true});
  keepTheMachineBusy();
  ASSERT_TRUE(launch(QStringLiteral(BRINDLEWICK_PROGRAM), home(), {photo}));
  ASSERT_TRUE(waitForView(ShowsWholePicture, "showed the photo"));
  ASSERT_TRUE(WaitFor([&] { return PrepareRunning(programId()); }, 15000))
      << "the prepare of the largest view never ran";

  QElapsedTimer clock;
  clock.start();
  int exitCode = -1;
  ASSERT_TRUE(closeAndWaitForExit(&exitCode));
  EXPECT_LT(clock.elapsed(), kGenerousMs);
  EXPECT_EQ(exitCode, 0);
}

}  // namespace
}  // namespace brindlewick::e2e
