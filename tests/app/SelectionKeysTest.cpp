#include "app/SelectionKeys.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

namespace brindlewick {
namespace {

struct KeyCase {
  const char* name;
  int key;
  Qt::KeyboardModifiers modifiers;
  std::optional<SelectionStep> step;
  int dx = 0, dy = 0;
  friend void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }
};

class SelectionKeyForTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(SelectionKeyForTest, ReadsTheTableOfKeys) {
  const KeyCase& c = GetParam();
  const std::optional<SelectionKeyPress> press = SelectionKeyFor(c.key, c.modifiers);
  ASSERT_EQ(press.has_value(), c.step.has_value());
  if (!press) return;
  EXPECT_EQ(press->step, *c.step);
  EXPECT_EQ(press->dx, c.dx);
  EXPECT_EQ(press->dy, c.dy);
}

constexpr auto kCtrl = Qt::ControlModifier, kShift = Qt::ShiftModifier;
constexpr auto kKeypad = Qt::KeypadModifier;
INSTANTIATE_TEST_SUITE_P(
    Keys, SelectionKeyForTest,
    ::testing::Values(KeyCase{"CtrlA", Qt::Key_A, kCtrl, SelectionStep::SelectAll},
                      KeyCase{"Left", Qt::Key_Left, {}, SelectionStep::Move, -1, 0},
                      KeyCase{"KeypadDown", Qt::Key_Down, kKeypad, SelectionStep::Move, 0, 1},
                      KeyCase{"CtrlUp", Qt::Key_Up, kCtrl, SelectionStep::Move, 0, -10},
                      KeyCase{"ShiftRight", Qt::Key_Right, kShift, SelectionStep::Resize, 1, 0},
                      KeyCase{"CtrlShiftLeft", Qt::Key_Left, kCtrl | kShift, SelectionStep::Resize,
                              -10, 0},
                      KeyCase{"Return", Qt::Key_Return, {}, SelectionStep::Crop},
                      KeyCase{"KeypadEnter", Qt::Key_Enter, kKeypad, SelectionStep::Crop},
                      KeyCase{"Escape", Qt::Key_Escape, {}, SelectionStep::CallOff},
                      KeyCase{"ALone", Qt::Key_A, {}, std::nullopt},
                      KeyCase{"CtrlShiftA", Qt::Key_A, kCtrl | kShift, std::nullopt},
                      KeyCase{"AltLeft", Qt::Key_Left, Qt::AltModifier, std::nullopt},
                      KeyCase{"ShiftReturn", Qt::Key_Return, kShift, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brindlewick
