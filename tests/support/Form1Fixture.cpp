#include "support/Form1Fixture.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenuBar>
#include <QTest>
#include <QWindow>

#include "platform/surface/PictureBox.h"

namespace brindlewick::test {

void SendDeviceMouse(QWindow& window, QEvent::Type type, QPoint device, Qt::MouseButtons held,
                     Qt::MouseButton changed) {
  static int timestamp = 0;
  timestamp += 1000;  // never close enough to the last click for a double click
  const QPointF local = QPointF(device) / window.devicePixelRatio();
  qt_handleMouseEvent(&window, local, window.mapToGlobal(local), held, changed, type, {},
                      timestamp);
  QCoreApplication::processEvents();
}

Form1Services WindowServices::forWindows(PictureLoader* ownLoader, ImagingLibrary* ownImaging,
                                         SkinFramework* ownSkin) {
  return {errors,
          dialog,
          ownLoader ? *ownLoader : loader,
          ownImaging ? *ownImaging : imaging,
          ownSkin ? *ownSkin : skin,
          messages,
          settings};
}

Form1Fixture::Form1Fixture(const QString& programFolder)
    : app{programFolder.isEmpty() ? folder.path() : folder.path(programFolder), {}},
      form(app, services.forWindows()) {}

QAction* Form1Fixture::command(const char* name) const { return form.findChild<QAction*>(name); }

void Form1Fixture::click(const char* name) {
  QMenuBar* bar = form.menuBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(command(name)).center());
}

PictureBox* Form1Fixture::view() const { return form.findChild<PictureBox*>("Picture1"); }

void Form1Fixture::showForm() {
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
}

void Form1Fixture::resizeClient(int width, int height) {
  form.resize(width, height + form.menuBar()->height());
  QCoreApplication::processEvents();
}

}  // namespace brindlewick::test
