#pragma once

#include <QList>
#include <QString>
#include <QUrl>

namespace brindlewick {

struct Form1Context;

// What the open dialog would have answered had the user picked the dropped files: one local
// JPEG file as its path; several JPEG files of one folder as the folder, then each name,
// separated by NUL characters. Empty when the drop is not one the dialog could have produced:
// nothing, a file that is not named as a JPEG, a remote address, or files from several folders.
QString DroppedSelection(const QList<QUrl>& urls);

// Opens a non-empty selection exactly as "Select Picture" opens what the dialog returns.
void OpenDroppedFiles(Form1Context& form, const QString& selection);

}  // namespace brindlewick
