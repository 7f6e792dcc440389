#pragma once

namespace brindlewick {

// The mouse-pointer values a window or control can be given; the numbers are the classic ones.
enum class MousePointer { Default = 0, Crosshair = 2, Busy = 11, Custom = 99 };

}  // namespace brindlewick
