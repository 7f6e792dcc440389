// Core tests need Qt's image plugins and painting, but never a window or a display.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "support/TestFiles.h"

int main(int argc, char** argv) {
  brindlewick::test::PrepareTestEnvironment();
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
