#include "app/SelectionKeys.h"

#include <QKeySequence>
#include <QPoint>
#include <QString>

namespace brindlewick {
namespace {

struct Arrow {
  const char* key;
  QPoint way;
};

constexpr Arrow kArrows[] = {
    {"Left", {-1, 0}}, {"Right", {1, 0}}, {"Up", {0, -1}}, {"Down", {0, 1}}};

}  // namespace

std::optional<SelectionKeyPress> SelectionKeyFor(int key, Qt::KeyboardModifiers modifiers) {
  const QKeySequence pressed(QKeyCombination(modifiers & ~Qt::KeypadModifier, Qt::Key(key)));
  const QString arrowKeys = QLatin1String(kArrowKeys);
  for (const SelectionKey& row : kSelectionKeys) {
    const QString name = QLatin1String(row.key);
    if (!name.endsWith(arrowKeys)) {
      if (QKeySequence(name, QKeySequence::PortableText) == pressed) return {{row.step}};
      continue;
    }
    const QString held = name.chopped(arrowKeys.size());
    for (const Arrow& arrow : kArrows) {
      if (QKeySequence(held + QLatin1String(arrow.key), QKeySequence::PortableText) == pressed) {
        return {{row.step, arrow.way.x() * row.pixels, arrow.way.y() * row.pixels}};
      }
    }
  }
  return std::nullopt;
}

}  // namespace brindlewick
