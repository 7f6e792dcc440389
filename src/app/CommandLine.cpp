#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace brindlewick {
namespace {

// GNU's exit status for a command line that cannot be used.
constexpr int kUsageError = 2;

// Qt's help names the program as typed, or a placeholder before the application object exists;
// ours names it by its file name, as GNU programs do.
QString HelpText(const QCommandLineParser& parser, const QString& program) {
  const QString text = parser.helpText();
  return QStringLiteral("Usage: %1 [options] [FILE...]\n").arg(program) +
         text.mid(text.indexOf(QLatin1Char('\n')) + 1);
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments, const QString& workingFolder) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Cuts a rectangle out of a JPEG picture and saves it as a new JPEG."));
  // Not addHelpOption(): its --help-all promises Qt's own options, which only Qt can print.
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Displays this help and exits."));
  parser.addOption(help);
  const QCommandLineOption version = parser.addVersionOption();
  parser.addPositionalArgument(
      QStringLiteral("FILE"),
      QStringLiteral("JPEG pictures to open, each shown in turn; the last one stays."),
      QStringLiteral("[FILE...]"));

  const QString program = QFileInfo(arguments.value(0, QStringLiteral("brindlewick"))).fileName();
  CommandLine result;
  if (!parser.parse(arguments)) {
    result.exitCode = kUsageError;
    result.standardError = program + QStringLiteral(": ") + parser.errorText() + QLatin1Char('\n') +
                           HelpText(parser, program);
  } else if (parser.isSet(help)) {
    result.exitCode = 0;
    result.standardOutput = HelpText(parser, program);
  } else if (parser.isSet(version)) {
    result.exitCode = 0;
    result.standardOutput = QStringLiteral("brindlewick " BRINDLEWICK_VERSION "\n");
  } else {
    const QDir folder(workingFolder);
    for (const QString& path : parser.positionalArguments()) {
      result.pictures << folder.absoluteFilePath(path);
    }
  }
  return result;
}

}  // namespace brindlewick
