#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "FuzzTargets.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

using Target = void (*)(const uint8_t*, size_t);

struct FuzzTarget {
  const char* folder;
  Target run;
};

class FuzzRegressions : public ::testing::TestWithParam<FuzzTarget> {};

// Every input a fuzzer ever caught us out with goes through the same code again.
TEST_P(FuzzRegressions, EveryKeptInputIsHandledCleanly) {
  const QString folder = QStringLiteral(BRINDLEWICK_SOURCE_DIR "/fuzz/regressions/") +
                         QLatin1String(GetParam().folder);
  const QStringList files = QDir(folder).entryList(QDir::Files);
  ASSERT_FALSE(files.isEmpty()) << folder.toStdString();
  for (const QString& name : files) {
    QFile file(folder + QLatin1Char('/') + name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    const QByteArray bytes = file.readAll();
    SCOPED_TRACE(name.toStdString());
    GetParam().run(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegressions,
                         ::testing::Values(FuzzTarget{"picture", fuzz::Picture},
                                           FuzzTarget{"progressivescans", fuzz::ProgressiveScans},
                                           FuzzTarget{"restartbands", fuzz::RestartBands},
                                           FuzzTarget{"baselinesplit", fuzz::BaselineSplit},
                                           FuzzTarget{"exiforientation", fuzz::ExifOrientation},
                                           FuzzTarget{"colourprofile", fuzz::ColourProfile},
                                           FuzzTarget{"settingsfile", fuzz::SettingsFile},
                                           FuzzTarget{"cursorfile", fuzz::CursorFile}),
                         [](const auto& info) { return std::string(info.param.folder); });

}  // namespace
}  // namespace brindlewick
