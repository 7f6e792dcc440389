// The busy pointer while a picture is decoded and while a file is written.
#include "view/BusyPointer.h"

#include <gtest/gtest.h>

#include <vector>

#include "output/SaveCommand.h"
#include "platform/errors/RuntimeError.h"
#include "platform/errors/Trap.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"
#include "view/DisplayPicture.h"
#include "view/OpenCommands.h"

namespace brindlewick {
namespace {

// Notes the window's pointer at the moment the file is written.
class PointerAtSave : public test::RecordingImagingLibrary {
 public:
  PointerAtSave(ImagingLibrary& real, const MainWindowShell& window)
      : RecordingImagingLibrary(&real), window_(window) {}
  GpStatus GdipSaveImageToFile(GpBitmap* image, const char16_t* filename, const Guid* encoder,
                               const EncoderParameters* params) noexcept override {
    seen.push_back(window_.mousePointer());
    return RecordingImagingLibrary::GdipSaveImageToFile(image, filename, encoder, params);
  }
  std::vector<MousePointer> seen;

 private:
  const MainWindowShell& window_;
};

class BusyPointerTest : public ::testing::TestWithParam<MousePointer> {
 protected:
  BusyPointerTest() : h(folder.path("app")) {
    h.layOut();
    h.loader.fake = [this](const QString&, const PictureRequest&) -> Picture {
      seenAtLoad.push_back(h.window.pointer);
      if (failLoad) throw RuntimeError(ErrorNumber::InvalidPicture, "Invalid picture");
      return Picture(test::SmoothImage(300, 200));
    };
  }

  test::TempFolder folder;
  test::Form1Harness h;
  std::vector<MousePointer> seenAtLoad;
  bool failLoad = false;
};

TEST_P(BusyPointerTest, ShowsWhileAPictureIsDecodedThenComesBack) {
  h.window.pointer = GetParam();
  const QString path = test::WriteJpeg(folder.path("a.jpg"), test::SmoothImage(30, 20));

  DisplayPicture(h.display, path, h.doc.Picture1);

  EXPECT_EQ(seenAtLoad, std::vector<MousePointer>{MousePointer::Busy});
  EXPECT_EQ(h.window.pointer, GetParam());
  EXPECT_TRUE(h.errors.reports.empty());
}

TEST_P(BusyPointerTest, ComesBackWhenTheDecodeFails) {
  h.window.pointer = GetParam();
  failLoad = true;

  DisplayPicture(h.display, folder.path("broken.jpg"), h.doc.Picture1);

  EXPECT_EQ(seenAtLoad, std::vector<MousePointer>{MousePointer::Busy});
  EXPECT_EQ(h.window.pointer, GetParam());
  ASSERT_FALSE(h.errors.reports.empty());
  EXPECT_EQ(h.errors.reports[0], FailureReport("Invalid picture", "Form1", "DisplayPicture", 104));
}

TEST_P(BusyPointerTest, ShowsForEachFileOfASelection) {
  h.window.pointer = GetParam();
  h.dialog.answers = {QStringList{"/pictures", "a.jpg", "b.jpg", "c.jpg"}.join(QChar(0))};

  mnuSelectPicture_Click(h.open);

  EXPECT_EQ(seenAtLoad, std::vector<MousePointer>(3, MousePointer::Busy));
  EXPECT_EQ(h.window.pointer, GetParam());
}

TEST_P(BusyPointerTest, ShowsWhileTheFileIsWrittenThenComesBack) {
  PointerAtSave imaging(h.realImaging, h.window);
  SaveContext form{h.doc, h.window, h.errors, h.dialog, imaging};
  h.doc.Picture1.setPicture(Picture(test::SmoothImage(40, 30)));
  h.doc.JPGQuality = 80;
  h.window.pointer = GetParam();
  const QString target = folder.path("out.jpg");

  h.dialog.answers = {target};
  mnuSave_Click(form);
  EXPECT_EQ(imaging.seen, std::vector<MousePointer>{MousePointer::Busy});
  EXPECT_EQ(h.window.pointer, GetParam());
  EXPECT_TRUE(h.errors.reports.empty());

  // A failed write puts it back all the same.
  imaging.saveStatus = 7;
  h.dialog.answers = {target};
  mnuSave_Click(form);
  EXPECT_EQ(imaging.seen.size(), 2u);
  EXPECT_EQ(h.window.pointer, GetParam());
  EXPECT_EQ(h.errors.reports.size(), 1u);

  // A cancelled dialog writes nothing and never shows it.
  h.dialog.answers = {QString()};
  mnuSave_Click(form);
  EXPECT_EQ(imaging.seen.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Pointers, BusyPointerTest,
                         ::testing::Values(MousePointer::Default, MousePointer::Crosshair,
                                           MousePointer::Custom),
                         [](const auto& info) {
                           switch (info.param) {
                             case MousePointer::Default:
                               return "FromDefault";
                             case MousePointer::Crosshair:
                               return "FromCrosshair";
                             default:
                               return "FromCustom";
                           }
                         });

}  // namespace
}  // namespace brindlewick
