#include "platform/skin/WindowHandles.h"

#include <vector>

#include <QPointer>
#include <QWidget>

namespace brindlewick {
namespace {

// Handle n is entry n - 1. Only the GUI thread uses it.
std::vector<QPointer<QWidget>>& Windows() {
  static std::vector<QPointer<QWidget>> windows;
  return windows;
}

}  // namespace

int32_t WindowHandle(QWidget& window) {
  auto& windows = Windows();
  for (size_t i = 0; i < windows.size(); ++i) {
    if (windows[i] == &window) return static_cast<int32_t>(i + 1);
  }
  windows.emplace_back(&window);
  return static_cast<int32_t>(windows.size());
}

QWidget* WindowFromHandle(int32_t handle) {
  const auto& windows = Windows();
  if (handle <= 0 || size_t(handle) > windows.size()) return nullptr;
  return windows[size_t(handle) - 1];
}

}  // namespace brindlewick
