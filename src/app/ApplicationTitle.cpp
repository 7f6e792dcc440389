#include "app/ApplicationTitle.h"

namespace brindlewick {

QString ApplicationTitleFor(const QString& productName) {
  constexpr qsizetype kMaxTitle = 40;
  QString title = productName;
  do {
    const qsizetype space = title.lastIndexOf(QLatin1Char(' '));
    if (space < 0) break;
    title.truncate(space);
  } while (title.size() > kMaxTitle);
  return title;
}

}  // namespace brindlewick
