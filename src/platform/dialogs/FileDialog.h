#pragma once

#include <QString>

namespace brindlewick {

// The window's one file dialog, shared by the open and save commands. Its properties are set
// before showing it; FileName is both the proposed name and the result, empty after a cancel.
// When several files are picked, FileName holds the folder, then each file name, separated by
// NUL characters.
class FileDialog {
 public:
  virtual ~FileDialog() = default;
  virtual void ShowOpen() = 0;
  virtual void ShowSave() = 0;

  QString FileName;
  QString DialogTitle;
  QString Filter;  // "label|patterns" pairs, patterns separated by ';'
};

}  // namespace brindlewick
