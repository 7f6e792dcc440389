#pragma once

namespace brindlewick {

// The keys of the main window's commands. None is one a desktop keeps for itself (those take
// Super, Alt or Ctrl+Alt, or function keys with Ctrl or Alt); the help, the manual page and the
// README list the same keys.
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

}  // namespace brindlewick
