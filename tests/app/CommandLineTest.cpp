#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

const QString kFolder = QStringLiteral("/home/ann/pictures");

CommandLine Parse(QStringList arguments) {
  arguments.prepend(QStringLiteral("/usr/lib/brindlewick/brindlewick"));
  return ParseCommandLine(arguments, kFolder);
}

TEST(CommandLine, FilesBecomeAbsolutePathsInTheOrderGivenWithoutResolvingLinksOrDots) {
  const CommandLine none = Parse({});
  EXPECT_FALSE(none.exitCode.has_value());
  EXPECT_TRUE(none.pictures.isEmpty());

  const CommandLine files = Parse({"b.jpg", "/tmp/a.jpg", "../x/link.jpeg", "--", "-dash.jpg"});
  EXPECT_FALSE(files.exitCode.has_value());
  EXPECT_EQ(files.pictures,
            QStringList({"/home/ann/pictures/b.jpg", "/tmp/a.jpg",
                         "/home/ann/pictures/../x/link.jpeg", "/home/ann/pictures/-dash.jpg"}));
  EXPECT_TRUE(files.standardOutput.isEmpty());
  EXPECT_TRUE(files.standardError.isEmpty());
}

TEST(CommandLine, HelpAndVersionGoToStandardOutputAndEndWithSuccess) {
  for (const char* option : {"--help", "-h"}) {
    const CommandLine help = Parse({"photo.jpg", option});
    EXPECT_EQ(help.exitCode, 0) << option;
    EXPECT_TRUE(help.standardOutput.startsWith("Usage: brindlewick [options] [FILE...]\n"))
        << help.standardOutput.toStdString();
    EXPECT_TRUE(help.standardOutput.contains("--version")) << option;
    EXPECT_TRUE(help.standardError.isEmpty()) << option;
    EXPECT_TRUE(help.pictures.isEmpty()) << option;
  }
  const CommandLine version = Parse({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.standardOutput, QStringLiteral("brindlewick " BRINDLEWICK_VERSION "\n"));
  EXPECT_TRUE(version.standardError.isEmpty());
}

TEST(CommandLine, AnUnknownOptionIsOneLineOfErrorThenTheUsageOnStandardErrorWithStatus2) {
  const CommandLine wrong = Parse({"photo.jpg", "--frobnicate"});
  EXPECT_EQ(wrong.exitCode, 2);
  EXPECT_TRUE(wrong.standardOutput.isEmpty());
  EXPECT_TRUE(wrong.pictures.isEmpty());
  const QStringList lines = wrong.standardError.split('\n');
  ASSERT_GE(lines.size(), 2);
  EXPECT_EQ(lines[0], QStringLiteral("brindlewick: Unknown option 'frobnicate'."));
  EXPECT_EQ(lines[1], QStringLiteral("Usage: brindlewick [options] [FILE...]"));
}

}  // namespace
}  // namespace brindlewick
