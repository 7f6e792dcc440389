#pragma once

#include "platform/errors/ErrorBox.h"

namespace brindlewick {

// The error box over whichever of the program's windows is active when it is shown.
class QtErrorBox : public ErrorBox {
 public:
  void showReport(const QString& report) override;

  // The report keeps classic CR and CR LF line ends; the box wants plain line breaks.
  static QString DisplayText(const QString& report);
};

}  // namespace brindlewick
