#pragma once

#include <QString>

namespace brindlewick {

inline constexpr char kProductName[] = "Brindlewick";

// The application object: the folder that holds the executable, and the title that message boxes
// without a caption of their own show.
struct Application {
  QString Path;
  QString Title;

  // A file of the program's own, named relative to its folder with '/' separators.
  QString file(const QString& relative) const { return Path + QLatin1Char('/') + relative; }
};

}  // namespace brindlewick
