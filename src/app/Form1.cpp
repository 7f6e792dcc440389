#include "app/Form1.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QToolTip>
#include <QWindowStateChangeEvent>

#include "settings/AppIcon.h"
#include "app/Appearance.h"
#include "app/ApplicationTitle.h"
#include "crop/SelectionRectangle.h"
#include "crop/UndoCommand.h"
#include "app/Form2.h"
#include "output/SaveCommand.h"
#include "platform/jpeg/CachingPictureLoader.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/jpeg/PreparingPictureLoader.h"
#include "platform/surface/PictureBox.h"
#include "platform/dialogs/QtErrorBox.h"
#include "platform/dialogs/QtFileDialog.h"
#include "platform/dialogs/QtTimer.h"
#include "platform/skin/StyleSheetSkinEngine.h"
#include "platform/errors/Trap.h"
#include "platform/jpeg/TurboJpegImaging.h"
#include "settings/Application.h"
#include "view/DisplayPicture.h"
#include "view/DroppedFiles.h"
#include "view/FitGeometry.h"
#include "view/FormResize.h"
#include "view/OpenCommands.h"

namespace brindlewick {
namespace {

constexpr int kTwipsPerPixel = 15;
// The client area on first show: 10395 x 7500 twips.
constexpr QSize kClientSize(10395 / kTwipsPerPixel, 7500 / kTwipsPerPixel);
// The view's top-left corner: 120 twips from the client area's edges.
constexpr QPoint kViewOrigin(120 / kTwipsPerPixel, 120 / kTwipsPerPixel);

template <class T, class Own>
T& Choose(T* given, std::unique_ptr<T>& owned, Own make) {
  if (given) return *given;
  owned = make();
  return *owned;
}

// The size a picture is painted at in the largest view the screen leaves room for.
PaintSizeFor LargestPaintSize() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return {};
  const QSize view = screen->availableSize() - QSize(int(kViewMargin), int(kViewMargin));
  return [view](QSize natural) {
    return QSizeF(natural) *
           FitScale(natural.width(), natural.height(), view.width(), view.height());
  };
}

}  // namespace

Form1::Form1(Application& app, Form1Seams seams)
    : app_(app),
      doc_(QGuiApplication::palette().color(QPalette::Base).rgb()),
      Timer1_(std::make_unique<QtTimer>()),
      context_{
          doc_,
          *this,
          Choose(seams.errors, ownErrors_, [this] { return std::make_unique<QtErrorBox>(this); }),
          Choose(seams.dialog, ownDialog_, [this] { return std::make_unique<QtFileDialog>(this); }),
          *Timer1_,
          Choose(seams.loader, ownLoader_,
                 [this] {
                   // Re-laying the window out shows the unchanged file without decoding it again,
                   // and growing it finds the pixels for the largest view decoded in advance.
                   decoder_ = std::make_unique<PreparingPictureLoader>(
                       std::make_unique<JpegFileLoader>(), LargestPaintSize());
                   return std::make_unique<CachingPictureLoader>(*decoder_);
                 }),
          app_,
          Choose(seams.imaging, ownImaging_, [] { return std::make_unique<TurboJpegImaging>(); })},
      SkinFramework1_(
          Choose(seams.skin, ownSkin_, [] { return std::make_unique<StyleSheetSkinEngine>(); })),
      givenErrors_(seams.errors),
      mnuSelectPicture(addMenuCommand("mnuSelectPicture", QStringLiteral("Select Picture"), true,
                                      QKeySequence::Open)),
      mnuUndo(addMenuCommand("mnuUndo", QStringLiteral("Go Back/Undo"), false, QKeySequence::Undo)),
      mnuSave(addMenuCommand("mnuSave", QStringLiteral("Save Image"), false, QKeySequence::Save)),
      mnuJPGQuality(addMenuCommand("mnuJPGQuality", QStringLiteral("Output JPG Quality"), true)),
      LoadSample(addMenuCommand("LoadSample", QStringLiteral("Load Sample"), true)),
      client_(createClientArea()),
      Picture1(new PictureBox(doc_.Picture1, doc_.shp1, client_)) {
  setObjectName(QStringLiteral("Form1"));
  Picture1->setObjectName(QStringLiteral("Picture1"));
  Picture1->move(kViewOrigin);
  Picture1->setCursor(Qt::CrossCursor);
  // JPEG files dropped anywhere on the window open as if picked with "Select Picture".
  setAcceptDrops(true);
  menuBar()->installEventFilter(this);
  resize(kClientSize.width(), kClientSize.height() + menuBar()->sizeHint().height());
  connectHandlers();
  Form_Load();
}

// The dialog works on this window's document, so it goes first.
Form1::~Form1() {
  delete form2_.data();
  // The view shows a surface of the document, which goes before the base class deletes its
  // child widgets.
  delete Picture1;
  if (mousePointer_ == MousePointer::Busy) QGuiApplication::restoreOverrideCursor();
}

QAction* Form1::addMenuCommand(const char* objectName, const QString& caption, bool enabled,
                               const QKeySequence& shortcut) {
  QAction* command = menuBar()->addAction(caption);
  command->setObjectName(QLatin1String(objectName));
  command->setEnabled(enabled);
  if (!shortcut.isEmpty()) {
    command->setShortcut(shortcut);
    // The bar shows captions only, so the key is told where the pointer rests on the command.
    const QString hint =
        caption + QStringLiteral(" (") + shortcut.toString(QKeySequence::NativeText) + u')';
    command->setToolTip(hint);
    command->setStatusTip(hint);
  }
  return command;
}

QWidget* Form1::createClientArea() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setAutoFillBackground(true);
  QPalette palette = client->palette();
  palette.setColor(QPalette::Window, Qt::white);
  client->setPalette(palette);
  client->installEventFilter(this);
  client->setMouseTracking(true);  // moves over the bare client area reset the pointer
  setCentralWidget(client);
  return client;
}

void Form1::connectHandlers() {
  connect(mnuSelectPicture, &QAction::triggered, this,
          [this] { mnuSelectPicture_Click(context_); });
  connect(mnuSave, &QAction::triggered, this, [this] { mnuSave_Click(context_); });
  connect(LoadSample, &QAction::triggered, this, [this] { LoadSample_Click(context_); });
  // Undo, the timer's tick and the pointer reset report nothing of their own; a failure there
  // still must not reach the toolkit.
  connect(mnuUndo, &QAction::triggered, this,
          [this] { RunUntrapped(context_.errors, [this] { mnuUndo_Click(context_); }); });
  // The box repaints itself after each event, so the band follows the handlers' changes.
  connect(Picture1, &PictureBox::mouseDown, this, [this](int button, int shift, float x, float y) {
    Picture1_MouseDown(context_, button, shift, x, y);
  });
  connect(Picture1, &PictureBox::mouseMove, this, [this](int button, int shift, float x, float y) {
    Picture1_MouseMove(context_, button, shift, x, y);
  });
  connect(Picture1, &PictureBox::mouseUp, this, [this](int button, int shift, float x, float y) {
    Picture1_MouseUp(context_, button, shift, x, y);
  });
  connect(mnuJPGQuality, &QAction::triggered, this, [this] { mnuJPGQuality_Click(); });
  Timer1_->onTick([this] { RunUntrapped(context_.errors, [this] { Timer1_Timer(context_); }); });
}

void Form1::Form_Load() {
  Trap trap(context_.errors, QStringLiteral("Form1"), QStringLiteral("Form_Load"));
  trap(102, [&] { ApplySkin(*this); });
  trap(104, [&] { setWindowTitle(QLatin1String(kProductName)); });
  trap(104, [&] { setWindowIcon(ApplicationIcon()); });
  trap(104, [&] { app_.Title = ApplicationTitleFor(QLatin1String(kProductName)); });
  trap(128, [&] { scaleMode_ = ScaleMode::Pixels; });
}

void Form1::mnuJPGQuality_Click() {
  Trap trap(context_.errors, QStringLiteral("Form1"), QStringLiteral("mnuJPGQuality_Click"));
  trap(100, [&] { createdOptionsDialog().Show(); });
  // Hidden only once the dialog shows: a window that failed to open must not leave the program
  // running with nothing on screen.
  trap(102, [&] {
    if (form2_ && form2_->isVisible()) hide();
  });
}

Form2* Form1::optionsDialog() const { return form2_; }

// The dialog is made on first use and kept while hidden; closing it discards it.
Form2& Form1::createdOptionsDialog() {
  if (form2_) return *form2_;
  auto* dialog = new Form2(*this, doc_, app_, {givenErrors_, nullptr, nullptr});
  form2_ = dialog;
  connect(dialog, &Form2::unloaded, this, [this, dialog] {
    if (form2_ == dialog) form2_.clear();
    dialog->deleteLater();
  });
  return *dialog;
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

bool Form1::isMenuEnabled(MenuCommand command) const { return action(command)->isEnabled(); }

double Form1::ScaleWidth() const {
  return client_->width() * (scaleMode_ == ScaleMode::Twips ? kTwipsPerPixel : 1);
}

double Form1::ScaleHeight() const {
  return client_->height() * (scaleMode_ == ScaleMode::Twips ? kTwipsPerPixel : 1);
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

void Form1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!centred_) {
    centred_ = true;
    centreOnScreen();
  }
}

void Form1::centreOnScreen() {
  const QScreen* screen = this->screen();
  if (!screen) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

void Form1::closeEvent(QCloseEvent* event) {
  event->accept();
  // The program ends with this window; the dialog goes too, without running its handlers.
  delete form2_.data();
  emit unloaded();
}

void Form1::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // Coming back from minimised lays out again, though the size did not change.
  if (event->type() == QEvent::WindowStateChange) {
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if ((change->oldState() & Qt::WindowMinimized) && !isMinimized()) Form_Resize(context_);
  }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == menuBar() && event->type() == QEvent::ToolTip) {
    return showMenuToolTip(static_cast<QHelpEvent*>(event));
  }
  if (watched == client_ && event->type() == QEvent::Resize) Form_Resize(context_);
  if (watched == client_ && event->type() == QEvent::MouseMove) {
    const auto* move = static_cast<QMouseEvent*>(event);
    RunUntrapped(context_.errors, [&] {
      Form_MouseMove(context_, PictureBox::ButtonMask(move->buttons()),
                     PictureBox::ShiftMask(move->modifiers()), float(move->position().x()),
                     float(move->position().y()));
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
      this, [this, paths] { OpenPictures(context_, paths); }, Qt::QueuedConnection);
}

}  // namespace brindlewick
