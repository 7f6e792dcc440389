#include "output/QualityOptions.h"

#include <cstdint>
#include <exception>

#include <QIcon>
#include <QString>

#include "platform/dialogs/MessageBox.h"
#include "platform/errors/ErrorBox.h"
#include "platform/errors/Trap.h"
#include "platform/skin/CursorFile.h"
#include "settings/AppIcon.h"
#include "settings/Application.h"
#include "settings/FileHelpers.h"
#include "settings/SettingText.h"
#include "settings/SettingsStore.h"
#include "view/PictureDocument.h"

namespace brindlewick {
namespace {

constexpr QLatin1String kOption21("Option21");
constexpr QLatin1String kOption22("Option22");
constexpr QLatin1String kSlider1("Slider1");

QString Setting(Form2Context& form, const QString& key, const QString& defaultValue) {
  return form.settings.GetSetting(QLatin1String(kSettingsApplication), QLatin1String(kProductName),
                                  key, defaultValue);
}

// The handlers that store have no failure report of their own: the choice still takes effect
// for this run, and the user is told once that it will not be kept.
void Store(Form2Context& form, const QString& key, const QString& value) {
  try {
    form.settings.SaveSetting(QLatin1String(kSettingsApplication), QLatin1String(kProductName), key,
                              value);
  } catch (const std::exception&) {
    if (form.storeFailureShown) return;
    form.storeFailureShown = true;
    form.errors.showReport(CurrentFailureDescription() + QStringLiteral("\r\n") +
                           QStringLiteral("Your choice applies now but cannot be kept for the "
                                          "next run."));
  }
}

void StoreOptions(Form2Context& form) {
  Store(form, kOption21, TextFromBoolean(form.dialog.Option21()));
  Store(form, kOption22, TextFromBoolean(form.dialog.Option22()));
}

QString PercentCaption(int value) { return QString::number(value) + QLatin1Char('%'); }

}  // namespace

void Form_Load(Form2Context& form) {
  Form2Shell& dialog = form.dialog;
  Trap trap(form.errors, QStringLiteral("Form2"), QStringLiteral("Form_Load"));
  trap(102, [&] { dialog.setCaption(QLatin1String(kProductName)); });
  trap(102, [&] { dialog.setIcon(ApplicationIcon()); });
  trap(104, [&] { dialog.ApplySystemColors(); });
  const QString cursor = form.App.file(QLatin1String(kHandCursorFile));
  if (trap.test(106, [&] { return FileExists(cursor); })) {
    trap(108, [&] { dialog.setMouseIcon(ReadCursorFile(cursor)); });
  }
  trap(110,
       [&] { dialog.setOption21(BooleanFromText(Setting(form, kOption21, QStringLiteral("1")))); });
  trap(112,
       [&] { dialog.setOption22(BooleanFromText(Setting(form, kOption22, QStringLiteral("0")))); });
  trap(114,
       [&] { dialog.setSlider1(LongFromText(Setting(form, kSlider1, QStringLiteral("85")))); });
  trap(116, [&] { dialog.setFrame4Caption(PercentCaption(dialog.Slider1())); });
  if (trap.test(118, [&] { return dialog.Option21(); })) {
    trap(120, [&] { dialog.setFrame4Enabled(false); });
  } else if (trap.test(122, [&] { return dialog.Option22(); })) {
    trap(124, [&] { dialog.setFrame4Enabled(true); });
  }
}

void Option21_Click(Form2Context& form) {
  StoreOptions(form);
  form.dialog.setFrame4Enabled(false);
}

void Option22_Click(Form2Context& form) {
  StoreOptions(form);
  form.dialog.setFrame4Enabled(true);
}

void Slider1_Change(Form2Context& form) {
  const int value = form.dialog.Slider1();
  form.dialog.setFrame4Caption(PercentCaption(value));
  Store(form, kSlider1, QString::number(value));
}

void PushButton2_Click(Form2Context& form) {
  Form2Shell& dialog = form.dialog;
  PictureDocument& doc = form.doc;
  Trap trap(form.errors, QStringLiteral("Form2"), QStringLiteral("PushButton2_Click"));
  if (trap.test(100, [&] { return dialog.Option21(); })) {
    trap(102, [&] { doc.JPGQuality = doc.PrevQuality; });
  } else if (trap.test(104, [&] { return dialog.Option22(); })) {
    trap(106, [&] { doc.JPGQuality = static_cast<int16_t>(dialog.Slider1()); });
  }
  trap(108, [&] { dialog.showForm1(); });
  trap(110, [&] { dialog.Hide(); });
}

void Form_QueryUnload(Form2Context& form) {
  Trap trap(form.errors, QStringLiteral("Form2"), QStringLiteral("Form_QueryUnload"));
  trap(100, [&] { PushButton2_Click(form); });
}

QString HelpText(const QString& option21Caption, const QString& option22Caption) {
  return option21Caption +
         QStringLiteral(
             " will automatically detect the image quality of each input JPG file "
             "and use this information to create a similar quality output JPG file.") +
         QStringLiteral("\r\n\r\n") + QString(option22Caption).remove(QLatin1Char(':')) +
         QStringLiteral(" will use the same image quality for every output JPG file.");
}

void PushButton8_Click(Form2Context& form) {
  Trap trap(form.errors, QStringLiteral("Form2"), QStringLiteral("PushButton8_Click"));
  trap(100, [&] {
    form.messages.MsgBox(HelpText(form.dialog.Option21Caption(), form.dialog.Option22Caption()),
                         form.App.Title);
  });
}

}  // namespace brindlewick
