#include "support/Fakes.h"

#include <utility>

#include "view/DisplayPicture.h"
#include "view/FormResize.h"

namespace brindlewick::test {

void ScriptedFileDialog::answer(bool save) {
  shown.push_back({save, DialogTitle, Filter, FileName});
  if (answers.empty()) {
    FileName.clear();
    return;
  }
  FileName = answers.front();
  answers.pop_front();
}

bool ManualTimer::fire() {
  if (!enabled_ || interval_ <= 0) return false;
  tick();
  return true;
}

FakeShell::FakeShell()
    : menu{{MenuCommand::SelectPicture, true},
           {MenuCommand::Undo, false},
           {MenuCommand::Save, false},
           {MenuCommand::JPGQuality, true},
           {MenuCommand::LoadSample, true}} {}

Picture CountingLoader::LoadPicture(const QString& path, const PaintSizeFor& paintSize) {
  loaded << path;
  if (fake) return fake(path);
  return real_.LoadPicture(path, paintSize);
}

Form1Harness::Form1Harness(QString appPath)
    : app{std::move(appPath), QStringLiteral("Brindlewick")} {
  timer.onTick([this] { Timer1_Timer(form); });
}

void Form1Harness::layOut(double clientWidth, double clientHeight) {
  window.scaleWidth = clientWidth;
  window.scaleHeight = clientHeight;
  Form_Resize(form);
}

}  // namespace brindlewick::test
