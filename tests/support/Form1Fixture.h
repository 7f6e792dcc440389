#pragma once

#include <gtest/gtest.h>

#include <QEvent>
#include <QPoint>
#include <QString>

#include "app/Form1.h"
#include "platform/imaging/TurboJpegImaging.h"
#include "platform/loading/DecodeJobs.h"
#include "platform/skin/StyleSheetSkinEngine.h"
#include "settings/Application.h"
#include "settings/SettingsStore.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"

class QAction;
class QWindow;

namespace brindlewick {

class PictureBox;

namespace test {

// What main() builds for the windows, with recording stand-ins for the boxes and the file dialog
// and the real loader, imaging library, skin engine and settings store (in the test's config
// folder).
struct WindowServices {
  // The services as main() hands them over; a test may put in a loader, imaging library or skin
  // engine of its own.
  Form1Services forWindows(PictureLoader* ownLoader = nullptr, ImagingLibrary* ownImaging = nullptr,
                           SkinFramework* ownSkin = nullptr);

  RecordingErrorBox errors;
  ScriptedFileDialog dialog;
  DecodeJobs loader{std::make_shared<JpegCodec>()};
  TurboJpegImaging imaging;
  StyleSheetSkinEngine skin;
  RecordingMessageBox messages;
  SettingsStore settings;
};

// A mouse event as a display server sends it: at a whole device pixel of the window, which Qt
// turns into a logical position with a fraction at a fractional ratio. `held` is every button
// down after the event, `changed` the one a press or release is about.
void SendDeviceMouse(QWindow& window, QEvent::Type type, QPoint device, Qt::MouseButtons held,
                     Qt::MouseButton changed = Qt::NoButton);

// The main window of a program whose folder is a temporary folder of the test's own.
class Form1Fixture : public ::testing::Test {
 protected:
  explicit Form1Fixture(const QString& programFolder = {});

  QAction* command(const char* name) const;
  // Clicks the command where it stands on the menu bar, as a user would.
  void click(const char* name);
  PictureBox* view() const;
  PictureDocument& doc() { return form.document(); }
  void showForm();
  void resizeClient(int width, int height);

  TempFolder folder;
  Application app;
  WindowServices services;
  RecordingErrorBox& errors = services.errors;
  ScriptedFileDialog& dialog = services.dialog;
  Form1 form;
};

}  // namespace test
}  // namespace brindlewick
