#include "platform/skin/CursorFile.h"

#include <gtest/gtest.h>

#include <functional>

#include <QDir>
#include <QtEndian>

#include "HandCursor.h"
#include "platform/errors/RuntimeError.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

QByteArray HandFile() { return CursorFileBytes(RenderHandCursor(), kHandHotSpot); }

void Set16(QByteArray& bytes, int at, quint16 value) { qToLittleEndian(value, bytes.data() + at); }
void Set32(QByteArray& bytes, int at, quint32 value) { qToLittleEndian(value, bytes.data() + at); }

TEST(CursorFile, ReadsTheImageAndTheHotSpot) {
  const CursorImage cursor = DecodeCursor(HandFile());
  EXPECT_EQ(cursor.hotSpot, QPoint(10, 1));
  EXPECT_EQ(cursor.image.convertToFormat(QImage::Format_ARGB32),
            RenderHandCursor().convertToFormat(QImage::Format_ARGB32));
}

TEST(CursorFile, TheBuildPutsAReadableHandBesideTheProgram) {
  const CursorImage cursor = ReadCursorFile(QStringLiteral(BRINDLEWICK_APP_DIR "/HAND-M.CUR"));
  EXPECT_EQ(cursor.image.size(), QSize(32, 32));
  EXPECT_EQ(cursor.hotSpot, kHandHotSpot);
  EXPECT_EQ(qAlpha(cursor.image.pixel(0, 31)), 0);                  // transparent around
  EXPECT_EQ(cursor.image.pixel(11, 6), qRgba(255, 255, 255, 255));  // the white finger
  // Drawn again at twice the size for screens of twice the density.
  ASSERT_EQ(cursor.others.size(), 1u);
  EXPECT_EQ(cursor.others[0].image.size(), QSize(64, 64));
  EXPECT_EQ(cursor.others[0].hotSpot, kHandHotSpot * 2);
  EXPECT_EQ(cursor.others[0].image.pixel(22, 12), qRgba(255, 255, 255, 255));
}

struct Damage {
  const char* name;
  std::function<void(QByteArray&)> apply;
  const char* why;  // the reason the error gives, or null to accept any
};

class DamagedCursor : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedCursor, IsAnInvalidPicture) {
  QByteArray bytes = HandFile();
  GetParam().apply(bytes);
  try {
    DecodeCursor(bytes);
    FAIL() << "decoded";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), ErrorNumber::InvalidPicture);
    if (GetParam().why) {
      EXPECT_EQ(
          e.description(),
          QStringLiteral("Invalid picture: not a usable cursor file (%1)").arg(GetParam().why));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    CursorFile, DamagedCursor,
    ::testing::Values(
        Damage{"Empty", [](QByteArray& b) { b.clear(); }, "the file is too short"},
        Damage{"HeaderOnly", [](QByteArray& b) { b.truncate(6); }, "the file is too short"},
        Damage{"AnIcon", [](QByteArray& b) { Set16(b, 2, 1); },
               "the file does not start as a cursor"},
        Damage{"Reserved", [](QByteArray& b) { Set16(b, 0, 1); },
               "the file does not start as a cursor"},
        Damage{"NoImage", [](QByteArray& b) { Set16(b, 4, 0); }, "the file holds no image"},
        Damage{"DirectoryPastTheEnd", [](QByteArray& b) { Set16(b, 4, 0xffff); },
               "the directory is cut short"},
        Damage{"ImageCutShort", [](QByteArray& b) { b.truncate(b.size() - 1); },
               "the image lies outside the file"},
        Damage{"LengthWrapsAround", [](QByteArray& b) { Set32(b, 14, 0xffffffff); },
               "the image lies outside the file"},
        Damage{"OffsetPastTheEnd", [](QByteArray& b) { Set32(b, 18, 0xfffffff0); },
               "the image lies outside the file"},
        Damage{"OffsetInsideTheDirectory", [](QByteArray& b) { Set32(b, 18, 4); },
               "the image lies outside the file"},
        Damage{"EmptyImage", [](QByteArray& b) { Set32(b, 14, 0); },
               "the image lies outside the file"},
        Damage{"HugeBitmap", [](QByteArray& b) { Set32(b, 22 + 4, 100000); },
               "the bitmap is 100000 x 32 pixels"},
        Damage{"NegativeHeight", [](QByteArray& b) { Set32(b, 22 + 8, quint32(-64)); },
               "the bitmap is 32 x -32 pixels"},
        Damage{"HeaderLongerThanTheImage", [](QByteArray& b) { Set32(b, 22, 1u << 30); },
               "the bitmap header is damaged"},
        Damage{"HugePng",
               [](QByteArray& b) {
                 b.truncate(22);
                 b += QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\1\0\0\0\0\0\x20", 24);
                 Set32(b, 14, 24);
               },
               "the image is 65536 x 32 pixels"},
        Damage{"HotSpotOutside", [](QByteArray& b) { Set16(b, 12, 32); },
               "the hot spot 10,32 lies outside the 32 x 32 image"},
        Damage{"UnreadableBits", [](QByteArray& b) { Set16(b, 22 + 14, 7); }, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CursorFile, AFileThatIsNotThereOrNoFileFailsAsTheFileHelpersDo) {
  test::TempFolder folder;
  QDir().mkpath(folder.path("HAND-M.CUR"));
  test::WriteBytes(folder.path("big.cur"), QByteArray((1 << 20) + 1, '\0'));
  const std::vector<std::pair<QString, int>> cases{
      {folder.path("missing.cur"), ErrorNumber::FileNotFound},
      {folder.path("HAND-M.CUR"), ErrorNumber::PathFileAccess},
      {folder.path("big.cur"), ErrorNumber::PathFileAccess}};
  for (const auto& [path, number] : cases) {
    try {
      ReadCursorFile(path);
      ADD_FAILURE() << path.toStdString();
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), number) << path.toStdString();
    }
  }
}

}  // namespace
}  // namespace brindlewick
