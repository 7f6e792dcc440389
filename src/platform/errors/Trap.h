#pragma once

#include <QString>

namespace brindlewick {

class ErrorBox;

inline constexpr char kSupportAddress[] = "support@brindlewick.example";

// The whole text of a failure report as the error box shows it.
QString FailureReport(const QString& description, const QString& window, const QString& procedure,
                      int line);

// The description of the failure being handled; must be called from inside a catch block.
QString CurrentFailureDescription();

// Runs, from the event loop, a handler that has no failure report of its own. A failure must
// not unwind into the toolkit, which would end the program, so it is shown in the error box with
// its description alone.
template <class Handler>
void RunUntrapped(ErrorBox& box, Handler&& handler) noexcept;

// Runs the numbered statements of a trapping procedure. A statement that fails is reported in the
// error box under its number and execution goes on with the next statement; a conditional test
// that fails is reported and counts as passed, so the statements it guards run next.
class Trap {
 public:
  Trap(ErrorBox& box, QString window, QString procedure);

  template <class Statement>
  void operator()(int line, Statement&& statement) {
    try {
      statement();
    } catch (...) {
      reportCurrentFailure(line);
    }
  }

  template <class Condition>
  bool test(int line, Condition&& condition) {
    try {
      return condition();
    } catch (...) {
      reportCurrentFailure(line);
      return true;
    }
  }

 private:
  // Must be called from inside a catch block.
  void reportCurrentFailure(int line);

  ErrorBox& box_;
  QString window_;
  QString procedure_;
};

void ShowUntrappedFailure(ErrorBox& box) noexcept;

template <class Handler>
void RunUntrapped(ErrorBox& box, Handler&& handler) noexcept {
  try {
    handler();
  } catch (...) {
    ShowUntrappedFailure(box);
  }
}

}  // namespace brindlewick
