#pragma once

class QIcon;
class QString;

namespace brindlewick {

struct Application;
struct CursorImage;
class ErrorBox;
class MessageBox;
class SettingsStore;
struct PictureDocument;

inline constexpr char kHandCursorFile[] = "HAND-M.CUR";

// What the options dialog's handlers need of the dialog itself (and of the main window it
// stands in for). Form2 implements it; tests fake it.
class Form2Shell {
 public:
  virtual ~Form2Shell() = default;
  virtual void setCaption(const QString& caption) = 0;
  virtual void setIcon(const QIcon& icon) = 0;
  virtual void ApplySystemColors() = 0;
  virtual void setMouseIcon(const CursorImage& cursor) = 0;

  // The two options form one group: selecting one clears the other; clearing one leaves the
  // other as it is.
  virtual bool Option21() const = 0;
  virtual void setOption21(bool selected) = 0;
  virtual bool Option22() const = 0;
  virtual void setOption22(bool selected) = 0;
  virtual QString Option21Caption() const = 0;
  virtual QString Option22Caption() const = 0;

  // The slider keeps any value it is given within 1..100.
  virtual int Slider1() const = 0;
  virtual void setSlider1(int value) = 0;
  virtual void setFrame4Caption(const QString& caption) = 0;
  virtual void setFrame4Enabled(bool enabled) = 0;

  virtual void showForm1() = 0;
  virtual void Hide() = 0;
};

// Everything the dialog's handlers work on. Form2 owns one for its whole life.
struct Form2Context {
  Form2Shell& dialog;
  PictureDocument& doc;  // the main window's, for JPGQuality and PrevQuality
  ErrorBox& errors;
  MessageBox& messages;
  SettingsStore& settings;
  const Application& App;
  // A choice that cannot be stored is told once; the dialog goes on without nagging.
  bool storeFailureShown = false;
};

// Runs when the dialog is created: caption, icon, colours, hand pointer and the stored choices.
void Form_Load(Form2Context& form);

// Each option click stores both options and enables the slider's frame for Fixed Quality only.
void Option21_Click(Form2Context& form);
void Option22_Click(Form2Context& form);

// Recaptions the slider's frame and stores the value.
void Slider1_Change(Form2Context& form);

// "< Back": applies the chosen mode to JPGQuality and returns to the main window.
void PushButton2_Click(Form2Context& form);

// Closing the dialog applies the mode like "< Back"; it never cancels the close.
void Form_QueryUnload(Form2Context& form);

// The help button's message, titled with the application title.
void PushButton8_Click(Form2Context& form);
QString HelpText(const QString& option21Caption, const QString& option22Caption);

}  // namespace brindlewick
