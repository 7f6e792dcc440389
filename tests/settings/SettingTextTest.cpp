#include "settings/SettingText.h"

#include <gtest/gtest.h>

#include <optional>

#include <QString>

#include "platform/errors/RuntimeError.h"

namespace brindlewick {
namespace {

// The error number a conversion fails with, or none.
template <class Convert>
std::optional<int> FailureOf(Convert convert) {
  try {
    convert();
    return std::nullopt;
  } catch (const RuntimeError& e) {
    return e.number();
  }
}

TEST(SettingText, BooleansAreWrittenAsWords) {
  EXPECT_EQ(TextFromBoolean(true), "True");
  EXPECT_EQ(TextFromBoolean(false), "False");
}

TEST(SettingText, BooleansReadFromWordsInAnyCaseOrNumbers) {
  const std::vector<std::pair<QString, bool>> readable{
      {"True", true},   {"true", true},   {"TRUE", true}, {" tRuE ", true}, {"False", false},
      {"false", false}, {"FALSE", false}, {"1", true},    {"-1", true},     {"0", false},
      {"0.0", false},   {"2.5", true},    {" 7 ", true},  {"-0", false}};
  for (const auto& [text, value] : readable) {
    EXPECT_EQ(BooleanFromText(text), value) << text.toStdString();
  }
  for (const QString text : {"", " ", "yes", "no", "Tru", "True!", "1x", "nan", "inf", "0x1"}) {
    EXPECT_EQ(FailureOf([&] { BooleanFromText(text); }), ErrorNumber::TypeMismatch)
        << text.toStdString();
  }
}

TEST(SettingText, WholeNumbersRoundHalvesToEvenAndStayIn32Bits) {
  const std::vector<std::pair<QString, int32_t>> readable{{"85", 85},
                                                          {" 60 ", 60},
                                                          {"-3", -3},
                                                          {"84.5", 84},
                                                          {"85.5", 86},
                                                          {"99.7", 100},
                                                          {"1e2", 100},
                                                          {"2147483647", INT32_MAX},
                                                          {"-2147483648", INT32_MIN}};
  for (const auto& [text, value] : readable) {
    EXPECT_EQ(LongFromText(text), value) << text.toStdString();
  }
  for (const QString text : {"", "abc", "True", "60%", "0x10", "nan"}) {
    EXPECT_EQ(FailureOf([&] { LongFromText(text); }), ErrorNumber::TypeMismatch)
        << text.toStdString();
  }
  for (const QString text : {"2147483648", "-2147483649", "1e12"}) {
    EXPECT_EQ(FailureOf([&] { LongFromText(text); }), ErrorNumber::Overflow) << text.toStdString();
  }
}

}  // namespace
}  // namespace brindlewick
