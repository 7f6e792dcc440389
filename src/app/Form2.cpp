#include "app/Form2.h"

#include <algorithm>
#include <iterator>

#include <QCloseEvent>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "platform/dialogs/Twips.h"
#include "platform/dialogs/WindowPlacement.h"
#include "platform/errors/Trap.h"
#include "platform/skin/CursorFile.h"
#include "platform/skin/SystemColors.h"
#include "view/MainWindowShell.h"

namespace brindlewick {
namespace {

// The client area: 8040 x 2760 twips.
constexpr QSize kClientSize = SizeFromTwips(8040, 2760);

constexpr QRect FromTwips(int left, int top, int width, int height) {
  return RectFromTwips(left, top, width, height);
}

QFont ArialBold(double points) {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setBold(true);
  return font;
}

template <class T>
T* Place(T* control, const char* name, const QRect& geometry, const QFont& font) {
  control->setObjectName(QLatin1String(name));
  control->setGeometry(geometry);
  control->setFont(font);
  return control;
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  return Place(new QGroupBox(caption, parent), name, geometry, ArialBold(9));
}

QRadioButton* MakeOption(QWidget* parent, const char* name, const QString& caption,
                         QRect geometry) {
  auto* option = Place(new QRadioButton(caption, parent), name, geometry, ArialBold(9));
  // The design size is for the designer's fonts; with the fonts at hand, at any ratio, a caption
  // still shows whole ("Fixed Quality:" lost its colon).
  option->resize(std::max(option->width(), option->sizeHint().width()), option->height());
  return option;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* button = Place(new QPushButton(caption, parent), name, geometry, ArialBold(11.25));
  button->setAutoDefault(false);
  return button;
}

QSlider* MakeSlider(QWidget* parent) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setObjectName(QStringLiteral("Slider1"));
  slider->setGeometry(FromTwips(120, 240, 6600, 540));
  slider->setRange(1, 100);
  slider->setSingleStep(1);
  slider->setPageStep(5);
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setTickInterval(1);
  slider->setValue(85);
  // A drag stores its value once, when it ends; the caption follows the drag meanwhile.
  slider->setTracking(false);
  return slider;
}

// Clearing one option of the group must not select the other, and an exclusive group refuses
// to clear its only selected button, so exclusivity is lifted for the moment.
void SetSelected(QRadioButton* option, bool selected) {
  if (selected) {
    option->setChecked(true);
    return;
  }
  option->setAutoExclusive(false);
  option->setChecked(false);
  option->setAutoExclusive(true);
}

bool IsBusy(const QWidget& widget) {
  if (!widget.testAttribute(Qt::WA_SetCursor)) return false;
  const Qt::CursorShape shape = widget.cursor().shape();
  return shape == Qt::WaitCursor || shape == Qt::BusyCursor;
}

}  // namespace

Form2::Form2(MainWindowShell& form1, PictureDocument& doc, const Application& app,
             Form2Services services)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      form1_(form1),
      context_{*this, doc, services.errors, services.messages, services.settings, app},
      Frame2(MakeFrame(this, "Frame2", QStringLiteral("Output JPG Quality Option"),
                       FromTwips(120, 120, 7800, 2055))),
      Option21_(MakeOption(Frame2, "Option21", QStringLiteral("Smart-Detect"),
                           FromTwips(240, 300, 1515, 255))),
      Option22_(MakeOption(Frame2, "Option22", QStringLiteral("Fixed Quality:"),
                           FromTwips(240, 650, 1455, 255))),
      PushButton8(
          MakeButton(Frame2, "PushButton8", QStringLiteral("?"), FromTwips(6720, 270, 600, 405))),
      Frame4(MakeFrame(Frame2, "Frame4", QStringLiteral("0%"), FromTwips(480, 960, 6840, 885))),
      Slider1_(MakeSlider(Frame4)),
      PushButton2(MakeButton(this, "PushButton2", QStringLiteral("< Back"),
                             FromTwips(120, 2290, 7800, 405))) {
  setObjectName(QStringLiteral("Form2"));
  setFixedSize(kClientSize);
  // Only the main window ends the program.
  setAttribute(Qt::WA_QuitOnClose, false);
  Option21_->setChecked(true);
  CentreOnFirstShow(*this);
  watchPointer();
  nameForScreenReaders();
  brindlewick::Form_Load(context_);
  // Connected after the load, so restoring the stored choices does not store them again.
  connectHandlers();
}

Form2::~Form2() = default;

void Form2::connectHandlers() {
  // These report nothing of their own; a failure still must not reach the toolkit.
  auto untrapped = [this](void (*handler)(Form2Context&)) {
    return [this, handler] { RunUntrapped(context_.errors, [&] { handler(context_); }); };
  };
  connect(Option21_, &QRadioButton::clicked, this, untrapped(Option21_Click));
  connect(Option22_, &QRadioButton::clicked, this, untrapped(Option22_Click));
  connect(Slider1_, &QSlider::valueChanged, this, untrapped(Slider1_Change));
  connect(Slider1_, &QSlider::sliderMoved, this,
          [this](int position) { Frame4->setTitle(QString::number(position) + QLatin1Char('%')); });
  connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(context_); });
  connect(PushButton8, &QPushButton::clicked, this, [this] { PushButton8_Click(context_); });
}

// What a screen reader says of the dialog and its controls; the captions stay as they show.
void Form2::nameForScreenReaders() {
  setAccessibleName(QStringLiteral("Output JPG Quality"));
  setAccessibleDescription(QStringLiteral("Chooses the quality that pictures are saved at."));
  Frame2->setAccessibleDescription(
      QStringLiteral("Where the quality of the saved pictures comes from."));
  Option21_->setAccessibleDescription(
      QStringLiteral("Saves each picture at about the quality of the file it came from."));
  Option22_->setAccessibleName(QStringLiteral("Fixed Quality"));
  Option22_->setAccessibleDescription(
      QStringLiteral("Saves every picture at the quality set on the slider."));
  PushButton8->setAccessibleName(QStringLiteral("Help"));
  PushButton8->setAccessibleDescription(QStringLiteral("Explains the two options."));
  Frame4->setAccessibleName(QStringLiteral("Fixed quality"));
  Frame4->setAccessibleDescription(QStringLiteral("The fixed quality, as a percentage."));
  // The slider's value is the quality itself, and a reader says it after the name.
  Slider1_->setAccessibleName(QStringLiteral("Quality"));
  Slider1_->setAccessibleDescription(QStringLiteral(
      "The quality of the saved pictures, from 1 (smallest files) to 100 (best pictures)."));
  PushButton2->setAccessibleName(QStringLiteral("Back"));
  PushButton2->setAccessibleDescription(
      QStringLiteral("Returns to the picture with the chosen quality."));
}

void Form2::Show() {
  show();
  raise();
  activateWindow();
}

void Form2::setCaption(const QString& caption) { setWindowTitle(caption); }
void Form2::setIcon(const QIcon& icon) { setWindowIcon(icon); }
void Form2::ApplySystemColors() { brindlewick::ApplySystemColors(*this); }

void Form2::setMouseIcon(const CursorImage& cursor) {
  mouseIcon_ = cursor;
  // The pointer keeps its physical size: drawn for the screen's ratio, its pixels and hot spot
  // go to the screen as they are.
  const CursorImage drawn = CursorForRatio(cursor, devicePixelRatioF());
  handCursor_ = QCursor(QPixmap::fromImage(drawn.image), drawn.hotSpot.x(), drawn.hotSpot.y());
}

bool Form2::Option21() const { return Option21_->isChecked(); }
void Form2::setOption21(bool selected) { SetSelected(Option21_, selected); }
bool Form2::Option22() const { return Option22_->isChecked(); }
void Form2::setOption22(bool selected) { SetSelected(Option22_, selected); }
QString Form2::Option21Caption() const { return Option21_->text(); }
QString Form2::Option22Caption() const { return Option22_->text(); }
int Form2::Slider1() const { return Slider1_->value(); }
void Form2::setSlider1(int value) { Slider1_->setValue(value); }
void Form2::setFrame4Caption(const QString& caption) { Frame4->setTitle(caption); }
void Form2::setFrame4Enabled(bool enabled) { Frame4->setEnabled(enabled); }
void Form2::showForm1() { form1_.Show(); }
void Form2::Hide() { hide(); }

void Form2::closeEvent(QCloseEvent* event) {
  Form_QueryUnload(context_);
  event->accept();
  emit unloaded();
}

// Escape leaves the dialog as "< Back" does.
void Form2::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) {
    QWidget::keyPressEvent(event);
    return;
  }
  PushButton2_Click(context_);
}

// Tab stops at both options, not only at the selected one as Qt's radio group would, then at the
// help button, the slider (while its frame is enabled) and "< Back"; Shift+Tab goes back.
bool Form2::focusNextPrevChild(bool next) {
  QWidget* const order[] = {Option21_, Option22_, PushButton8, Slider1_, PushButton2};
  constexpr int kCount = int(std::size(order));
  const auto* current = std::find(std::begin(order), std::end(order), focusWidget());
  const int at = current == std::end(order) ? (next ? -1 : kCount) : int(current - order);
  for (int step = 1; step <= kCount; ++step) {
    QWidget* control = order[((at + (next ? step : -step)) % kCount + kCount) % kCount];
    if (control->isEnabled() && control->isVisible()) {
      control->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
      return true;
    }
  }
  return false;
}

// The pointer is the dialog's own: the hand over the push buttons, the default over the rest,
// and a busy pointer is left alone. Moves reach the controls through mouse tracking; the slider
// tracks too, only so that a move over it reaches its frame.
void Form2::watchPointer() {
  for (QWidget* area : std::initializer_list<QWidget*>{this, Frame2, Frame4, Option21_, Option22_,
                                                       PushButton2, PushButton8}) {
    area->setMouseTracking(true);
    area->installEventFilter(this);
  }
  Slider1_->setMouseTracking(true);
}

// The watched control a point belongs to: a move over the slider counts as over its frame.
QWidget* Form2::pointerArea(QWidget* under) const {
  for (QWidget* w = under; w; w = w->parentWidget()) {
    if (w == PushButton2 || w == PushButton8 || w == Option21_ || w == Option22_ || w == Frame4 ||
        w == Frame2 || w == this) {
      return w;
    }
  }
  return nullptr;
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
  // On a screen of another ratio the hand is drawn for that screen.
  if (watched == this && relayout_.needsLayout(*event) && mouseIcon_) {
    setMouseIcon(*mouseIcon_);
    if (testAttribute(Qt::WA_SetCursor) && cursor().shape() == Qt::BitmapCursor) {
      setCursor(handCursor_);
    }
  }
  if (event->type() == QEvent::MouseMove) {
    // An unhandled move travels on to the parents; only the control under the pointer acts.
    const auto* move = static_cast<QMouseEvent*>(event);
    QWidget* under = childAt(mapFromGlobal(move->globalPosition().toPoint()));
    if (pointerArea(under ? under : this) == watched && !IsBusy(*this)) {
      if (watched == PushButton2 || watched == PushButton8) {
        setCursor(handCursor_);
      } else {
        unsetCursor();
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace brindlewick
