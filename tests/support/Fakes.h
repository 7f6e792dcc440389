#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include <QSize>
#include <QString>
#include <QStringList>

#include "crop/Selection.h"
#include "output/SaveCommand.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/OneShotTimer.h"
#include "platform/errors/ErrorBox.h"
#include "platform/imaging/ImagingLibrary.h"
#include "platform/imaging/TurboJpegImaging.h"
#include "platform/loading/PictureLoader.h"
#include "settings/Application.h"
#include "support/Decoding.h"
#include "view/DisplayPicture.h"
#include "view/MainWindowShell.h"
#include "view/OpenCommands.h"
#include "view/PictureDocument.h"

namespace brindlewick::test {

// Keeps every report the error box was asked to show.
class RecordingErrorBox : public ErrorBox {
 public:
  void showReport(const QString& report) override { reports.push_back(report); }
  std::vector<QString> reports;
};

// Keeps every plain message box, with its title.
class RecordingMessageBox : public MessageBox {
 public:
  void MsgBox(const QString& text, const QString& title) override {
    shown.push_back({text, title});
  }
  std::vector<std::pair<QString, QString>> shown;
};

// Answers each ShowOpen/ShowSave with the next scripted file name ("" = cancel) and records the
// title and filter it was shown with.
class ScriptedFileDialog : public FileDialog {
 public:
  struct Shown {
    bool save;
    QString title;
    QString filter;
    QString proposedName;
    QString folder;
  };
  void ShowOpen() override { answer(false); }
  void ShowSave() override { answer(true); }

  std::deque<QString> answers;
  std::vector<Shown> shown;

 private:
  void answer(bool save);
};

// A timer that ticks only when the test says so.
class ManualTimer : public OneShotTimer {
 public:
  void setEnabled(bool enabled) override { enabled_ = enabled; }
  void setInterval(int milliseconds) override { interval_ = milliseconds; }
  bool isEnabled() const override { return enabled_; }
  int interval() const override { return interval_; }
  // Ticks if the timer would be running.
  bool fire();

 private:
  bool enabled_ = false;
  int interval_ = 0;
};

class FakeShell : public MainWindowShell {
 public:
  FakeShell();
  void setMenuEnabled(MenuCommand command, bool enabled) override { menu[command] = enabled; }
  bool isMenuEnabled(MenuCommand command) const { return menu.at(command); }
  bool isMinimized() const override { return minimized; }
  double ScaleWidth() const override { return scaleWidth; }
  double ScaleHeight() const override { return scaleHeight; }
  double pixelRatio() const override { return ratio; }
  MousePointer mousePointer() const override { return pointer; }
  void setMousePointer(MousePointer value) override { pointer = value; }
  void Show() override { shown = true; }

  std::map<MenuCommand, bool> menu;
  bool minimized = false;
  double scaleWidth = 693;
  double scaleHeight = 500;
  double ratio = 1;
  MousePointer pointer = MousePointer::Default;
  bool shown = false;
};

// Loads with the real decoder but counts the loads, or hands out a picture the test made (kept
// while the file keeps the identity it has then).
class CountingLoader : public PictureLoader {
 public:
  LoadedPicture LoadPicture(const QString& path, const PictureRequest& request) override;

  // Used instead of the decoder when set.
  std::function<Picture(const QString&, const PictureRequest&)> fake;
  // Read these only while no decode runs in the background.
  QStringList loaded;
  std::vector<int> threads;  // each load's cores: one for a decode in the background
  // The loads that asked for more than one core, as a display does; at any time.
  int displays() const {
    const std::lock_guard lock(mutex_);
    return int(std::count_if(threads.begin(), threads.end(), [](int t) { return t > 1; }));
  }

 private:
  test::JpegFileLoader real_;
  mutable std::mutex mutex_;
};

// Records each imaging call and what it was given. A call answers with its scripted status
// when that is not 0; otherwise it goes on to the real library if there is one, or succeeds
// without writing anything.
class RecordingImagingLibrary : public ImagingLibrary {
 public:
  explicit RecordingImagingLibrary(ImagingLibrary* real = nullptr) : real_(real) {}

  GpStatus GdiplusStartup(uintptr_t* token, const GdiplusStartupInput* input,
                          GdiplusStartupOutput* output) noexcept override;
  GpStatus GdipCreateBitmapFromHBITMAP(const Picture& hbm, HPALETTE hpal,
                                       GpBitmap** bitmap) noexcept override;
  GpStatus GdipSaveImageToFile(GpBitmap* image, const char16_t* filename, const Guid* clsidEncoder,
                               const EncoderParameters* encoderParams) noexcept override;
  GpStatus GdipDisposeImage(GpBitmap* image) noexcept override;
  void GdiplusShutdown(uintptr_t token) noexcept override;

  // Scripted answers.
  GpStatus startupStatus = ImagingStatus::Ok;
  GpStatus bitmapStatus = ImagingStatus::Ok;
  GpStatus saveStatus = ImagingStatus::Ok;
  GpStatus disposeStatus = ImagingStatus::Ok;

  // What happened, in order: "GdiplusStartup", "GdipCreateBitmapFromHBITMAP", ...
  QStringList calls;
  GdiplusStartupInput startupInput;
  bool startupOutputGiven = false;
  uintptr_t issuedToken = 0;
  uintptr_t shutdownToken = 0;
  QSize pictureSize;
  HPALETTE palette = nullptr;
  GpBitmap* issuedBitmap = nullptr;
  GpBitmap* savedBitmap = nullptr;
  GpBitmap* disposedBitmap = nullptr;
  QString path;
  Guid encoder;
  uint32_t parameterCount = 0;
  EncoderParameter parameter;
  uint32_t qualityValue = 0;  // read from the parameter's cell during the call

 private:
  ImagingLibrary* real_;
  uintptr_t fakeHandles_ = 0;
};

// A main window's handlers with fakes all round and the real document and selection.
struct Form1Harness {
  explicit Form1Harness(QString appPath = {});

  // Lays the view out as the window's first resize would.
  void layOut(double clientWidth = 693, double clientHeight = 500);

  PictureDocument doc;
  FakeShell window;
  RecordingErrorBox errors;
  ScriptedFileDialog dialog;
  ManualTimer timer;
  CountingLoader loader;
  Application app;
  TurboJpegImaging realImaging;
  RecordingImagingLibrary imaging{&realImaging};
  Selection selection{doc, window, errors};
  DisplayContext display{doc, window, errors, loader};
  OpenContext open{display, selection, dialog, timer, app};
  SaveContext save{doc, window, errors, dialog, imaging};
};

}  // namespace brindlewick::test
