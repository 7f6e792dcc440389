#include <csignal>
#include <cstdlib>

#include <QApplication>

#include "app/Form1.h"
#include "platform/dialogs/QtErrorBox.h"
#include "platform/dialogs/QtFileDialog.h"
#include "platform/dialogs/QtMessageBox.h"
#include "platform/jpeg/CachingPictureLoader.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/jpeg/TurboJpegImaging.h"
#include "platform/skin/StyleSheetSkinEngine.h"
#include "settings/Application.h"
#include "settings/SettingsStore.h"

int main(int argc, char* argv[]) {
  using namespace brindlewick;
  // Under a file size limit the system would kill the program mid-save; ignored, the write fails
  // like a full disk and the error box says so.
  std::signal(SIGXFSZ, SIG_IGN);
  // Optimised Huffman tables for every JPEG we write; set before any thread can read the
  // environment.
  setenv("TJ_OPTIMIZE", "1", 1);
  QApplication qtApp(argc, argv);
  // Desktops match the window to the installed desktop entry (its icon and name) by this.
  QGuiApplication::setDesktopFileName(QStringLiteral("brindlewick"));
  // The options dialog may be the only window shown; closing it must not end the program.
  // Closing the main window does, with every other window.
  QApplication::setQuitOnLastWindowClosed(false);

  Application app{QCoreApplication::applicationDirPath(), {}};
  QtErrorBox errors;
  QtFileDialog dialog;
  JpegFileLoader decoder;
  // Re-laying the window out shows the unchanged file without decoding it again.
  CachingPictureLoader loader(decoder);
  TurboJpegImaging imaging;
  StyleSheetSkinEngine skin;
  QtMessageBox messages;
  SettingsStore settings;
  Form1 form(app, {errors, dialog, loader, imaging, skin, messages, settings});
  QObject::connect(&form, &Form1::unloaded, &qtApp, &QCoreApplication::quit);
  form.show();
  return QApplication::exec();
}
