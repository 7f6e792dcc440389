#pragma once

#include <QString>
#include <QStringList>

#include "view/DisplayPicture.h"

namespace brindlewick {

struct Application;
class FileDialog;
class MouseGate;
class OneShotTimer;

inline constexpr char kSamplePicture[] = "Samples/sample1.jpg";

// What the open commands work on: the display, the selection's gate, the window's file dialog,
// the timer that lets the mouse rest, and the application's folder.
struct OpenContext {
  DisplayContext display;
  MouseGate& selection;
  FileDialog& CommonDialog1;
  OneShotTimer& Timer1;
  const Application& App;
};

// "Select Picture": asks for one or more JPEG files and shows each in turn; the last stays.
void mnuSelectPicture_Click(OpenContext& form);

// Opens the files picked, given as their paths, exactly as "Select Picture" opens what its dialog
// returns: each is shown in turn and the last stays, then saving is enabled and the mouse rests
// for a moment. Failures are reported as that command's.
void OpenPictures(OpenContext& form, const QStringList& paths);

// Opens pictures that came from outside the dialog, dropped or named on the command line, as
// OpenPictures does; the dialog then starts in the folder of the one that stays, as if it had
// been picked there.
void OpenGivenPictures(OpenContext& form, const QStringList& paths);

// "Load Sample": shows the sample picture that lies beside the program.
void LoadSample_Click(OpenContext& form);

// The tick of the 500 ms timer started by the open commands: mouse input is taken again.
void Timer1_Timer(OneShotTimer& Timer1, MouseGate& selection);

// Collapses doubled separators in one left-to-right pass ("//" to "/", "///" to "//", "////" to
// "//"); a leading run of separators becomes a single one, POSIX having no network-share prefix.
QString NormalizePath(const QString& path);

}  // namespace brindlewick
