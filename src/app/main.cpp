#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <functional>
#include <utility>

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "app/CommandLine.h"
#include "app/Form1.h"
#include "app/TerminateSignal.h"
#include "platform/dialogs/QtErrorBox.h"
#include "platform/dialogs/QtFileDialog.h"
#include "platform/dialogs/QtMessageBox.h"
#include "platform/imaging/TurboJpegImaging.h"
#include "platform/loading/DecodeJobs.h"
#include "platform/loading/PrepareProcess.h"
#include "platform/skin/StyleSheetSkinEngine.h"
#include "platform/surface/Surface.h"
#include "platform/threads/Parallel.h"
#include "settings/Application.h"
#include "settings/SettingsStore.h"
#include "view/FormResize.h"
#include "view/OpenCommands.h"

namespace {

// Prints the command line's answer, if it has one, and gives the exit code it asks for.
std::optional<int> Answer(const brindlewick::CommandLine& commandLine) {
  std::fputs(commandLine.standardOutput.toLocal8Bit().constData(), stdout);
  std::fputs(commandLine.standardError.toLocal8Bit().constData(), stderr);
  return commandLine.exitCode;
}

// Ends the process now, waiting for no thread. Nothing of the user's is left to write: settings
// are written as they change, and a save runs to its end on the window's thread before the event
// loop can return. What may still run are decodes nobody will see and the pool's threads, one of
// them at idle priority, which on a busy machine may not get a core for seconds; ending as `exit`
// does would wait for them in the destructors of the loader and the pool.
[[noreturn]] void EndNow(int exitCode) {
  std::fflush(nullptr);
  std::_Exit(exitCode);
}

// Runs `then` on the event loop once the window is first exposed: by then a window manager that
// maximises it has done so, and the window has the size it is first seen at.
class AfterFirstExpose : public QObject {
 public:
  AfterFirstExpose(QWindow& window, std::function<void()> then)
      : window_(window), then_(std::move(then)) {
    window_.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &window_ && event->type() == QEvent::Expose && window_.isExposed() && then_) {
      window_.removeEventFilter(this);
      QTimer::singleShot(0, this, std::exchange(then_, {}));
    }
    return false;
  }

 private:
  QWindow& window_;
  std::function<void()> then_;
};

// Builds the window on the platform's parts and runs the event loop until it closes.
int RunWindow(QApplication& qtApp, brindlewick::DecodeJobs& loader,
              const brindlewick::CommandLine& commandLine, bool headStarted) {
  using namespace brindlewick;
  Application app{QCoreApplication::applicationDirPath(), {}};
  QtErrorBox errors;
  QtFileDialog dialog;
  // Re-laying the window out shows the unchanged file without decoding it again, and growing it
  // finds the pixels for the largest view the screen allows decoded in advance.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    loader.prepareFor(LargestPaintSize(screen->availableSize() * screen->devicePixelRatio()));
  }
  TurboJpegImaging imaging;
  StyleSheetSkinEngine skin;
  QtMessageBox messages;
  SettingsStore settings;
  Form1 form(app, {errors, dialog, loader, imaging, skin, messages, settings});
  QObject::connect(&form, &Form1::unloaded, &qtApp, &QCoreApplication::quit);
  // Asked to end (a log-out, `kill`), the program closes as its window's close box closes it.
  TerminateSignal terminate;
  QObject::connect(&terminate, &TerminateSignal::received, &form, &QWidget::close);
  form.show();
  // Pictures named on the command line open as if picked in "Select Picture", at the size the
  // window has when it is first seen.
  std::optional<AfterFirstExpose> opening;
  if (!commandLine.pictures.isEmpty()) {
    // Until then the head start follows the view's size: a window manager's maximise before the
    // first paint has its decode begun as the view takes that size. A file the head start could
    // not take is not read again for it, nor is the file looked at for a change of the view that
    // leaves its size as it was (a surface announces every drawing).
    const Surface& view = form.document().Picture1;
    QMetaObject::Connection aim;
    if (headStarted) {
      aim = QObject::connect(
          &view, &Surface::changed, &form,
          [&loader, &view, path = commandLine.pictures.first(), aimed = QSize()]() mutable {
            const QSize size(view.width(), view.height());
            if (size == std::exchange(aimed, size)) return;
            loader.headStart(path, {FittedPaintSize(size), CoreCount(), {}});
          });
    }
    opening.emplace(*form.windowHandle(), [&form, &commandLine, aim] {
      QObject::disconnect(aim);
      OpenContext context = form.opening();
      OpenGivenPictures(context, commandLine.pictures);
    });
  }
  return QApplication::exec();
}

}  // namespace

int main(int argc, char* argv[]) {
  using namespace brindlewick;
  // The program started again by itself to prepare the largest view, away from the window.
  if (argc > 1 && std::strcmp(argv[1], PrepareProcess::kRole) == 0) {
    return RunPrepareHelper(argc, argv);
  }
  // Command line, first look, with Qt's own options left out as QApplication will take them:
  // --help, --version and a wrong option are answered without needing a display.
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const CommandLine early = ParseCommandLine(WithoutQtOptions(arguments), QDir::currentPath());
  if (early.exitCode) return *Answer(early);

  // Under a file size limit the system would kill the program mid-save; ignored, the write fails
  // like a full disk and the error box says so.
  std::signal(SIGXFSZ, SIG_IGN);
  MakePool();  // before the head start's worker can, which would make it Qt's main thread
  // A picture opened from the file manager starts decoding now, for the window's first size,
  // while Qt and the window start; the window takes it when it shows the picture.
  DecodeJobs loader(std::make_shared<JpegCodec>(), {}, std::make_shared<PrepareProcess>());
  const bool headStarted =
      !early.pictures.isEmpty() &&
      loader.headStart(early.pictures.first(),
                       {LargestPaintSize(Form1::kClientSize), CoreCount(), {}});
  // A fractional ratio such as 1.25 or 1.5 is kept as it is, so the view's surface has exactly
  // the screen's pixels; it must be set before the application object exists.
  QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
      Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  QApplication qtApp(argc, argv);
  // Desktops match the window to the installed desktop entry (its icon and name) by this.
  QGuiApplication::setDesktopFileName(QStringLiteral(BRINDLEWICK_APP_ID));
  // The options dialog may be the only window shown; closing it must not end the program.
  // Closing the main window does, with every other window.
  QApplication::setQuitOnLastWindowClosed(false);
  // Command line, with Qt's options taken out.
  const CommandLine commandLine =
      ParseCommandLine(QCoreApplication::arguments(), QDir::currentPath());
  if (const std::optional<int> exitCode = Answer(commandLine)) EndNow(*exitCode);
  EndNow(RunWindow(qtApp, loader, commandLine, headStarted));
}
