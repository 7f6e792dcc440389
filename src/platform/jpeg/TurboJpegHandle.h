#pragma once

#include <turbojpeg.h>

#include <memory>

namespace brindlewick {

// TurboJPEG's handles and buffers, released however the call that uses them ends.
struct TjDestroy {
  void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjDestroy>;

struct TjFree {
  void operator()(unsigned char* buffer) const { tjFree(buffer); }
};
using TjBuffer = std::unique_ptr<unsigned char, TjFree>;

}  // namespace brindlewick
