// The end-to-end tests drive the real program in an X server of their own; this process only
// starts processes and reads files and pixels, so it needs no display itself.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
