#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

namespace brindlewick {

// The pictures a drop brings: the absolute paths of the local files named as JPEG files, in the
// order dropped. Empty, so that the drop is refused, when anything dropped is not one: a file
// that is not named as a JPEG, a remote address, a folder, or nothing at all.
QStringList DroppedPictures(const QList<QUrl>& urls);

}  // namespace brindlewick
