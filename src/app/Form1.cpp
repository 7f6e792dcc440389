#include "app/Form1.h"

#include <optional>

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QToolTip>
#include <QWindowStateChangeEvent>

#include "app/AccessibleCommands.h"
#include "app/Appearance.h"
#include "app/ApplicationTitle.h"
#include "app/CommandKeys.h"
#include "app/Form2.h"
#include "app/MenuBarKeys.h"
#include "app/SelectionKeys.h"
#include "crop/UndoCommand.h"
#include "output/SaveCommand.h"
#include "platform/dialogs/QtTimer.h"
#include "platform/dialogs/Twips.h"
#include "platform/dialogs/WindowPlacement.h"
#include "platform/errors/Trap.h"
#include "platform/skin/MenuBarStyle.h"
#include "platform/surface/DevicePixels.h"
#include "platform/surface/PictureBox.h"
#include "settings/AppIcon.h"
#include "settings/Application.h"
#include "view/DisplayPicture.h"
#include "view/DroppedFiles.h"
#include "view/FormResize.h"
#include "view/OpenCommands.h"

namespace brindlewick {
namespace {

// The view's top-left corner: 120 twips from the client area's edges.
constexpr QPoint kViewOrigin(PixelsFromTwips(120), PixelsFromTwips(120));

// What a screen reader says of the view while nothing is selected.
constexpr char kViewDescription[] =
    "The picture; drag a rectangle over it with the left mouse button, or press Ctrl+A and move "
    "it with the arrow keys (with Shift, its right and bottom edges), to keep only that part; "
    "Return keeps it. Escape calls off the rectangle or the drag.";

}  // namespace

Form1::Form1(Application& app, Form1Services services)
    : app_(app),
      services_(services),
      doc_(QGuiApplication::palette().color(QPalette::Base).rgb()),
      Timer1_(std::make_unique<QtTimer>()),
      selection_(doc_, *this, services.errors),
      mnuSelectPicture(addMenuCommand("mnuSelectPicture", kSelectPictureKey, true,
                                      QStringLiteral("Opens one or more JPEG pictures."))),
      mnuUndo(addMenuCommand("mnuUndo", kUndoKey, false,
                             QStringLiteral("Shows the whole picture again."))),
      mnuSave(addMenuCommand("mnuSave", kSaveKey, false,
                             QStringLiteral("Saves what the window shows as a new JPEG file."))),
      mnuJPGQuality(
          addMenuCommand("mnuJPGQuality", kJPGQualityKey, true,
                         QStringLiteral("Chooses the quality that pictures are saved at."))),
      LoadSample(addMenuCommand("LoadSample", kLoadSampleKey, true,
                                QStringLiteral("Opens the sample picture."))),
      client_(createClientArea()),
      Picture1(new PictureBox(doc_.Picture1, selection_.shp1(), client_)) {
  setObjectName(QStringLiteral("Form1"));
  new MenuBarKeys(*menuBar(), *this);  // the bar owns it
  nameForScreenReaders();
  Picture1->setObjectName(QStringLiteral("Picture1"));
  Picture1->move(kViewOrigin);
  Picture1->setCursor(Qt::CrossCursor);
  // The view has the keyboard, so a screen reader follows the selection there.
  Picture1->setFocusPolicy(Qt::StrongFocus);
  Picture1->setFocus();
  // JPEG files dropped anywhere on the window open as if picked with "Select Picture".
  setAcceptDrops(true);
  // Only now: the filter reads members that the initialisers above were still making.
  client_->installEventFilter(this);
  menuBar()->installEventFilter(this);
  auto* barStyle = new MenuBarStyle;
  barStyle->setParent(menuBar());
  menuBar()->setStyle(barStyle);
  resize(kClientSize.width(), kClientSize.height() + menuBar()->sizeHint().height());
  CentreOnFirstShow(*this);
  connectHandlers();
  Form_Load();
}

Form1::~Form1() {
  if (mousePointer_ == MousePointer::Busy) QGuiApplication::restoreOverrideCursor();
}

DisplayContext Form1::display() { return {doc_, *this, services_.errors, services_.loader}; }

OpenContext Form1::opening() { return {display(), selection_, services_.dialog, *Timer1_, app_}; }

SaveContext Form1::saving() {
  return {doc_, *this, services_.errors, services_.dialog, services_.imaging};
}

QAction* Form1::addMenuCommand(const char* objectName, const CommandKey& command, bool enabled,
                               const QString& description) {
  const QString caption = QLatin1String(command.caption);
  QAction* action = menuBar()->addAction(caption);
  action->setObjectName(QLatin1String(objectName));
  action->setEnabled(enabled);
  const QKeySequence shortcut(QLatin1String(command.key));
  action->setShortcut(shortcut);
  // The bar shows captions only, so the key is told where the pointer rests on the command.
  const QString hint =
      caption + QStringLiteral(" (") + shortcut.toString(QKeySequence::NativeText) + u')';
  action->setToolTip(hint);
  action->setStatusTip(hint);
  // What a screen reader says of the command (AccessibleCommands).
  action->setWhatsThis(description);
  return action;
}

void Form1::nameForScreenReaders() {
  InstallAccessibleCommands();
  setAccessibleDescription(QStringLiteral("Cuts a rectangle out of a JPEG picture."));
  menuBar()->setAccessibleName(QStringLiteral("Commands"));
  menuBar()->setAccessibleDescription(
      QStringLiteral("F10 reaches the commands from the keyboard; Left and Right choose one, "
                     "Return runs it."));
  Picture1->setAccessibleName(QStringLiteral("Picture"));
  Picture1->setAccessibleDescription(QLatin1String(kViewDescription));
}

QWidget* Form1::createClientArea() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setAutoFillBackground(true);
  QPalette palette = client->palette();
  palette.setColor(QPalette::Window, Qt::white);
  client->setPalette(palette);
  client->setMouseTracking(true);  // moves over the bare client area reset the pointer
  setCentralWidget(client);
  return client;
}

void Form1::connectHandlers() {
  connect(mnuSelectPicture, &QAction::triggered, this, [this] {
    OpenContext form = opening();
    mnuSelectPicture_Click(form);
  });
  connect(mnuSave, &QAction::triggered, this, [this] {
    SaveContext form = saving();
    mnuSave_Click(form);
  });
  connect(LoadSample, &QAction::triggered, this, [this] {
    OpenContext form = opening();
    LoadSample_Click(form);
  });
  // Undo, the timer's tick and the pointer reset report nothing of their own; a failure there
  // still must not reach the toolkit.
  connect(mnuUndo, &QAction::triggered, this, [this] {
    RunUntrapped(services_.errors, [this] {
      DisplayContext form = display();
      mnuUndo_Click(form, selection_);
    });
  });
  // The box repaints itself after each event, so the band follows the handlers' changes.
  connect(Picture1, &PictureBox::mouseDown, this, [this](int button, int shift, float x, float y) {
    selection_.Picture1_MouseDown(button, shift, x, y);
    showSelection();
  });
  connect(Picture1, &PictureBox::mouseMove, this, [this](int button, int shift, float x, float y) {
    selection_.Picture1_MouseMove(button, shift, x, y);
    showSelection();
  });
  connect(Picture1, &PictureBox::mouseUp, this, [this](int button, int shift, float x, float y) {
    selection_.Picture1_MouseUp(button, shift, x, y);
    showSelection();
  });
  connect(mnuJPGQuality, &QAction::triggered, this, [this] { mnuJPGQuality_Click(); });
  Timer1_->onTick(
      [this] { RunUntrapped(services_.errors, [this] { Timer1_Timer(*Timer1_, selection_); }); });
}

void Form1::Form_Load() {
  Trap trap(services_.errors, QStringLiteral("Form1"), QStringLiteral("Form_Load"));
  trap(102, [&] { ApplySkin(*this); });
  trap(104, [&] { setWindowTitle(QLatin1String(kProductName)); });
  trap(104, [&] { setWindowIcon(ApplicationIcon()); });
  trap(104, [&] { app_.Title = ApplicationTitleFor(QLatin1String(kProductName)); });
  trap(128, [&] { scaleMode_ = ScaleMode::Pixels; });
}

void Form1::mnuJPGQuality_Click() {
  Trap trap(services_.errors, QStringLiteral("Form1"), QStringLiteral("mnuJPGQuality_Click"));
  trap(100, [&] { createdOptionsDialog().Show(); });
  // Hidden only once the dialog shows: a window that failed to open must not leave the program
  // running with nothing on screen.
  trap(102, [&] {
    if (form2_ && form2_->isVisible()) hide();
  });
}

// The dialog is made on first use and kept while hidden; closing it discards it.
Form2& Form1::createdOptionsDialog() {
  if (form2_) return *form2_;
  form2_ = std::make_unique<Form2>(
      *this, doc_, app_, Form2Services{services_.errors, services_.messages, services_.settings});
  Form2* dialog = form2_.get();
  connect(dialog, &Form2::unloaded, this, [this, dialog] { discardOptionsDialog(dialog); });
  return *dialog;
}

// Gone from the window at once; deleted once its close has run to its end, never from inside it.
void Form1::discardOptionsDialog(Form2* dialog) {
  if (form2_.get() != dialog) return;
  closedForm2_ = std::move(form2_);
  QMetaObject::invokeMethod(
      this, [this] { closedForm2_.reset(); }, Qt::QueuedConnection);
}

QAction* Form1::action(MenuCommand command) const {
  switch (command) {
    case MenuCommand::SelectPicture:
      return mnuSelectPicture;
    case MenuCommand::Undo:
      return mnuUndo;
    case MenuCommand::Save:
      return mnuSave;
    case MenuCommand::JPGQuality:
      return mnuJPGQuality;
    case MenuCommand::LoadSample:
      return LoadSample;
  }
  return nullptr;
}

void Form1::setMenuEnabled(MenuCommand command, bool enabled) {
  action(command)->setEnabled(enabled);
}

// Twips are 1440 to the logical inch; pixels are the screen's device pixels.
double Form1::ScaleWidth() const {
  if (scaleMode_ == ScaleMode::Twips) return client_->width() * kTwipsPerPixel;
  return DevicePixels(client_->width(), devicePixelRatioF());
}

double Form1::ScaleHeight() const {
  if (scaleMode_ == ScaleMode::Twips) return client_->height() * kTwipsPerPixel;
  return DevicePixels(client_->height(), devicePixelRatioF());
}

void Form1::setMousePointer(MousePointer pointer) {
  // The busy pointer overrides every pointer of the program, the view's crosshair too, until the
  // window's pointer is set to something else.
  const bool wasBusy = mousePointer_ == MousePointer::Busy;
  const bool busy = pointer == MousePointer::Busy;
  if (busy && !wasBusy) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  if (!busy && wasBusy) QGuiApplication::restoreOverrideCursor();
  mousePointer_ = pointer;
  switch (pointer) {
    case MousePointer::Default:
      client_->unsetCursor();
      break;
    case MousePointer::Crosshair:
      client_->setCursor(Qt::CrossCursor);
      break;
    case MousePointer::Busy:
      client_->setCursor(Qt::WaitCursor);
      break;
    case MousePointer::Custom:
      // The main window has no cursor image of its own.
      client_->setCursor(Qt::PointingHandCursor);
      break;
  }
}

void Form1::closeEvent(QCloseEvent* event) {
  event->accept();
  // The program ends with this window; the dialog goes too, without running its handlers.
  form2_.reset();
  emit unloaded();
}

void Form1::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // Coming back from minimised lays out again, though the size did not change.
  if (event->type() == QEvent::WindowStateChange) {
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if ((change->oldState() & Qt::WindowMinimized) && !isMinimized()) layOut();
  }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == menuBar() && event->type() == QEvent::ToolTip) {
    return showMenuToolTip(static_cast<QHelpEvent*>(event));
  }
  // A resize, or a move to a screen of another ratio that changes the client's device size, is
  // laid out as a resize.
  if (watched == client_ && relayout_.needsLayout(*event)) layOut();
  if (watched == client_ && event->type() == QEvent::MouseMove) {
    const auto* move = static_cast<QMouseEvent*>(event);
    const QPointF at = move->position() * devicePixelRatioF();
    RunUntrapped(services_.errors, [&] {
      Form_MouseMove(*this, PictureBox::ButtonMask(move->buttons()),
                     PictureBox::ShiftMask(move->modifiers()), float(at.x()), float(at.y()));
    });
  }
  return QMainWindow::eventFilter(watched, event);
}

bool Form1::showMenuToolTip(QHelpEvent* event) {
  const QAction* command = menuBar()->actionAt(event->pos());
  if (command && !command->shortcut().isEmpty()) {
    QToolTip::showText(event->globalPos(), command->toolTip(), menuBar());
  } else {
    QToolTip::hideText();
  }
  return true;
}

void Form1::layOut() {
  DisplayContext form = display();
  Form_Resize(form);
  // The picture is fitted anew: a band the keys chose on the old fit would cover another part.
  if (selection_.CancelKeyboardSelection()) showSelection();
}

// The selection's keys, as the table of keys has them; the view shows each step at once.
void Form1::keyPressEvent(QKeyEvent* event) {
  const std::optional<SelectionKeyPress> press = SelectionKeyFor(event->key(), event->modifiers());
  bool handled = false;
  if (press) RunUntrapped(services_.errors, [&] { handled = runSelectionKey(*press); });
  if (!handled) {
    QMainWindow::keyPressEvent(event);
    return;
  }
  showSelection();
}

bool Form1::runSelectionKey(const SelectionKeyPress& press) {
  switch (press.step) {
    case SelectionStep::SelectAll:
      selection_.SelectWholeView();
      return true;
    case SelectionStep::Move:
      selection_.MoveSelection(press.dx, press.dy);
      return true;
    case SelectionStep::Resize:
      selection_.ResizeSelection(press.dx, press.dy);
      return true;
    case SelectionStep::Crop:
      selection_.CropToKeyboardSelection();
      return true;
    case SelectionStep::CallOff:
      return selection_.CancelDrag() || selection_.CancelKeyboardSelection();
  }
  return false;
}

void Form1::showSelection() {
  const Shape& band = selection_.shp1();
  Picture1->setCaption(band.visible ? SelectionSize(band) : QString());
  const QString description =
      band.visible ? SelectionDescription(band) : QLatin1String(kViewDescription);
  // Only on a change: each one is announced.
  if (Picture1->accessibleDescription() != description) {
    Picture1->setAccessibleDescription(description);
  }
  Picture1->update();
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedPictures(event->mimeData()->urls()).isEmpty()) event->acceptProposedAction();
}

void Form1::dragMoveEvent(QDragMoveEvent* event) {
  if (!DroppedPictures(event->mimeData()->urls()).isEmpty()) event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
  const QStringList paths = DroppedPictures(event->mimeData()->urls());
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  // Opened once the drop is over, so the program the files came from is not kept waiting on the
  // decode or on an error box.
  QMetaObject::invokeMethod(
      this,
      [this, paths] {
        OpenContext form = opening();
        OpenGivenPictures(form, paths);
      },
      Qt::QueuedConnection);
}

}  // namespace brindlewick
