#include "app/ApplicationTitle.h"

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

struct TitleCase {
  const char* productName;
  const char* title;
};

class ApplicationTitle : public ::testing::TestWithParam<TitleCase> {};

TEST_P(ApplicationTitle, DropsTheLastWordThenMoreUntilAtMost40Characters) {
  EXPECT_EQ(ApplicationTitleFor(QString::fromUtf8(GetParam().productName)),
            QString::fromUtf8(GetParam().title));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ApplicationTitle,
    ::testing::Values(
        // Three short words keep the first two.
        TitleCase{"Fenwright Picture Cropper", "Fenwright Picture"},
        // Eight five-letter words are 47 characters: cut to 41, still too long, cut to 35.
        TitleCase{"aaaaa bbbbb ccccc ddddd eeeee fffff ggggg hhhhh",
                  "aaaaa bbbbb ccccc ddddd eeeee fffff"},
        // The first cut leaves exactly 40 characters: one cut only.
        TitleCase{"0123456789012345678901234567890123456789 tail",
                  "0123456789012345678901234567890123456789"},
        // No space to cut at: the whole name.
        TitleCase{"Brindlewick", "Brindlewick"},
        // A long last word with no space before it stays whole once the cuts run out.
        TitleCase{"x 01234567890123456789012345678901234567890123456789", "x"}, TitleCase{"", ""}));

}  // namespace
}  // namespace brindlewick
