#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include <QFile>

#include "app/CommandKeys.h"

namespace brindlewick {
namespace {

CommandLine Parse(QStringList arguments) {
  arguments.prepend("/usr/lib/brindlewick/brindlewick");
  return ParseCommandLine(arguments, "/home/ann/pictures");
}

TEST(CommandLine, FilesBecomeAbsolutePathsInTheOrderGivenWithoutResolvingLinksOrDots) {
  EXPECT_EQ(Parse({}).exitCode, std::nullopt);
  EXPECT_TRUE(Parse({}).pictures.isEmpty());
  const CommandLine files = Parse({"b.jpg", "/tmp/a.jpg", "../x/link.jpeg", "--", "-dash.jpg"});
  EXPECT_EQ(files.exitCode, std::nullopt);
  EXPECT_EQ(files.pictures,
            QStringList({"/home/ann/pictures/b.jpg", "/tmp/a.jpg",
                         "/home/ann/pictures/../x/link.jpeg", "/home/ann/pictures/-dash.jpg"}));
  EXPECT_EQ(files.standardOutput + files.standardError, QString());
}

TEST(CommandLine, HelpAndVersionPrintOnStandardOutputAndSucceedAWrongOptionFailsWithStatus2) {
  const QString usage = "Usage: brindlewick [options] [FILE...]\n";
  for (const char* option : {"--help", "-h"}) {
    const CommandLine help = Parse({"photo.jpg", option});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.standardOutput.startsWith(usage)) << help.standardOutput.toStdString();
    EXPECT_EQ(help.standardError, QString());
    EXPECT_TRUE(help.pictures.isEmpty());
  }
  const CommandLine version = Parse({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.standardOutput, "brindlewick " BRINDLEWICK_VERSION "\n");

  const CommandLine wrong = Parse({"photo.jpg", "--frobnicate"});
  EXPECT_EQ(wrong.exitCode, 2);
  EXPECT_TRUE(wrong.standardError.startsWith("brindlewick: Unknown option 'frobnicate'.\n" + usage))
      << wrong.standardError.toStdString();
  EXPECT_EQ(wrong.standardOutput, QString());
  EXPECT_TRUE(wrong.pictures.isEmpty());
}

// Every key of the window, told alike by --help, the manual page and the README, and nothing
// else claimed for it.
TEST(CommandLine, TheHelpTheManualPageAndTheReadmeListEveryKey) {
  const QString help = Parse({"--help"}).standardOutput;
  QFile manual(BRINDLEWICK_SOURCE_DIR "/assets/brindlewick.1.in");
  QFile readme(BRINDLEWICK_SOURCE_DIR "/README.md");
  ASSERT_TRUE(manual.open(QIODevice::ReadOnly) && readme.open(QIODevice::ReadOnly));
  const QString manualText = QString::fromUtf8(manual.readAll());
  const QString readmeText = QString::fromUtf8(readme.readAll());
  std::vector<std::pair<QString, QString>> keys;
  for (const CommandKey& command : kCommandKeys) keys.emplace_back(command.key, command.caption);
  for (const SelectionKey& key : kSelectionKeys) keys.emplace_back(key.key, key.what);
  for (const auto& [key, what] : keys) {
    EXPECT_TRUE(help.contains("\n  " + key.leftJustified(23) + what + "\n")) << key.toStdString();
    EXPECT_TRUE(manualText.contains("\n.B " + key + "\n" + what + ".\n")) << key.toStdString();
    EXPECT_TRUE(readmeText.contains("| **" + key + "** | " + what + " |")) << key.toStdString();
  }
  EXPECT_TRUE(help.contains(QStringLiteral("\n  F10 ")));
  EXPECT_TRUE(manualText.contains(QStringLiteral("\n.B F10\n")));
}

struct QtOptionsCase {
  QStringList typed;
  QStringList left;  // what the program reads once Qt took its own
};

class WithoutQtOptionsTest : public ::testing::TestWithParam<QtOptionsCase> {};

TEST_P(WithoutQtOptionsTest, LeavesWhatQtLeavesToTheProgram) {
  QStringList typed = GetParam().typed, left = GetParam().left;
  typed.prepend("brindlewick");
  left.prepend("brindlewick");
  EXPECT_EQ(WithoutQtOptions(typed), left);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WithoutQtOptionsTest,
    ::testing::Values(
        QtOptionsCase{{"-platform", "offscreen", "a.jpg"}, {"a.jpg"}},
        QtOptionsCase{{"--platform", "wayland", "--style", "Fusion", "b.jpg"}, {"b.jpg"}},
        QtOptionsCase{{"-style=Fusion", "-stylesheet=x.qss", "-reverse", "-widgetcount"}, {}},
        QtOptionsCase{{"-display", ":1", "-name", "crop", "-sync", "-geometry", "800x600"}, {}},
        // A wrong option is the program's to refuse, wherever it stands.
        QtOptionsCase{{"--no-such-option", "-platform", "offscreen"}, {"--no-such-option"}},
        QtOptionsCase{{"-platformx", "-styles", "--stylesheet"},
                      {"-platformx", "-styles", "--stylesheet"}},
        // Qt takes -platform without its value, but leaves -style without one.
        QtOptionsCase{{"a.jpg", "-platform"}, {"a.jpg"}},
        QtOptionsCase{{"a.jpg", "-style"}, {"a.jpg", "-style"}},
        // Not options at all: a lone dash, the end of options, names that look like values.
        QtOptionsCase{{"-", "--", "platform", "style=x.jpg"},
                      {"-", "--", "platform", "style=x.jpg"}}));

}  // namespace
}  // namespace brindlewick
