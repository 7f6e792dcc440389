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
#include "crop/Selection.h"
#include "crop/UndoCommand.h"
#include "output/SaveCommand.h"
#include "settings/Application.h"
#include "support/Fakes.h"
#include "support/Form1Fixture.h"
#include "support/TestFiles.h"
#include "view/OpenCommands.h"

// g++ names the address sanitizer with a macro, clang only through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define BRINDLEWICK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRINDLEWICK_ASAN 1
#endif
#endif

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
  test::WindowServices services;
  test::RecordingErrorBox& errors = services.errors;
  test::ScriptedFileDialog& dialog = services.dialog;
  Form1 form(app, services.forWindows());
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const QString pictures[] = {
      test::WriteJpeg(folder.path("a.jpg"), test::SmoothImage(1200, 900)),
      test::WriteJpeg(folder.path("b.jpg"), test::PatternImage(700, 900)),
  };
  Selection& selection = form.selectionForTest();

  auto cycle = [&](int i) {
    dialog.answers = {pictures[i % 2], folder.path(i % 2 ? "out-b.jpg" : "out-a.jpg")};
    OpenContext opening = form.opening();
    mnuSelectPicture_Click(opening);
    selection.setIgnoreMouse(false);
    selection.Picture1_MouseDown(1, 0, 100, 80);
    selection.Picture1_MouseMove(1, 0, 300 + i % 50, 260);
    selection.Picture1_MouseUp(1, 0, 300 + i % 50, 260);
    DisplayContext display = form.display();
    mnuUndo_Click(display, selection);
    selection.Picture1_MouseDown(1, 0, 120, 90);
    selection.Picture1_MouseMove(1, 0, 200, 150);
    selection.Picture1_MouseUp(1, 0, 200, 150);
    SaveContext saving = form.saving();
    mnuSave_Click(saving);
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
#if !defined(BRINDLEWICK_ASAN)
  // The sanitizer holds freed memory back on purpose, so only the plain build judges the size.
  EXPECT_LT(residentAfter - residentBefore, 8.0);
  EXPECT_LT(peakAfter - peakBefore, 8.0);
#endif
}

}  // namespace
}  // namespace brindlewick
