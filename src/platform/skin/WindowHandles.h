#pragma once

#include <cstdint>

class QWidget;

namespace brindlewick {

// 32-bit handles for top-level windows, for interfaces that name a window by a number. The
// numbers are our own, not the window system's: a native id may be 64 bits wide (a pointer on
// some platforms) and asking for it makes Qt create the native window early. A handle stays
// bound to its window and is never reused; once the window is gone it names nothing.
int32_t WindowHandle(QWidget& window);
QWidget* WindowFromHandle(int32_t handle);

}  // namespace brindlewick
