#pragma once

#include <cstdint>

class QString;

namespace brindlewick {

// Settings are text; these read and write the program's values the classic way.

// "True" or "False".
QString TextFromBoolean(bool value);

// The words True and False in any letter case, or a number where non-zero means true. Anything
// else is a Type mismatch (13).
bool BooleanFromText(const QString& text);

// A decimal number rounded to the nearest whole number, halves to even. Text that is not a
// number is a Type mismatch (13); a number outside 32 bits an Overflow (6).
int32_t LongFromText(const QString& text);

}  // namespace brindlewick
