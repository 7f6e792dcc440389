#include "platform/colour/SrgbConversion.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <QFile>

#include <lcms2.h>

#include "JpegVariants.h"
#include "PhotoSynth.h"
#include "platform/jpeg/JpegDecoder.h"
#include "support/Decoding.h"
#include "support/FileSystem.h"
#include "support/Programs.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

QByteArray Profile(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  return file.readAll();
}

const QString kColord = QStringLiteral("/usr/share/color/icc/colord/");
const QString kGhostscript = QStringLiteral("/usr/share/color/icc/ghostscript/");

// The profile's bytes as Little CMS writes them.
QByteArray Saved(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  QByteArray bytes(qsizetype(size), Qt::Uninitialized);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  return bytes;
}

// A LUT-based profile (a table from RGB to Lab) that describes the same colours as the
// matrix-and-curves profile it is sampled from.
QByteArray LutProfile(const QByteArray& matrixProfile) {
  cmsHPROFILE from =
      cmsOpenProfileFromMem(matrixProfile.data(), cmsUInt32Number(matrixProfile.size()));
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  cmsHTRANSFORM toLab = cmsCreateTransform(from, TYPE_RGB_16, lab, TYPE_Lab_16, INTENT_PERCEPTUAL,
                                           cmsFLAGS_NOOPTIMIZE);
  cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 3, 3);
  cmsStage* table = cmsStageAllocCLut16bit(nullptr, 33, 3, 3, nullptr);
  cmsStageSampleCLut16bit(
      table,
      [](const cmsUInt16Number in[], cmsUInt16Number out[], void* transform) -> cmsInt32Number {
        cmsDoTransform(transform, in, out, 1);
        return TRUE;
      },
      toLab, 0);
  // The shape a LutAtoB tag takes: curves, the table, curves (both identities here).
  cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
  cmsPipelineInsertStage(pipeline, cmsAT_END, table);
  cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
  cmsHPROFILE lut = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(lut, 4.3);
  cmsSetDeviceClass(lut, cmsSigInputClass);
  cmsSetColorSpace(lut, cmsSigRgbData);
  cmsSetPCS(lut, cmsSigLabData);
  cmsWriteTag(lut, cmsSigAToB0Tag, pipeline);
  cmsWriteTag(lut, cmsSigMediaWhitePointTag, cmsD50_XYZ());
  const QByteArray bytes = Saved(lut);
  cmsCloseProfile(lut);
  cmsPipelineFree(pipeline);
  cmsDeleteTransform(toLab);
  cmsCloseProfile(lab);
  cmsCloseProfile(from);
  return bytes;
}

// The profile with another description.
QByteArray Described(const QByteArray& profile, const char* description) {
  cmsHPROFILE opened = cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size()));
  cmsMLU* text = cmsMLUalloc(nullptr, 1);
  cmsMLUsetASCII(text, "en", "US", description);
  cmsWriteTag(opened, cmsSigProfileDescriptionTag, text);
  const QByteArray bytes = Saved(opened);
  cmsMLUfree(text);
  cmsCloseProfile(opened);
  return bytes;
}

// What Pillow's ImageCms, on Little CMS, makes of a tagged file: its sRGB pixels, 8-bit RGB.
QByteArray PillowSrgb(const QString& path) {
  const test::ProgramRun python = test::RunProgram(
      QStringLiteral("/usr/bin/python3"),
      {QStringLiteral("-c"),
       QStringLiteral(
           "import io, sys\n"
           "from PIL import Image, ImageCms\n"
           "im = Image.open(sys.argv[1])\n"
           "profile = ImageCms.ImageCmsProfile(io.BytesIO(im.info['icc_profile']))\n"
           "out = ImageCms.profileToProfile(im, profile, ImageCms.createProfile('sRGB'),\n"
           "    renderingIntent=ImageCms.getDefaultIntent(profile), outputMode='RGB')\n"
           "sys.stdout.buffer.write(out.tobytes())\n"),
       path});
  EXPECT_EQ(python.exitCode, 0) << python.err.toStdString();
  return python.out;
}

// The largest difference in any channel of any pixel.
int LargestDifference(const QImage& ours, const QByteArray& rgb) {
  int largest = 0;
  for (int y = 0; y < ours.height(); ++y) {
    for (int x = 0; x < ours.width(); ++x) {
      const QRgb p = ours.pixel(x, y);
      const auto* q =
          reinterpret_cast<const uchar*>(rgb.constData()) + (qsizetype(y) * ours.width() + x) * 3;
      largest = std::max({largest, std::abs(qRed(p) - q[0]), std::abs(qGreen(p) - q[1]),
                          std::abs(qBlue(p) - q[2])});
    }
  }
  return largest;
}

TEST(ColourProfiles, TurnTaggedPhotosIntoSrgbAsLittleCmsDoes) {
  const QImage photo = SynthesizePhoto(96, 64, 4).convertToFormat(QImage::Format_RGB32);
  const QByteArray colour = test::JpegBytes(photo, {95, ChromaSubsampling::Full444, false, true});
  const QByteArray gray = test::JpegBytes(photo, {95, ChromaSubsampling::Gray, false, true});
  const QByteArray cmyk = variants::CmykJpeg(photo, 95, 230);
  const QByteArray adobe = Profile(kColord + "AdobeRGB1998.icc");
  const struct {
    const char* name;
    QByteArray jpeg;
    QByteArray profile;
  } files[] = {
      {"Adobe RGB", colour, adobe},
      {"ProPhoto", colour, Profile(kColord + "ProPhotoRGB.icc")},
      {"red and green swapped", colour, Profile(kColord + "SwappedRedAndGreen.icc")},
      {"Adobe RGB as a table", colour, LutProfile(adobe)},
      {"Adobe RGB described as sRGB", colour, Described(adobe, "sRGB IEC61966-2.1")},
      {"gray", gray, Profile(kGhostscript + "sgray.icc")},
      {"CMYK", cmyk, Profile(kGhostscript + "default_cmyk.icc")},
  };
  test::TempFolder folder;
  for (const auto& file : files) {
    SCOPED_TRACE(file.name);
    const QString path = folder.path(QString::fromLatin1(file.name) + ".jpg");
    test::WriteBytes(
        path, variants::WithSegmentsFirst(file.jpeg, variants::IccSegments(file.profile, 4000)));
    const QImage ours = test::DecodeJpeg(test::Contents(path)).pixels();
    const QByteArray theirs = PillowSrgb(path);
    ASSERT_EQ(theirs.size(), qsizetype(ours.width()) * ours.height() * 3);
    EXPECT_LE(LargestDifference(ours, theirs), 2);
    // Shown as it always was, the tagged file's numbers would differ far more.
    EXPECT_GT(LargestDifference(test::DecodeJpeg(file.jpeg).pixels(), theirs), 8);
  }
}

// Files without a usable profile, and files tagged sRGB, keep exactly the pixels they always had,
// at full size and through the quicker ways at reduced sizes.
TEST(ColourProfiles, LeaveUntaggedSrgbAndBrokenOnesExactlyAsTheyWere) {
  const QImage photo = SynthesizePhoto(203, 141, 6).convertToFormat(QImage::Format_RGB32);
  const QByteArray baseline = test::JpegBytes(photo);
  const QByteArray progressive =
      test::JpegBytes(photo, {90, ChromaSubsampling::Quarter420, true, true});
  const QByteArray adobe = Profile(kColord + "AdobeRGB1998.icc");
  QByteArray garbage = adobe;
  garbage.replace(0, 64, QByteArray(64, 'x'));
  const QByteArray twoChunks = variants::IccSegments(adobe, adobe.size() / 2 + 1);
  const struct {
    const char* name;
    QByteArray segments;
  } tags[] = {
      {"sRGB (colord)", variants::IccSegments(Profile(kColord + "sRGB.icc"))},
      {"sRGB (icc-profiles-free)",
       variants::IccSegments(Profile(QStringLiteral("/usr/share/color/icc/sRGB.icc")))},
      {"sRGB (Ghostscript)", variants::IccSegments(Profile(kGhostscript + "srgb.icc"))},
      {"a chunk missing", twoChunks.left(twoChunks.indexOf("\xff\xe2", 4))},
      {"not a profile", variants::IccSegments(garbage)},
      {"for CMYK pixels", variants::IccSegments(Profile(kGhostscript + "default_cmyk.icc"))},
  };
  for (const auto& tag : tags) {
    SCOPED_TRACE(tag.name);
    for (const QByteArray& jpeg : {baseline, progressive}) {
      const QByteArray tagged = variants::WithSegmentsFirst(jpeg, tag.segments);
      for (const QSizeF painted : {QSizeF(203, 141), QSizeF(26, 18)}) {
        const PictureRequest request([painted](QSize) { return painted; }, 2);
        EXPECT_TRUE(test::DecodeJpeg(tagged, request).pixels() ==
                    test::DecodeJpeg(jpeg, request).pixels());
      }
    }
  }
}

TEST(ColourProfiles, AProfileSeenBeforeTakesTheSameTransform) {
  const QByteArray adobe = Profile(kColord + "AdobeRGB1998.icc");
  const auto first = SrgbConversion::For(adobe, DecodedPixels::Colour);
  ASSERT_TRUE(first);
  EXPECT_EQ(SrgbConversion::For(adobe, DecodedPixels::Colour), first);
  EXPECT_FALSE(SrgbConversion::For(adobe, DecodedPixels::Gray));  // a profile for other pixels
}

}  // namespace
}  // namespace brindlewick
