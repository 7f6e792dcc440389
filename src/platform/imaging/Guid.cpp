#include "platform/imaging/Guid.h"

#include <cstddef>

namespace brindlewick {
namespace {

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads `digits` hex digits at text[at]; false if any is missing or not hex. Never reads past
// the terminating NUL, which is not a hex digit.
bool ReadHex(const char16_t* text, size_t at, int digits, uint64_t& value) {
  value = 0;
  for (int i = 0; i < digits; ++i) {
    const int v = HexValue(text[at + size_t(i)]);
    if (v < 0) return false;
    value = value << 4 | uint64_t(v);
  }
  return true;
}

bool Parse(const char16_t* text, Guid& out) {
  // Positions in "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
  if (text[0] != u'{') return false;
  uint64_t v = 0;
  if (!ReadHex(text, 1, 8, v) || text[9] != u'-') return false;
  out.Data1 = uint32_t(v);
  if (!ReadHex(text, 10, 4, v) || text[14] != u'-') return false;
  out.Data2 = uint16_t(v);
  if (!ReadHex(text, 15, 4, v) || text[19] != u'-') return false;
  out.Data3 = uint16_t(v);
  for (size_t i = 0; i < 2; ++i) {
    if (!ReadHex(text, 20 + 2 * i, 2, v)) return false;
    out.Data4[i] = uint8_t(v);
  }
  if (text[24] != u'-') return false;
  for (size_t i = 0; i < 6; ++i) {
    if (!ReadHex(text, 25 + 2 * i, 2, v)) return false;
    out.Data4[2 + i] = uint8_t(v);
  }
  return text[37] == u'}' && text[38] == u'\0';
}

}  // namespace

int32_t CLSIDFromString(const char16_t* text, Guid* clsid) {
  if (!clsid) return kClassStringError;
  Guid parsed;
  if (!text || !Parse(text, parsed)) {
    *clsid = Guid{};
    return kClassStringError;
  }
  *clsid = parsed;
  return kNoError;
}

}  // namespace brindlewick
