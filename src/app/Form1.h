#pragma once

#include <memory>

#include <QKeySequence>
#include <QMainWindow>
#include <QPointer>

#include "platform/surface/RelayoutWatch.h"
#include "view/Form1Context.h"
#include "view/PictureDocument.h"

class QAction;
class QHelpEvent;

namespace brindlewick {

struct Application;
class ErrorBox;
class FileDialog;
class Form2;
class ImagingLibrary;
class OneShotTimer;
class PictureBox;
class PictureLoader;
class SkinFramework;

// Stand-ins for the modal and outside parts of the main window; the real ones are used where
// left null.
struct Form1Seams {
  ErrorBox* errors = nullptr;
  FileDialog* dialog = nullptr;
  PictureLoader* loader = nullptr;
  SkinFramework* skin = nullptr;
  ImagingLibrary* imaging = nullptr;
};

// The main window. It holds the controls and routes each event to the handler of its subsystem;
// the behaviour itself lives in view/, crop/ and output/.
class Form1 : public QMainWindow, public MainWindowShell {
  Q_OBJECT

 public:
  explicit Form1(Application& app, Form1Seams seams = {});
  ~Form1() override;

  Form1Context& context() { return context_; }
  PictureDocument& document() { return doc_; }
  Application& App() { return app_; }
  QWidget* clientArea() const { return client_; }
  SkinFramework& SkinFramework1() { return SkinFramework1_; }
  // The options dialog while it exists (shown or hidden), else null.
  Form2* optionsDialog() const;

  void setMenuEnabled(MenuCommand command, bool enabled) override;
  bool isMenuEnabled(MenuCommand command) const override;
  bool isMinimized() const override { return QMainWindow::isMinimized(); }
  double ScaleWidth() const override;
  double ScaleHeight() const override;
  MousePointer mousePointer() const override { return mousePointer_; }
  void setMousePointer(MousePointer pointer) override;

 signals:
  // The window was closed: the program ends.
  void unloaded();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  enum class ScaleMode { Twips, Pixels };

  QAction* addMenuCommand(const char* objectName, const QString& caption, bool enabled,
                          const QKeySequence& shortcut = {});
  QAction* action(MenuCommand command) const;
  QWidget* createClientArea();
  void connectHandlers();
  void Form_Load();
  void mnuJPGQuality_Click();
  Form2& createdOptionsDialog();
  void centreOnScreen();
  bool showMenuToolTip(QHelpEvent* event);

  Application& app_;
  PictureDocument doc_;
  std::unique_ptr<ErrorBox> ownErrors_;
  std::unique_ptr<FileDialog> ownDialog_;
  std::unique_ptr<PictureLoader> decoder_;  // behind the caching loader
  std::unique_ptr<PictureLoader> ownLoader_;
  std::unique_ptr<ImagingLibrary> ownImaging_;
  std::unique_ptr<OneShotTimer> Timer1_;
  Form1Context context_;
  std::unique_ptr<SkinFramework> ownSkin_;
  SkinFramework& SkinFramework1_;
  ErrorBox* const givenErrors_;
  QPointer<Form2> form2_;

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
  bool centred_ = false;
};

}  // namespace brindlewick
