#pragma once

#include <cstdint>

#include <QObject>
#include <QString>

#include "platform/skin/SkinFramework.h"

class QWidget;

namespace brindlewick {

// Our skin engine: a skin file is a Qt style sheet, and skinning a window sets it as the
// window's style sheet. See SkinDispatchId for the calls it takes.
class StyleSheetSkinEngine : public QObject, public SkinFramework {
 public:
  StyleSheetSkinEngine() = default;
  QVariant Invoke(int dispatchId, DispatchKind kind, const QVariantList& arguments) override;

  const QString& styleSheet() const { return sheet_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void LoadSkin(const QVariantList& arguments);
  void ApplyWindow(const QVariantList& arguments);
  void skin(QWidget& window);

  QString sheet_;
  bool loaded_ = false;
  int32_t options_ = 0;
  bool autoApplyNewWindows_ = false;
  bool autoApplyNewDialogs_ = false;
  bool watching_ = false;
};

}  // namespace brindlewick
