#pragma once

#include <optional>

#include <QString>
#include <QStringList>

namespace brindlewick {

// What the command line `brindlewick [FILE...]` asks for: either pictures to open once the main
// window shows, or an answer printed at once (--help, --version, a wrong option) and the exit code
// to end with.
struct CommandLine {
  QStringList pictures;  // absolute, in the order given; symbolic links keep their names
  std::optional<int> exitCode;
  QString standardOutput;
  QString standardError;
};

// Reads the arguments, the program's name first, as the user typed them. Relative paths are
// taken from the working folder.
CommandLine ParseCommandLine(const QStringList& arguments, const QString& workingFolder);

// The arguments less the options Qt's application object takes out for itself (-platform NAME,
// -style=NAME, -reverse, ... with one dash or two), as it takes them: what the program reads
// once that object exists, known before it does, so that a wrong option is answered without a
// display.
QStringList WithoutQtOptions(const QStringList& arguments);

}  // namespace brindlewick
