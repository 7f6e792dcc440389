#include "settings/FileHelpers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include "support/TestFiles.h"

namespace brindlewick {
namespace {

class FileHelpersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteBytes(folder.path("photo.jpg"), "x");
    test::WriteBytes(folder.path(".hidden.jpg"), "x");
    QDir().mkpath(folder.path("folder.jpg"));
    ASSERT_TRUE(QFile::link(folder.path("photo.jpg"), folder.path("link.jpg")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder.path("pipe.jpg")).constData(), 0600), 0);
  }
  test::TempFolder folder;
};

TEST_F(FileHelpersTest, FileExistsForAnyEntryWhoseTimeCanBeRead) {
  EXPECT_TRUE(FileExists(folder.path("photo.jpg")));
  EXPECT_TRUE(FileExists(folder.path(".hidden.jpg")));
  EXPECT_TRUE(FileExists(folder.path("folder.jpg")));
  EXPECT_TRUE(FileExists(folder.path("pipe.jpg")));
  EXPECT_FALSE(FileExists(QString()));
  EXPECT_FALSE(FileExists(folder.path("missing.jpg")));
  EXPECT_FALSE(FileExists(folder.path("photo.jpg/inside")));
  EXPECT_FALSE(FileExists(folder.path("photo.jpg") + QChar(0) + "x"));
}

TEST_F(FileHelpersTest, ListingFindsOnlyNormalFiles) {
  EXPECT_TRUE(FileListed(folder.path("photo.jpg")));
  EXPECT_TRUE(FileListed(folder.path("link.jpg")));
  EXPECT_FALSE(FileListed(folder.path(".hidden.jpg")));
  EXPECT_FALSE(FileListed(folder.path("folder.jpg")));
  EXPECT_FALSE(FileListed(folder.path("pipe.jpg")));
  EXPECT_FALSE(FileListed(folder.path("missing.jpg")));
  EXPECT_FALSE(FileListed(QString()));
}

}  // namespace
}  // namespace brindlewick
