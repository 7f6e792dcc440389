#pragma once

namespace brindlewick {

// The keys of the main window: its commands and the selection's. None is one a desktop keeps for
// itself (those take Super, Alt or Ctrl+Alt, or function keys with Ctrl or Alt); the help, the
// manual page and the README list the same keys.
struct CommandKey {
  const char* caption;  // as the menu bar shows it
  const char* key;      // in QKeySequence's portable text
};

inline constexpr CommandKey kSelectPictureKey{"Select Picture", "Ctrl+O"};
inline constexpr CommandKey kUndoKey{"Go Back/Undo", "Ctrl+Z"};
inline constexpr CommandKey kSaveKey{"Save Image", "Ctrl+S"};
inline constexpr CommandKey kJPGQualityKey{"Output JPG Quality", "Ctrl+J"};
inline constexpr CommandKey kLoadSampleKey{"Load Sample", "Ctrl+L"};

inline constexpr CommandKey kCommandKeys[] = {kSelectPictureKey, kUndoKey, kSaveKey, kJPGQualityKey,
                                              kLoadSampleKey};

// What a key does to the selection on the view.
enum class SelectionStep { SelectAll, Move, Resize, Crop, CallOff };

// The keys that choose the rectangle to keep, while a picture is shown.
struct SelectionKey {
  // In QKeySequence's portable text; kArrowKeys stands for Left, Right, Up and Down, each with
  // the modifiers written before it.
  const char* key;
  const char* what;  // as the help, the manual page and the README tell it
  SelectionStep step;
  int pixels = 0;  // how far an arrow key moves, in the view's pixels
};

inline constexpr char kArrowKeys[] = "Arrow keys";

inline constexpr SelectionKey kSelectionKeys[] = {
    {"Ctrl+A", "Selects the whole view", SelectionStep::SelectAll},
    {"Arrow keys", "Move the selection by a pixel", SelectionStep::Move, 1},
    {"Ctrl+Arrow keys", "Move it by ten pixels", SelectionStep::Move, 10},
    {"Shift+Arrow keys", "Move its right or bottom edge by a pixel", SelectionStep::Resize, 1},
    {"Ctrl+Shift+Arrow keys", "Move that edge by ten pixels", SelectionStep::Resize, 10},
    {"Return", "Crops to the selection", SelectionStep::Crop},
    {"Enter", "Crops to it too (the keypad's Enter)", SelectionStep::Crop},
    {"Escape", "Calls off the selection or a drag (in the quality dialog: < Back)",
     SelectionStep::CallOff},
};

}  // namespace brindlewick
