#include "settings/SettingsStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/errors/RuntimeError.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

class SettingsStoreTest : public ::testing::Test {
 protected:
  QString get(const SettingsStore& s, const char* app, const char* section, const char* key) {
    return s.GetSetting(app, section, key, "85");
  }
  QByteArray fileText() {
    QFile file(folder.path("Fenwright.ini"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
  }

  test::TempFolder folder;
  SettingsStore store{folder.path()};
};

TEST_F(SettingsStoreTest, AnythingAbsentGivesTheDefault) {
  EXPECT_EQ(get(store, "Fenwright", "Brindlewick", "Slider1"), "85");  // nothing ever saved
  store.SaveSetting("Fenwright", "Brindlewick", "Option21", "True");
  EXPECT_EQ(get(store, "Other", "Brindlewick", "Option21"), "85");
  EXPECT_EQ(get(store, "Fenwright", "Other", "Option21"), "85");
  EXPECT_EQ(get(store, "Fenwright", "Brindlewick", "Slider1"), "85");
  EXPECT_EQ(get(store, "Fenwright", "Brindlewick", "Option21"), "True");
  // Names that address no file or no value are absent too.
  EXPECT_EQ(get(store, "", "Brindlewick", "Option21"), "85");
  EXPECT_EQ(get(store, "../Fenwright", "Brindlewick", "Option21"), "85");
  EXPECT_EQ(get(store, "Fenwright", "", "Option21"), "85");
}

TEST_F(SettingsStoreTest, SavedValuesOutliveTheStoreAndOverwrite) {
  store.SaveSetting("Fenwright", "Brindlewick", "Option21", "False");
  store.SaveSetting("Fenwright", "Brindlewick", "Option22", "True");
  store.SaveSetting("Fenwright", "Brindlewick", "Slider1", "60");
  store.SaveSetting("Fenwright", "Brindlewick", "Slider1", "61");

  const SettingsStore nextRun(folder.path());
  EXPECT_EQ(get(nextRun, "Fenwright", "Brindlewick", "Option21"), "False");
  EXPECT_EQ(get(nextRun, "Fenwright", "Brindlewick", "Option22"), "True");
  EXPECT_EQ(get(nextRun, "Fenwright", "Brindlewick", "Slider1"), "61");
  EXPECT_EQ(fileText(), "[Brindlewick]\nOption21=False\nOption22=True\nSlider1=61\n");
}

TEST_F(SettingsStoreTest, TextComesBackAsWritten) {
  for (const QString text : {"", " padded ", "a,b", "@at", "quote \" and \\ backslash",
                             "naïve ünïcode", "semi;colon=equals"}) {
    store.SaveSetting("Fenwright", "Brindlewick", "Text", text);
    EXPECT_EQ(SettingsStore(folder.path()).GetSetting("Fenwright", "Brindlewick", "Text", "x"),
              text);
  }
}

TEST_F(SettingsStoreTest, AHandWrittenListReadsAsItsText) {
  test::WriteBytes(folder.path("Fenwright.ini"), "[Brindlewick]\nSlider1=6, 0\n");
  EXPECT_EQ(get(store, "Fenwright", "Brindlewick", "Slider1"), "6, 0");
}

TEST_F(SettingsStoreTest, TheDefaultStoreLivesInTheUsersConfigFolder) {
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.path("config")));
  SettingsStore user;
  user.SaveSetting("Fenwright", "Brindlewick", "Slider1", "42");
  qputenv("XDG_CONFIG_HOME", saved);
  EXPECT_EQ(user.fileFor("Fenwright"), folder.path("config/Fenwright.ini"));
  EXPECT_TRUE(QFile::exists(folder.path("config/Fenwright.ini")));
}

TEST_F(SettingsStoreTest, ASaveThatCannotWriteIsRaised) {
  // A file where the folder should be stops root too.
  test::WriteBytes(folder.path("plain"), "x");
  SettingsStore blocked(folder.path("plain/config"));
  try {
    blocked.SaveSetting("Fenwright", "Brindlewick", "Option21", "True");
    FAIL() << "the save went through";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), ErrorNumber::PathFileAccess);
    EXPECT_EQ(e.description(), "Cannot store the setting \"Option21\" in \"" +
                                   folder.path("plain/config/Fenwright.ini") +
                                   "\": the file or its folder cannot be written");
  }
  EXPECT_EQ(get(blocked, "Fenwright", "Brindlewick", "Option21"), "85");
}

TEST_F(SettingsStoreTest, ADamagedFileIsNotRewritten) {
  const QByteArray damaged = "[Brindlewick]\nSlider1=60\n[unfinished\nnotes the user keeps\n";
  test::WriteBytes(folder.path("Fenwright.ini"), damaged);

  EXPECT_EQ(get(store, "Fenwright", "Brindlewick", "Slider1"), "60");
  try {
    store.SaveSetting("Fenwright", "Brindlewick", "Slider1", "70");
    FAIL() << "the save went through";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), "Cannot store the setting \"Slider1\" in \"" +
                                   folder.path("Fenwright.ini") +
                                   "\": the file is damaged; repair or remove it");
  }
  EXPECT_EQ(fileText(), damaged);
}

TEST_F(SettingsStoreTest, AFolderWhereTheFileShouldBeReadsAsEmptyAndRefusesSaves) {
  ASSERT_TRUE(QDir().mkpath(folder.path("Fenwright.ini")));
  EXPECT_EQ(get(store, "Fenwright", "Brindlewick", "Slider1"), "85");
  EXPECT_THROW(store.SaveSetting("Fenwright", "Brindlewick", "Slider1", "70"), RuntimeError);
  EXPECT_TRUE(QFileInfo(folder.path("Fenwright.ini")).isDir());
}

TEST_F(SettingsStoreTest, APipeOrADeviceUnderTheStoresNameNeitherBlocksNorIsReplaced) {
  const QString file = folder.path("Fenwright.ini");
  for (const char* kind : {"pipe", "device"}) {
    SCOPED_TRACE(kind);
    if (std::string(kind) == "pipe") {
      ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    } else {
      ASSERT_TRUE(QFile::link("/dev/zero", file));
    }
    EXPECT_EQ(get(store, "Fenwright", "Brindlewick", "Slider1"), "85");
    try {
      store.SaveSetting("Fenwright", "Brindlewick", "Slider1", "70");
      FAIL() << "the save went through";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.description(), "Cannot store the setting \"Slider1\" in \"" + file +
                                     "\": it is not a regular file");
    }
    ASSERT_TRUE(QFile::remove(file));
  }
}

TEST_F(SettingsStoreTest, ASaveWithoutAnAddressIsRefused) {
  for (const auto& [app, section, key] :
       {std::tuple{"", "Brindlewick", "Slider1"}, std::tuple{"a/b", "Brindlewick", "Slider1"},
        std::tuple{"Fenwright", "", "Slider1"}, std::tuple{"Fenwright", "Brindlewick", ""}}) {
    try {
      store.SaveSetting(app, section, key, "1");
      ADD_FAILURE() << app << "|" << section << "|" << key;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), ErrorNumber::InvalidProcedureCall);
    }
  }
}

}  // namespace
}  // namespace brindlewick
