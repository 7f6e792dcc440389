#include "support/Fakes.h"

#include <utility>

#include "view/FormResize.h"

namespace brindlewick::test {

void ScriptedFileDialog::answer(bool save) {
  shown.push_back({save, DialogTitle, Filter, FileName, InitDir});
  if (answers.empty()) {
    FileName.clear();
    return;
  }
  FileName = answers.front();
  answers.pop_front();
}

bool ManualTimer::fire() {
  if (!enabled_ || interval_ <= 0) return false;
  tick();
  return true;
}

FakeShell::FakeShell()
    : menu{{MenuCommand::SelectPicture, true},
           {MenuCommand::Undo, false},
           {MenuCommand::Save, false},
           {MenuCommand::JPGQuality, true},
           {MenuCommand::LoadSample, true}} {}

LoadedPicture CountingLoader::LoadPicture(const QString& path, const PictureRequest& request) {
  {
    const std::lock_guard lock(mutex_);
    loaded << path;
    threads.push_back(request.threads);
  }
  if (fake) return {fake(path, request), IdentifyFile(path)};
  return real_.LoadPicture(path, request);
}

GpStatus RecordingImagingLibrary::GdiplusStartup(uintptr_t* token, const GdiplusStartupInput* input,
                                                 GdiplusStartupOutput* output) noexcept {
  calls << "GdiplusStartup";
  if (input) startupInput = *input;
  startupOutputGiven = output != nullptr;
  if (startupStatus != ImagingStatus::Ok) return startupStatus;
  GpStatus s = ImagingStatus::Ok;
  if (real_) {
    s = real_->GdiplusStartup(token, input, output);
  } else {
    *token = ++fakeHandles_;
  }
  issuedToken = *token;
  return s;
}

GpStatus RecordingImagingLibrary::GdipCreateBitmapFromHBITMAP(const Picture& hbm, HPALETTE hpal,
                                                              GpBitmap** bitmap) noexcept {
  calls << "GdipCreateBitmapFromHBITMAP";
  pictureSize = hbm.naturalSize();
  palette = hpal;
  if (bitmapStatus != ImagingStatus::Ok) return bitmapStatus;
  GpStatus s = ImagingStatus::Ok;
  if (real_) {
    s = real_->GdipCreateBitmapFromHBITMAP(hbm, hpal, bitmap);
  } else {
    *bitmap = reinterpret_cast<GpBitmap*>(uintptr_t(0x1000) + ++fakeHandles_);
  }
  issuedBitmap = *bitmap;
  return s;
}

GpStatus RecordingImagingLibrary::GdipSaveImageToFile(
    GpBitmap* image, const char16_t* filename, const Guid* clsidEncoder,
    const EncoderParameters* encoderParams) noexcept {
  calls << "GdipSaveImageToFile";
  savedBitmap = image;
  path = QString::fromUtf16(filename);
  encoder = *clsidEncoder;
  parameterCount = encoderParams->Count;
  parameter = encoderParams->Parameter[0];
  qualityValue = *static_cast<const uint32_t*>(parameter.Value);
  if (saveStatus != ImagingStatus::Ok) return saveStatus;
  return real_ ? real_->GdipSaveImageToFile(image, filename, clsidEncoder, encoderParams)
               : ImagingStatus::Ok;
}

GpStatus RecordingImagingLibrary::GdipDisposeImage(GpBitmap* image) noexcept {
  calls << "GdipDisposeImage";
  disposedBitmap = image;
  const GpStatus s = real_ ? real_->GdipDisposeImage(image) : ImagingStatus::Ok;
  return disposeStatus != ImagingStatus::Ok ? disposeStatus : s;
}

void RecordingImagingLibrary::GdiplusShutdown(uintptr_t token) noexcept {
  calls << "GdiplusShutdown";
  shutdownToken = token;
  if (real_) real_->GdiplusShutdown(token);
}

Form1Harness::Form1Harness(QString appPath)
    : app{std::move(appPath), QStringLiteral("Brindlewick")} {
  timer.onTick([this] { Timer1_Timer(timer, selection); });
}

void Form1Harness::layOut(double clientWidth, double clientHeight) {
  window.scaleWidth = clientWidth;
  window.scaleHeight = clientHeight;
  Form_Resize(display);
}

}  // namespace brindlewick::test
