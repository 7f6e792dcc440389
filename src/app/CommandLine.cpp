#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include "app/CommandKeys.h"

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

// The keys of the window, after the options and in their layout, with room for the longest.
QString KeysText() {
  const auto line = [](const char* key, const char* what) {
    return QStringLiteral("  %1%2\n").arg(QLatin1String(key), -23).arg(QLatin1String(what));
  };
  QString text = QStringLiteral("\nKeys:\n");
  for (const CommandKey& command : kCommandKeys) text += line(command.key, command.caption);
  text += line("F10", "The menu bar: Left and Right choose a command, Return runs it.");
  for (const SelectionKey& key : kSelectionKeys) text += line(key.key, key.what);
  return text;
}

// What one of Qt's options takes along: nothing, the next argument even when there is none, or
// the next argument only when there is one (alone, Qt leaves it for the program to refuse).
enum class QtValue { None, Next, NextIfAny };

struct QtOption {
  const char* name;  // ending in '=', the value is written into the argument
  QtValue value;
};

// Qt 6.4's own options: of QCoreApplication, QGuiApplication, QApplication and the X11 plugin.
constexpr QtOption kQtOptions[] = {
    {"platform", QtValue::Next},        {"platformpluginpath", QtValue::Next},
    {"platformtheme", QtValue::Next},   {"qwindowgeometry", QtValue::Next},
    {"qwindowtitle", QtValue::Next},    {"qwindowicon", QtValue::Next},
    {"plugin", QtValue::Next},          {"geometry", QtValue::Next},
    {"title", QtValue::Next},           {"icon", QtValue::Next},
    {"session", QtValue::NextIfAny},    {"style", QtValue::NextIfAny},
    {"stylesheet", QtValue::NextIfAny}, {"qmljsdebugger", QtValue::NextIfAny},
    {"display", QtValue::NextIfAny},    {"name", QtValue::NextIfAny},
    {"visual", QtValue::NextIfAny},     {"style=", QtValue::None},
    {"stylesheet=", QtValue::None},     {"qmljsdebugger=", QtValue::None},
    {"reverse", QtValue::None},         {"testability", QtValue::None},
    {"widgetcount", QtValue::None},     {"qdevel", QtValue::None},
    {"qdebug", QtValue::None},          {"sync", QtValue::None},
    {"nograb", QtValue::None},          {"dograb", QtValue::None},
};

// The option of Qt's that an argument names, with one dash or two; none for anything else.
const QtOption* QtOptionOf(const QString& argument) {
  if (!argument.startsWith(QLatin1Char('-'))) return nullptr;
  const QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
  for (const QtOption& option : kQtOptions) {
    const QLatin1String known(option.name);
    if (known.endsWith(QLatin1Char('=')) ? name.startsWith(known) : name == known) return &option;
  }
  return nullptr;
}

}  // namespace

QStringList WithoutQtOptions(const QStringList& arguments) {
  QStringList kept = arguments.mid(0, 1);
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QtOption* option = QtOptionOf(arguments[i]);
    const bool valueFollows = i + 1 < arguments.size();
    if (!option || (option->value == QtValue::NextIfAny && !valueFollows)) {
      kept << arguments[i];
    } else if (option->value != QtValue::None) {
      ++i;
    }
  }
  return kept;
}

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
    result.standardOutput = HelpText(parser, program) + KeysText();
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
