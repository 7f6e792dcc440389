// Widget tests run the real windows on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "support/TestFiles.h"

int main(int argc, char** argv) {
  brindlewick::test::PrepareTestEnvironment();
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
