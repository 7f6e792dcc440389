// Many open/crop/undo/save cycles in one process: memory stays flat. Leaks themselves are caught
// by the sanitizer run of this same suite.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include <QFile>
#include <QTest>

#include "app/Form1.h"
#include "crop/SelectionRectangle.h"
#include "crop/UndoCommand.h"
#include "output/SaveCommand.h"
#include "settings/Application.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"
#include "view/OpenCommands.h"

namespace brindlewick {
namespace {

double ResidentMiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * double(sysconf(_SC_PAGESIZE)) / (1024 * 1024);
}

double PeakResidentMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

TEST(Endurance, FiveHundredOpenCropUndoSaveCyclesKeepMemoryFlat) {
  test::TempFolder folder;
  Application app{folder.path(), {}};
  test::RecordingErrorBox errors;
  test::ScriptedFileDialog dialog;
  Form1 form(app, {&errors, &dialog});
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const QString pictures[] = {
      test::WriteJpeg(folder.path("a.jpg"), test::SmoothImage(1200, 900)),
      test::WriteJpeg(folder.path("b.jpg"), test::PatternImage(700, 900)),
  };
  Form1Context& context = form.context();

  auto cycle = [&](int i) {
    dialog.answers = {pictures[i % 2], folder.path(i % 2 ? "out-b.jpg" : "out-a.jpg")};
    mnuSelectPicture_Click(context);
    form.document().IgnoreMouse = false;
    Picture1_MouseDown(context, 1, 0, 100, 80);
    Picture1_MouseMove(context, 1, 0, 300 + i % 50, 260);
    Picture1_MouseUp(context, 1, 0, 300 + i % 50, 260);
    mnuUndo_Click(context);
    Picture1_MouseDown(context, 1, 0, 120, 90);
    Picture1_MouseMove(context, 1, 0, 200, 150);
    Picture1_MouseUp(context, 1, 0, 200, 150);
    mnuSave_Click(context);
    QCoreApplication::processEvents();
  };

  constexpr int kWarmUp = 50, kCycles = 500;
  for (int i = 0; i < kWarmUp; ++i) cycle(i);
  const double residentBefore = ResidentMiB(), peakBefore = PeakResidentMiB();
  for (int i = kWarmUp; i < kCycles; ++i) cycle(i);
  const double residentAfter = ResidentMiB(), peakAfter = PeakResidentMiB();

  EXPECT_TRUE(errors.reports.empty());
  EXPECT_TRUE(QFile::exists(folder.path("out-a.jpg")));
  std::printf(
      "after %d cycles: resident %.1f MiB (peak %.1f MiB); after %d: resident %.1f MiB "
      "(peak %.1f MiB)\n",
      kWarmUp, residentBefore, peakBefore, kCycles, residentAfter, peakAfter);
  ::testing::Test::RecordProperty("peak_resident_before_MiB", int(peakBefore));
  ::testing::Test::RecordProperty("peak_resident_after_MiB", int(peakAfter));
#if !defined(__SANITIZE_ADDRESS__)
  // The sanitizer holds freed memory back on purpose, so only the plain build judges the size.
  EXPECT_LT(residentAfter - residentBefore, 8.0);
  EXPECT_LT(peakAfter - peakBefore, 8.0);
#endif
}

}  // namespace
}  // namespace brindlewick
