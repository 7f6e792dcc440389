#include "app/SelectionKeys.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>

#include <QPoint>

namespace brindlewick {
namespace {

// The window runs the keys of the table (the widget tests press them); these are the rest of
// the table's reading: the keypad as the main keys, and nothing taken that it does not list.
TEST(SelectionKeyFor, ReadsTheKeypadAsTheMainKeysAndTakesNoOtherKey) {
  const auto ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
  const std::optional<SelectionKeyPress> left = SelectionKeyFor(Qt::Key_Left, ctrlShift);
  ASSERT_TRUE(left);
  EXPECT_EQ(left->step, SelectionStep::Resize);
  EXPECT_EQ(QPoint(left->dx, left->dy), QPoint(-10, 0));
  const std::optional<SelectionKeyPress> up = SelectionKeyFor(Qt::Key_Up, Qt::KeypadModifier);
  ASSERT_TRUE(up);
  EXPECT_EQ(QPoint(up->dx, up->dy), QPoint(0, -1));
  EXPECT_EQ(SelectionKeyFor(Qt::Key_Enter, Qt::KeypadModifier)->step, SelectionStep::Crop);
  for (const auto& [key, modifiers] : {std::pair{Qt::Key_A, Qt::KeyboardModifiers()},
                                       {Qt::Key_A, ctrlShift},
                                       {Qt::Key_Left, Qt::AltModifier},
                                       {Qt::Key_Return, Qt::ShiftModifier}}) {
    EXPECT_FALSE(SelectionKeyFor(key, modifiers)) << key << " " << modifiers;
  }
}

}  // namespace
}  // namespace brindlewick
