#pragma once

#include <optional>

#include <Qt>

#include "app/CommandKeys.h"

namespace brindlewick {

// A key of the selection's, as the window runs it.
struct SelectionKeyPress {
  SelectionStep step;
  int dx = 0;  // in the view's pixels, for an arrow key
  int dy = 0;
};

// The row of kSelectionKeys a key pressed with those modifiers stands for, with the way an arrow
// key points times its row's pixels; none for any other key. The keypad counts as the main
// keys: its arrows as arrows, its Enter as Enter.
std::optional<SelectionKeyPress> SelectionKeyFor(int key, Qt::KeyboardModifiers modifiers);

}  // namespace brindlewick
