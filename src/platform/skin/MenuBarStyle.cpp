#include "platform/skin/MenuBarStyle.h"

#include <QPaintDevice>
#include <QPainter>
#include <QStyleOptionMenuItem>

namespace brindlewick {

void MenuBarStyle::drawControl(ControlElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const {
  QProxyStyle::drawControl(element, option, painter, widget);
  if (element != CE_MenuBarItem && element != CE_MenuBarEmptyArea) return;
  const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
  if (!item || painter->device()->devicePixelRatio() == 1) return;
  // A pressed command is drawn as a box, without a rule.
  if ((item->state & State_Selected) && (item->state & State_Sunken)) return;
  // Drawn once more a logical pixel to the right, the element's rule reaches the edge; clipped
  // to the rule's rows, nothing else of it shows twice.
  QStyleOptionMenuItem shifted(*item);
  shifted.rect.translate(1, 0);
  const QRect& r = option->rect;
  painter->save();
  painter->setClipRect(QRect(r.left(), r.bottom() - 1, r.width(), 2), Qt::IntersectClip);
  QProxyStyle::drawControl(element, &shifted, painter, widget);
  painter->restore();
}

}  // namespace brindlewick
