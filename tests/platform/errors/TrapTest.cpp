#include "platform/errors/Trap.h"

#include <gtest/gtest.h>

#include <new>
#include <vector>

#include "platform/errors/RuntimeError.h"
#include "support/Fakes.h"

namespace brindlewick {
namespace {

TEST(FailureReport, HasDescriptionContextLineAndSupportSentence) {
  EXPECT_EQ(FailureReport("File not found: /x.jpg", "Form1", "DisplayPicture", 104),
            QStringLiteral("File not found: /x.jpg\r\n"
                           "in Wickbrook2021/08/31.Form1.DisplayPicture at line 104\r\r"
                           "Please email screenshot of this message to "
                           "support@brindlewick.example"));
}

TEST(Trap, ReportsAFailingStatementUnderItsNumberAndGoesOn) {
  test::RecordingErrorBox box;
  Trap trap(box, "Form1", "Picture1_MouseUp");
  std::vector<int> ran;
  trap(114, [&] { ran.push_back(114); });
  trap(116, [&] { throw RuntimeError(ErrorNumber::Overflow, "Overflow"); });
  trap(118, [&] { ran.push_back(118); });

  EXPECT_EQ(ran, (std::vector<int>{114, 118}));
  ASSERT_EQ(box.reports.size(), 1u);
  EXPECT_EQ(box.reports[0], FailureReport("Overflow", "Form1", "Picture1_MouseUp", 116));
}

TEST(Trap, AFailingConditionRunsTheStatementsItGuards) {
  test::RecordingErrorBox box;
  Trap trap(box, "Form1", "Form_Resize");
  bool guarded = false;
  if (trap.test(100,
                []() -> bool { throw RuntimeError(ErrorNumber::TypeMismatch, "Type mismatch"); })) {
    guarded = true;
  }
  EXPECT_TRUE(guarded);
  ASSERT_EQ(box.reports.size(), 1u);
  EXPECT_TRUE(box.reports[0].contains("Form1.Form_Resize at line 100"));
}

TEST(Trap, DescribesFailuresThatAreNotRunTimeErrors) {
  test::RecordingErrorBox box;
  Trap trap(box, "Form2", "Form_Load");
  trap(102, [] { throw std::bad_alloc(); });
  trap(104, [] { throw std::runtime_error("disk on fire"); });
  ASSERT_EQ(box.reports.size(), 2u);
  EXPECT_TRUE(box.reports[0].startsWith("Out of memory\r\n"));
  EXPECT_TRUE(box.reports[1].startsWith("disk on fire\r\n"));
}

TEST(RunUntrapped, ShowsAFailureWithItsDescriptionAloneAndLetsNothingEscape) {
  test::RecordingErrorBox box;
  bool after = false;
  RunUntrapped(
      box, [] { throw RuntimeError(ErrorNumber::InvalidPropertyValue, "Invalid property value"); });
  RunUntrapped(box, [&] { after = true; });
  EXPECT_TRUE(after);
  EXPECT_EQ(box.reports, std::vector<QString>{"Invalid property value"});
}

}  // namespace
}  // namespace brindlewick
