#pragma once

#include <QString>
#include <QStringList>

namespace brindlewick {

struct Form1Context;

inline constexpr char kJpegFilter[] = "JPEG Image (*.jpg;*.jpeg)|*.jpg;*.jpeg";
inline constexpr char kSamplePicture[] = "Samples/sample1.jpg";

// "Select Picture": asks for one or more JPEG files and shows each in turn; the last stays.
void mnuSelectPicture_Click(Form1Context& form);

// Opens the files picked, given as their paths, exactly as "Select Picture" opens what its dialog
// returns: each is shown in turn and the last stays, then saving is enabled and the mouse rests
// for a moment. Failures are reported as that command's.
void OpenPictures(Form1Context& form, const QStringList& paths);

// "Load Sample": shows the sample picture that lies beside the program.
void LoadSample_Click(Form1Context& form);

// Collapses doubled separators in one left-to-right pass ("//" to "/", "///" to "//", "////" to
// "//"); a leading run of separators becomes a single one, POSIX having no network-share prefix.
QString NormalizePath(const QString& path);

}  // namespace brindlewick
