#pragma once

#include <QString>

namespace brindlewick {

// The application title derived from a product name: the last word is dropped, then more words
// from the end until at most 40 characters remain. A name without a space is kept whole.
QString ApplicationTitleFor(const QString& productName);

}  // namespace brindlewick
