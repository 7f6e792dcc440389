#pragma once

class QString;

namespace brindlewick {

// The modal warning box that shows a failure report ("Application Error", OK only).
class ErrorBox {
 public:
  virtual ~ErrorBox() = default;
  virtual void showReport(const QString& report) = 0;
};

}  // namespace brindlewick
