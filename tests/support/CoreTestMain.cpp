// Core tests need Qt's image plugins and painting, but never a window or a display.
#include <gtest/gtest.h>

#include <string>

#include <QGuiApplication>

#include "platform/loading/PrepareProcess.h"
#include "support/TestFiles.h"

int main(int argc, char** argv) {
  // The prepare's helper, which the tests of the process that runs it start from this program.
  if (argc > 1 && std::string(argv[1]) == brindlewick::PrepareProcess::kRole) {
    return brindlewick::RunPrepareHelper(argc, argv);
  }
  brindlewick::test::PrepareTestEnvironment();
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
