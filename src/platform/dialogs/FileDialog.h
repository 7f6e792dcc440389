#pragma once

#include <QString>

namespace brindlewick {

// The window's one file dialog, shared by the open and save commands. Its properties are set
// before showing it; FileName is both the proposed name and the result, empty after a cancel.
// When several files are picked, FileName holds the folder, then each file name, separated by
// NUL characters. InitDir is the folder it starts in: each showing leaves it at the folder the
// dialog showed last, as the platform's dialog remembers it; empty, it starts in the working
// folder.
class FileDialog {
 public:
  virtual ~FileDialog() = default;
  virtual void ShowOpen() = 0;
  virtual void ShowSave() = 0;

  QString FileName;
  QString DialogTitle;
  QString Filter;  // "label|patterns" pairs, patterns separated by ';'
  QString InitDir;
};

}  // namespace brindlewick
