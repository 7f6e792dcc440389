#pragma once

namespace brindlewick {

class ErrorBox;
class FileDialog;
class ImagingLibrary;
class MainWindowShell;
struct PictureDocument;

// What saving works on: the view and the quality in the document, the window (for the busy
// pointer), the error box, the window's file dialog and the imaging library.
struct SaveContext {
  const PictureDocument& doc;
  MainWindowShell& window;
  ErrorBox& errors;
  FileDialog& CommonDialog1;
  ImagingLibrary& imaging;
};

// "Save Image": asks for a file name and writes what the view shows, at the view's size, as a
// JPEG at the current output quality. Cancelling writes nothing.
void mnuSave_Click(SaveContext& form);

}  // namespace brindlewick
