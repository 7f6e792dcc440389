#pragma once

namespace brindlewick {

// Whether the pruned decode of progressive files may be used with the libjpeg-turbo this program
// runs on: this build's library is one it was checked against, and a small progressive picture
// kept here decodes to the same pixels both ways. Found out once, on first use.
bool PruningHolds();

}  // namespace brindlewick
