#pragma once

namespace brindlewick {

// What the file dialog offers when a picture is opened and when one is saved: JPEG files alone.
inline constexpr char kJpegFilter[] = "JPEG Image (*.jpg;*.jpeg)|*.jpg;*.jpeg";

}  // namespace brindlewick
