#include "platform/QtFileDialog.h"

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

TEST(QtFileDialog, ShowsTheFilterLabelAsWrittenAndMatchesBothCases) {
  EXPECT_EQ(QtFileDialog::NameFilters("JPEG Image (*.jpg;*.jpeg)|*.jpg;*.jpeg"),
            QStringList{"JPEG Image (*.jpg;*.jpeg) (*.jpg *.JPG *.jpeg *.JPEG)"});
  EXPECT_EQ(QtFileDialog::NameFilters("All|*|Text|*.txt").size(), 2);
}

TEST(QtFileDialog, JoinsSeveralPicksAsFolderThenNames) {
  EXPECT_EQ(QtFileDialog::JoinSelection({}), "");
  EXPECT_EQ(QtFileDialog::JoinSelection({"/p/a.jpg"}), "/p/a.jpg");
  EXPECT_EQ(QtFileDialog::JoinSelection({"/p/a.jpg", "/p/b c.jpg"}),
            QString("/p") + QChar(0) + "a.jpg" + QChar(0) + "b c.jpg");
  EXPECT_EQ(QtFileDialog::JoinSelection({"/a.jpg", "/b.jpg"}),
            QString("/") + QChar(0) + "a.jpg" + QChar(0) + "b.jpg");
}

}  // namespace
}  // namespace brindlewick
