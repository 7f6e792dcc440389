#pragma once

namespace brindlewick {

struct Form1Context;

// The margin between the client area's size and the view's.
inline constexpr float kViewMargin = 15;

// Keeps the view filling the client area (less the margin) and shows the current picture fitted
// again at the new size.
void Form_Resize(Form1Context& form);

}  // namespace brindlewick
