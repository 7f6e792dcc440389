#pragma once

#include <optional>

#include <QCursor>
#include <QWidget>

#include "output/QualityOptions.h"
#include "platform/skin/CursorFile.h"
#include "platform/surface/RelayoutWatch.h"

class QGroupBox;
class QKeyEvent;
class QPushButton;
class QRadioButton;
class QSlider;

namespace brindlewick {

struct Application;
class ErrorBox;
class MainWindowShell;
class MessageBox;
class SettingsStore;
struct PictureDocument;

// What the dialog is given of the outside: the error box, the message box and the settings store.
struct Form2Services {
  ErrorBox& errors;
  MessageBox& messages;
  SettingsStore& settings;
};

// The output quality options dialog. It stands in for the main window while shown: a top-level
// window of its own, not owned by the main window's window (the main window keeps the object).
// Creating it runs its load; the behaviour of its handlers lives in QualityOptions.
class Form2 : public QWidget, public Form2Shell {
  Q_OBJECT

 public:
  Form2(MainWindowShell& form1, PictureDocument& doc, const Application& app,
        Form2Services services);
  ~Form2() override;

  // Shows the dialog without blocking, in front.
  void Show();

  void setCaption(const QString& caption) override;
  void setIcon(const QIcon& icon) override;
  void ApplySystemColors() override;
  void setMouseIcon(const CursorImage& cursor) override;
  bool Option21() const override;
  void setOption21(bool selected) override;
  bool Option22() const override;
  void setOption22(bool selected) override;
  QString Option21Caption() const override;
  QString Option22Caption() const override;
  int Slider1() const override;
  void setSlider1(int value) override;
  void setFrame4Caption(const QString& caption) override;
  void setFrame4Enabled(bool enabled) override;
  void showForm1() override;
  void Hide() override;

  // For tests only: the hand shown over the push buttons.
  const QCursor& handCursorForTest() const { return handCursor_; }

 signals:
  // Closed through the window's own control: the owner discards the dialog.
  void unloaded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  void connectHandlers();
  void nameForScreenReaders();
  void watchPointer();
  QWidget* pointerArea(QWidget* under) const;

  MainWindowShell& form1_;
  Form2Context context_;

  QGroupBox* const Frame2;
  QRadioButton* const Option21_;
  QRadioButton* const Option22_;
  QPushButton* const PushButton8;
  QGroupBox* const Frame4;
  QSlider* const Slider1_;
  QPushButton* const PushButton2;

  // The custom pointer: the hand from the program's folder, or the default look without it.
  QCursor handCursor_{Qt::ArrowCursor};
  std::optional<CursorImage> mouseIcon_;  // as read, for drawing it again at another ratio
  RelayoutWatch relayout_{*this};
};

}  // namespace brindlewick
