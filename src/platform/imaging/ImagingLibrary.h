#pragma once

#include <cstdint>

#include "platform/imaging/Guid.h"

namespace brindlewick {

class Picture;

// The status every imaging call returns; 0 is success. The numbers stay fixed because users
// quote them from error reports. Where the old imaging library had a status for the same cause
// we keep its number, so a report means what it always meant; causes it lumped together under
// one number get numbers of their own from 21 up.
using GpStatus = int32_t;
namespace ImagingStatus {
constexpr GpStatus Ok = 0;
// The encoder failed for a reason it did not name.
constexpr GpStatus GenericError = 1;
// A missing or unknown argument, a picture without pixels (0 x 0), a quality above 100, or an
// encoder parameter that is not one 32-bit quality value.
constexpr GpStatus InvalidParameter = 2;
constexpr GpStatus OutOfMemory = 3;
// The system refused the write for a reason not listed here (an I/O error, for instance).
constexpr GpStatus IoError = 7;
// The target's folder does not exist, or a part of its path is a file.
constexpr GpStatus FolderNotFound = 10;
// The system does not let us write there (permissions, a read-only disk).
constexpr GpStatus AccessDenied = 12;
// The encoder identity names no encoder of this library.
constexpr GpStatus UnknownImageFormat = 13;
// The start-up record asks for a version other than 1.
constexpr GpStatus UnsupportedVersion = 17;
// A call made while the library is not started.
constexpr GpStatus NotInitialized = 18;
// No room for the file: the disk or the user's quota is full, or the file size limit is reached.
constexpr GpStatus DiskFull = 21;
// Something other than a regular file (a folder, device, pipe or socket) has the target's name;
// it is never replaced.
constexpr GpStatus NotARegularFile = 22;
// The file name or the path is longer than the file system allows.
constexpr GpStatus NameTooLong = 23;
}  // namespace ImagingStatus

using DebugEventProc = void (*)(int level, const char* message);

struct GdiplusStartupInput {
  uint32_t GdiplusVersion = 1;
  DebugEventProc DebugEventCallback = nullptr;
  bool SuppressBackgroundThread = false;
  bool SuppressExternalCodecs = false;
};

// The library offers no notification hooks, so callers pass no output record.
struct GdiplusStartupOutput;

// A bitmap object of the library; callers only hold and pass its address.
struct GpBitmap;

// A palette handle; pictures here are true-colour and need none.
using HPALETTE = const void*;

constexpr uint32_t EncoderParameterValueTypeLong = 4;  // one 32-bit integer per value

struct EncoderParameter {
  ::brindlewick::Guid Guid;
  uint32_t NumberOfValues = 0;
  uint32_t Type = 0;
  void* Value = nullptr;
};

struct EncoderParameters {
  uint32_t Count = 0;
  EncoderParameter Parameter[1];
};

// The imaging library SaveJPG drives, call by call: start-up with a token, a bitmap made from a
// picture, save with an encoder and its parameters, dispose, shut-down. No call throws.
class ImagingLibrary {
 public:
  virtual ~ImagingLibrary() = default;

  virtual GpStatus GdiplusStartup(uintptr_t* token, const GdiplusStartupInput* input,
                                  GdiplusStartupOutput* output) noexcept = 0;
  // The new bitmap holds a copy of the picture's pixels: later drawing does not change it.
  virtual GpStatus GdipCreateBitmapFromHBITMAP(const Picture& hbm, HPALETTE hpal,
                                               GpBitmap** bitmap) noexcept = 0;
  // Writes the bitmap to the NUL-terminated UTF-16 path; an existing file is replaced.
  virtual GpStatus GdipSaveImageToFile(GpBitmap* image, const char16_t* filename,
                                       const Guid* clsidEncoder,
                                       const EncoderParameters* encoderParams) noexcept = 0;
  virtual GpStatus GdipDisposeImage(GpBitmap* image) noexcept = 0;
  virtual void GdiplusShutdown(uintptr_t token) noexcept = 0;
};

}  // namespace brindlewick
