#pragma once

#include <memory>

#include <QMainWindow>

#include "crop/Selection.h"
#include "output/SaveCommand.h"
#include "platform/dialogs/Twips.h"
#include "platform/surface/RelayoutWatch.h"
#include "view/MainWindowShell.h"
#include "view/OpenCommands.h"
#include "view/PictureDocument.h"

class QAction;
class QHelpEvent;
class QKeyEvent;

namespace brindlewick {

struct Application;
class ErrorBox;
class FileDialog;
struct CommandKey;
struct SelectionKeyPress;
class Form2;
class ImagingLibrary;
class MessageBox;
class OneShotTimer;
class PictureBox;
class PictureLoader;
class SettingsStore;
class SkinFramework;

// What main() builds for the windows and tests build with fakes: the modal boxes, the file
// dialog, the picture loader, the imaging library, the skin engine and the settings store. They
// outlive the windows.
struct Form1Services {
  ErrorBox& errors;
  FileDialog& dialog;
  PictureLoader& loader;
  ImagingLibrary& imaging;
  SkinFramework& skin;
  MessageBox& messages;
  SettingsStore& settings;
};

// The main window. It holds the controls and routes each event to the handler of its subsystem;
// the behaviour itself lives in view/, crop/ and output/.
class Form1 : public QMainWindow, public MainWindowShell {
  Q_OBJECT

 public:
  // The client area on first show: 10395 x 7500 twips.
  static constexpr QSize kClientSize = SizeFromTwips(10395, 7500);

  Form1(Application& app, Form1Services services);
  ~Form1() override;

  PictureDocument& document() { return doc_; }
  Application& App() { return app_; }
  QWidget* clientArea() const { return client_; }
  SkinFramework& SkinFramework1() { return services_.skin; }

  // What the handlers of each subsystem work on.
  DisplayContext display();
  OpenContext opening();
  SaveContext saving();

  void setMenuEnabled(MenuCommand command, bool enabled) override;
  bool isMinimized() const override { return QMainWindow::isMinimized(); }
  double ScaleWidth() const override;
  double ScaleHeight() const override;
  double pixelRatio() const override { return devicePixelRatioF(); }
  MousePointer mousePointer() const override { return mousePointer_; }
  void setMousePointer(MousePointer pointer) override;
  void Show() override { show(); }

  // For tests only: the selection, and the options dialog while it exists (shown or hidden), else
  // null.
  Selection& selectionForTest() { return selection_; }
  Form2* optionsDialogForTest() const { return form2_.get(); }

 signals:
  // The window was closed: the program ends.
  void unloaded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  enum class ScaleMode { Twips, Pixels };

  // Lays the view out again for the client area's size.
  void layOut();
  bool runSelectionKey(const SelectionKeyPress& press);
  // Shows the band's size beside it and tells screen readers the selection.
  void showSelection();
  QAction* addMenuCommand(const char* objectName, const CommandKey& command, bool enabled,
                          const QString& description);
  void nameForScreenReaders();
  QAction* action(MenuCommand command) const;
  QWidget* createClientArea();
  void connectHandlers();
  void Form_Load();
  void mnuJPGQuality_Click();
  Form2& createdOptionsDialog();
  void discardOptionsDialog(Form2* dialog);
  bool showMenuToolTip(QHelpEvent* event);

  Application& app_;
  const Form1Services services_;
  PictureDocument doc_;
  const std::unique_ptr<OneShotTimer> Timer1_;
  Selection selection_;
  std::unique_ptr<Form2> form2_;
  std::unique_ptr<Form2> closedForm2_;

  QAction* const mnuSelectPicture;
  QAction* const mnuUndo;
  QAction* const mnuSave;
  QAction* const mnuJPGQuality;
  QAction* const LoadSample;
  QWidget* const client_;
  PictureBox* const Picture1;
  RelayoutWatch relayout_{*this};

  ScaleMode scaleMode_ = ScaleMode::Twips;
  MousePointer mousePointer_ = MousePointer::Default;
};

}  // namespace brindlewick
