#include "platform/skin/StyleSheetSkinEngine.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMainWindow>
#include <QWidget>

#include "platform/errors/RuntimeError.h"
#include "platform/files/FileBytes.h"
#include "platform/skin/WindowHandles.h"

namespace brindlewick {
namespace {

constexpr int kNotSupported = 438;
constexpr qint64 kMaxSkinBytes = 1 << 20;
const char kSkinnedProperty[] = "brindlewickSkinned";

RuntimeError NotSupported() {
  return RuntimeError(kNotSupported,
                      QStringLiteral("Object doesn't support this property or method"));
}

RuntimeError InvalidArgument(const QString& what) {
  return RuntimeError(ErrorNumber::InvalidProcedureCall,
                      QStringLiteral("Invalid procedure call or argument: ") + what);
}

const QVariant& Argument(const QVariantList& arguments, int index, int count) {
  if (arguments.size() != count) {
    throw InvalidArgument(
        QStringLiteral("%1 arguments given, %2 expected").arg(arguments.size()).arg(count));
  }
  return arguments[index];
}

}  // namespace

QVariant StyleSheetSkinEngine::Invoke(int dispatchId, DispatchKind kind,
                                      const QVariantList& arguments) {
  const bool get = kind == DispatchKind::PropertyGet;
  const bool put = kind == DispatchKind::PropertyPut;
  switch (dispatchId) {
    case SkinDispatchId::ApplyOptions:
      if (get) return options_;
      if (put) {
        bool ok = false;
        options_ = Argument(arguments, 0, 1).toInt(&ok);
        if (!ok) throw TypeMismatchError();
        return {};
      }
      break;
    case SkinDispatchId::LoadSkin:
      if (kind == DispatchKind::Method) {
        LoadSkin(arguments);
        return {};
      }
      break;
    case SkinDispatchId::ApplyWindow:
      if (kind == DispatchKind::Method) {
        ApplyWindow(arguments);
        return {};
      }
      break;
    case SkinDispatchId::AutoApplyNewWindows:
      if (get) return autoApplyNewWindows_;
      if (put) {
        autoApplyNewWindows_ = Argument(arguments, 0, 1).toBool();
        return {};
      }
      break;
    case SkinDispatchId::AutoApplyNewDialogs:
      if (get) return autoApplyNewDialogs_;
      if (put) {
        autoApplyNewDialogs_ = Argument(arguments, 0, 1).toBool();
        return {};
      }
      break;
  }
  throw NotSupported();
}

void StyleSheetSkinEngine::LoadSkin(const QVariantList& arguments) {
  const QString path = Argument(arguments, 0, 2).toString();
  if (!Argument(arguments, 1, 2).toString().isEmpty()) {
    throw InvalidArgument(QStringLiteral("this engine's skins have no variants"));
  }
  const QByteArray bytes = ReadRegularFile(path, kMaxSkinBytes);
  sheet_ = QString::fromUtf8(bytes);
  loaded_ = true;
}

void StyleSheetSkinEngine::ApplyWindow(const QVariantList& arguments) {
  bool ok = false;
  const int32_t handle = Argument(arguments, 0, 1).toInt(&ok);
  QWidget* window = ok ? WindowFromHandle(handle) : nullptr;
  if (!window) throw InvalidArgument(QStringLiteral("no window has the handle given"));
  if (!loaded_) throw InvalidArgument(QStringLiteral("no skin is loaded"));
  skin(*window);
  if (autoApplyNewWindows_ && !watching_) {
    watching_ = true;
    qApp->installEventFilter(this);
  }
}

void StyleSheetSkinEngine::skin(QWidget& window) {
  window.setProperty(kSkinnedProperty, true);
  auto* main = qobject_cast<QMainWindow*>(&window);
  QWidget* target =
      main && !(options_ & 1) && main->centralWidget() ? main->centralWidget() : &window;
  target->setStyleSheet(sheet_);
}

bool StyleSheetSkinEngine::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    const Qt::WindowType type = widget->windowType();
    const bool window = type == Qt::Window || type == Qt::Dialog;
    const bool dialog = qobject_cast<QDialog*>(widget) != nullptr;
    // A window with a style of its own keeps it.
    if (window && !widget->property(kSkinnedProperty).toBool() && widget->styleSheet().isEmpty() &&
        (!dialog || autoApplyNewDialogs_)) {
      skin(*widget);
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace brindlewick
