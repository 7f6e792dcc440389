// Widget tests run the real windows on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "support/TestFiles.h"

int main(int argc, char** argv) {
  brindlewick::test::PrepareTestEnvironment();
  // As the program does: QT_SCALE_FACTOR=1.5 gives a ratio of 1.5 exactly.
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
      Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
