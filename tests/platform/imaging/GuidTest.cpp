#include "platform/imaging/Guid.h"

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

TEST(CLSIDFromString, ReadsTheFieldsInEitherCase) {
  const Guid expected{0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
  for (const char16_t* text :
       {u"{557CF401-1A04-11D3-9A73-0000F81EF32E}", u"{557cf401-1a04-11d3-9a73-0000f81ef32e}"}) {
    Guid parsed;
    EXPECT_EQ(CLSIDFromString(text, &parsed), kNoError);
    EXPECT_EQ(parsed, expected);
  }
  Guid quality;
  CLSIDFromString(u"{1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB}", &quality);
  EXPECT_EQ(quality,
            (Guid{0x1D5BE4B5, 0xFA4A, 0x452D, {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}}));
}

class CLSIDFromStringRejects : public ::testing::TestWithParam<const char16_t*> {};

TEST_P(CLSIDFromStringRejects, MalformedTextAndClearsTheCell) {
  Guid cell{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(CLSIDFromString(GetParam(), &cell), kClassStringError);
  EXPECT_EQ(cell, Guid{});
}

INSTANTIATE_TEST_SUITE_P(Texts, CLSIDFromStringRejects,
                         ::testing::Values(u"", u"557CF401-1A04-11D3-9A73-0000F81EF32E",
                                           u"{557CF401-1A04-11D3-9A73-0000F81EF32E",
                                           u"{557CF401-1A04-11D3-9A73-0000F81EF32E}x",
                                           u"{557CF401-1A04-11D3-9A730000F81EF32E}",
                                           u"{557CF401-1A04-11D3-9A73-0000F81EF32}",
                                           u"{557CF4G1-1A04-11D3-9A73-0000F81EF32E}",
                                           u"{557CF401 1A04-11D3-9A73-0000F81EF32E}",
                                           static_cast<const char16_t*>(nullptr)));

}  // namespace
}  // namespace brindlewick
