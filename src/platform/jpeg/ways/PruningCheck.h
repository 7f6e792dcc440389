#pragma once

#include <QByteArrayView>

namespace brindlewick {

// Whether the ways that keep only the coefficients libjpeg's IDCTs read may be used with the
// libjpeg-turbo this program runs on: this build's library is one they were checked against, and a
// small progressive picture kept here decodes to the same pixels both ways. Found out once, on
// first use.
bool PruningHolds();

// Whether this build's libjpeg-turbo is one whose internals those ways were checked against (the
// list is in ARCHITECTURE.md, decision 5).
bool PruningCheckedAgainstThisLibrary();

// Whether the progressive stream gives libjpeg's whole-file pixels of `progressive` at every
// reduced scale, leaving scans out at 1/8 at least.
bool PrunedDecodeMatchesWholeFile(QByteArrayView progressive);

}  // namespace brindlewick
