#include <csignal>
#include <cstdlib>

#include <QApplication>

#include "app/Form1.h"
#include "settings/Application.h"

int main(int argc, char* argv[]) {
  // Under a file size limit the system would kill the program mid-save; ignored, the write fails
  // like a full disk and the error box says so.
  std::signal(SIGXFSZ, SIG_IGN);
  // Optimised Huffman tables for every JPEG we write; set before any thread can read the
  // environment.
  setenv("TJ_OPTIMIZE", "1", 1);
  // A fractional ratio such as 1.25 or 1.5 is kept as it is, so the view's surface has exactly
  // the screen's pixels; it must be set before the application object exists.
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
      Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  QApplication qtApp(argc, argv);
  // Desktops match the window to the installed desktop entry (its icon and name) by this.
  QGuiApplication::setDesktopFileName(QStringLiteral("brindlewick"));
  // The options dialog may be the only window shown; closing it must not end the program.
  // Closing the main window does, with every other window.
  QApplication::setQuitOnLastWindowClosed(false);

  brindlewick::Application app{QCoreApplication::applicationDirPath(), {}};
  brindlewick::Form1 form(app);
  QObject::connect(&form, &brindlewick::Form1::unloaded, &qtApp, &QCoreApplication::quit);
  form.show();
  return QApplication::exec();
}
