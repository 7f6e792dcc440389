#pragma once

#include <cstdint>

namespace brindlewick {

// A 16-byte class or parameter identity, laid out as the imaging library expects it.
struct Guid {
  uint32_t Data1 = 0;
  uint16_t Data2 = 0;
  uint16_t Data3 = 0;
  uint8_t Data4[8] = {};

  friend bool operator==(const Guid&, const Guid&) = default;
};

inline constexpr int32_t kNoError = 0;
inline constexpr int32_t kClassStringError = int32_t(0x800401F3);

// Converts "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits of either case) into *clsid.
// Returns kNoError, or kClassStringError with *clsid cleared when the text is not of that form.
int32_t CLSIDFromString(const char16_t* text, Guid* clsid);

}  // namespace brindlewick
