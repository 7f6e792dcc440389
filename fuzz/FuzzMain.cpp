// libFuzzer entry point; the target is chosen at build time (BRINDLEWICK_FUZZ_TARGET).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QGuiApplication>

#include "FuzzTargets.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // Qt's image plugins want an application object; no display is needed.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static QGuiApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  brindlewick::fuzz::BRINDLEWICK_FUZZ_TARGET(data, size);
  return 0;
}
