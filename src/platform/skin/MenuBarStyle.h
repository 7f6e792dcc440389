#pragma once

#include <QProxyStyle>

namespace brindlewick {

// The application's style for a menu bar, with its bottom rule unbroken on screens of any ratio.
// Fusion draws the rule under each command, and under the bar's empty end, as a line from the
// bottom-left to the bottom-right pixel, which on a screen above 100 % stops a device pixel
// short of the right edge: the rule shows a gap after every command.
class MenuBarStyle : public QProxyStyle {
 public:
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget = nullptr) const override;
};

}  // namespace brindlewick
