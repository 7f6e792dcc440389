#include "app/Form1.h"

#include <QAction>
#include <QCloseEvent>
#include <QEvent>
#include <QMenuBar>
#include <QScreen>
#include <QWindowStateChangeEvent>

#include "app/AppIcon.h"
#include "app/Appearance.h"
#include "app/ApplicationTitle.h"
#include "output/SaveCommand.h"
#include "platform/JpegDecoder.h"
#include "platform/PictureBox.h"
#include "platform/QtErrorBox.h"
#include "platform/QtFileDialog.h"
#include "platform/QtTimer.h"
#include "platform/Trap.h"
#include "platform/TurboJpegImaging.h"
#include "settings/Application.h"
#include "view/DisplayPicture.h"
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

}  // namespace

Form1::Form1(Application& app, Form1Seams seams)
    : app_(app),
      Timer1_(std::make_unique<QtTimer>()),
      context_{
          doc_,
          *this,
          Choose(seams.errors, ownErrors_, [this] { return std::make_unique<QtErrorBox>(this); }),
          Choose(seams.dialog, ownDialog_, [this] { return std::make_unique<QtFileDialog>(this); }),
          *Timer1_,
          Choose(seams.loader, ownLoader_, [] { return std::make_unique<JpegFileLoader>(); }),
          app_,
          Choose(seams.imaging, ownImaging_, [] { return std::make_unique<TurboJpegImaging>(); })},
      mnuSelectPicture(addMenuCommand("mnuSelectPicture", QStringLiteral("Select Picture"), true)),
      mnuUndo(addMenuCommand("mnuUndo", QStringLiteral("Go Back/Undo"), false)),
      mnuSave(addMenuCommand("mnuSave", QStringLiteral("Save Image"), false)),
      mnuJPGQuality(addMenuCommand("mnuJPGQuality", QStringLiteral("Output JPG Quality"), true)),
      LoadSample(addMenuCommand("LoadSample", QStringLiteral("Load Sample"), true)),
      client_(createClientArea()),
      Picture1(new PictureBox(doc_.Picture1, doc_.shp1, client_)) {
  setObjectName(QStringLiteral("Form1"));
  Picture1->setObjectName(QStringLiteral("Picture1"));
  Picture1->move(kViewOrigin);
  resize(kClientSize.width(), kClientSize.height() + menuBar()->sizeHint().height());
  connectHandlers();
  Form_Load();
}

Form1::~Form1() = default;

QAction* Form1::addMenuCommand(const char* objectName, const QString& caption, bool enabled) {
  QAction* command = menuBar()->addAction(caption);
  command->setObjectName(QLatin1String(objectName));
  command->setEnabled(enabled);
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
  setCentralWidget(client);
  return client;
}

void Form1::connectHandlers() {
  connect(mnuSelectPicture, &QAction::triggered, this,
          [this] { mnuSelectPicture_Click(context_); });
  connect(mnuSave, &QAction::triggered, this, [this] { mnuSave_Click(context_); });
  connect(LoadSample, &QAction::triggered, this, [this] { LoadSample_Click(context_); });
  Timer1_->onTick([this] { Timer1_Timer(context_); });
}

void Form1::Form_Load() {
  Trap trap(context_.errors, QStringLiteral("Form1"), QStringLiteral("Form_Load"));
  trap(102, [&] { ApplySkin(*this); });
  trap(104, [&] { setWindowTitle(QLatin1String(kProductName)); });
  trap(104, [&] { setWindowIcon(ApplicationIcon()); });
  trap(104, [&] { app_.Title = ApplicationTitleFor(QLatin1String(kProductName)); });
  trap(128, [&] { scaleMode_ = ScaleMode::Pixels; });
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
  if (watched == client_ && event->type() == QEvent::Resize) Form_Resize(context_);
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace brindlewick
