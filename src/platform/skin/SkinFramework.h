#pragma once

#include <QVariant>

namespace brindlewick {

enum class DispatchKind { Method, PropertyGet, PropertyPut };

// The skin engine, reached only by late-bound calls: a dispatch id, the kind of call and its
// arguments. A call the engine cannot carry out is a RuntimeError.
class SkinFramework {
 public:
  virtual ~SkinFramework() = default;
  virtual QVariant Invoke(int dispatchId, DispatchKind kind, const QVariantList& arguments) = 0;
};

// The engine's dispatch ids.
namespace SkinDispatchId {
// Option flags (32-bit integer). Bit 0: skin the window's menu bar as well as its client area.
inline constexpr int ApplyOptions = 1;
// Loads a skin: the skin file's path and the name of a variant inside it ("" for the default).
inline constexpr int LoadSkin = 2;
// Applies the loaded skin to a window, given its handle (see WindowHandles.h).
inline constexpr int ApplyWindow = 3;
// Boolean: windows that open later get the skin as well.
inline constexpr int AutoApplyNewWindows = 5;
// Boolean: with AutoApplyNewWindows, dialog and message boxes get it too.
inline constexpr int AutoApplyNewDialogs = 10;
}  // namespace SkinDispatchId

}  // namespace brindlewick
