#pragma once

#include <cstdint>
#include <string>

namespace brindlewick::bench {

// A picture of any size the format allows, up to 65535 x 65535, made of blocks so simple that it
// is coded directly, a row of blocks at a time, in seconds and with little memory: 4:2:0 YCbCr at
// quality 90 with the standard Huffman tables, no restart markers. Most blocks are flat (only a DC
// coefficient): a diagonal gradient of brightness over 8 x 8 tiles of flat colour, a white disc in
// the top-left tile and a black one in the tile right of it, so a view shows which way is up; the
// blocks on a grid every 1024 pixels carry one or two low AC coefficients (thin lines). The
// progressive copy holds the same coefficients in a DC scan and one AC scan per component (its
// AC table has runs of empty blocks). Most MCUs code in 4 bytes: the 65535 x 65535 picture takes
// 67 MiB, its progressive copy 27 MiB.
struct BlockPicture {
  int width = 65535;
  int height = 65535;
  bool progressive = false;
  // Data for only this many MCUs, then the end of the image: a file that declares its size and
  // holds next to nothing. Negative: every MCU.
  int64_t mcuLimit = -1;
};

// Writes the picture to `path` (beside it first, renamed once complete).
bool WriteBlockPicture(const std::string& path, const BlockPicture& picture);

}  // namespace brindlewick::bench
