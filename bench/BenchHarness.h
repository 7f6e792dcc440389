#pragma once

#include <cstdio>
#include <cstdlib>

#include <QString>

#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/OneShotTimer.h"
#include "platform/errors/ErrorBox.h"
#include "platform/imaging/TurboJpegImaging.h"
#include "platform/loading/PictureLoader.h"
#include "settings/Application.h"
#include "view/DisplayPicture.h"
#include "view/FormResize.h"
#include "view/MainWindowShell.h"
#include "view/PictureDocument.h"

namespace brindlewick::bench {

// A failure in a benchmark means the measurement is wrong: stop loudly.
class AbortingErrorBox : public ErrorBox {
 public:
  void showReport(const QString& report) override {
    std::fprintf(stderr, "unexpected failure:\n%s\n", qPrintable(report));
    std::abort();
  }
};

class NoDialog : public FileDialog {
 public:
  void ShowOpen() override {}
  void ShowSave() override {}
};

class IdleTimer : public OneShotTimer {
 public:
  void setEnabled(bool) override {}
  void setInterval(int) override {}
  bool isEnabled() const override { return false; }
  int interval() const override { return 0; }
};

class Shell : public MainWindowShell {
 public:
  void setMenuEnabled(MenuCommand, bool) override {}
  bool isMinimized() const override { return false; }
  MousePointer mousePointer() const override { return MousePointer::Default; }
  void setMousePointer(MousePointer) override {}
  void Show() override {}
  double ScaleWidth() const override { return width; }
  double ScaleHeight() const override { return height; }
  double pixelRatio() const override { return 1; }
  double width = 700;
  double height = 500;
};

// The main window's handlers without a window, loading through the given loader.
struct MainWindow {
  explicit MainWindow(PictureLoader& loader) : loader(loader) {}

  // Client 700 x 500 gives the 685 x 485 view.
  void layOut(double clientWidth = 700, double clientHeight = 500) {
    shell.width = clientWidth;
    shell.height = clientHeight;
    Form_Resize(display);
  }

  PictureLoader& loader;
  PictureDocument doc;
  Shell shell;
  AbortingErrorBox errors;
  NoDialog dialog;
  IdleTimer timer;
  Application app;
  TurboJpegImaging imaging;
  DisplayContext display{doc, shell, errors, loader};
};

}  // namespace brindlewick::bench
