#include "app/CommandLine.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace brindlewick
