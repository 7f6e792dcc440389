#pragma once

#include "platform/errors/ErrorBox.h"

class QWidget;

namespace brindlewick {

class QtErrorBox : public ErrorBox {
 public:
  explicit QtErrorBox(QWidget* parent) : parent_(parent) {}
  void showReport(const QString& report) override;

  // The report keeps classic CR and CR LF line ends; the box wants plain line breaks.
  static QString DisplayText(const QString& report);

 private:
  QWidget* parent_;
};

}  // namespace brindlewick
