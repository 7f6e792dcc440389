#pragma once

#include <cstddef>
#include <cstdint>

namespace brindlewick::fuzz {

// Each takes one input as the outside world could hand it to the program and runs it through the
// code that reads it. Any failure must come out as a RuntimeError; anything else (a crash, a
// sanitizer report, a hang) is a bug.

// A picture file: loaded as the view loads it, then estimated.
void Picture(const uint8_t* data, size_t size);

// A progressive JPEG pruned to the scans each reduced DCT scale reads, then decoded as a view
// eight times smaller than the picture would decode it.
void ProgressiveScans(const uint8_t* data, size_t size);

// The restart intervals of a JPEG file: every band cut from it reads back with its own intervals,
// and a decode in bands gives exactly the whole file's pixels or is refused.
void RestartBands(const uint8_t* data, size_t size);

// A baseline JPEG's data cut into parts decoded side by side: the stream made of them, with and
// without restart intervals and with parts that rarely fall into step, decodes to exactly the
// whole file's pixels, or is refused.
void BaselineSplit(const uint8_t* data, size_t size);
// The EXIF orientation of a JPEG file, applied to a small picture.
void ExifOrientation(const uint8_t* data, size_t size);

// Colour profiles in APP2 chunks of any number, order and size, before a small valid picture in
// colour, gray or CMYK (the first byte chooses), decoded as the view decodes it. The input after
// that byte is a run of chunks: sequence number, count, two bytes of length, then the chunk.
void ColourProfile(const uint8_t* data, size_t size);

// A settings file as the options dialog reads it, then one choice stored back into it.
void SettingsFile(const uint8_t* data, size_t size);

// A Windows cursor file, as the options dialog reads the hand pointer.
void CursorFile(const uint8_t* data, size_t size);

}  // namespace brindlewick::fuzz
