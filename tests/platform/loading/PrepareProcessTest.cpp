#include "platform/loading/PrepareProcess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/files/FileBytes.h"
#include "platform/jpeg/JpegDecoder.h"
#include "support/FileSystem.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

// A process's name and scheduling policy, as the system shows them.
struct Seen {
  std::string name;
  int policy = -1;
};
Seen SeenFromOutside(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  const std::string stat((std::istreambuf_iterator<char>(file)), {});
  const size_t open = stat.find('('), close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos) return {};
  std::istringstream fields(stat.substr(close + 2));
  std::vector<std::string> values(39);  // the state (field 3) to the policy (field 41)
  for (std::string& value : values) fields >> value;
  return {stat.substr(open + 1, close - open - 1), std::stoi(values[38])};
}

class PrepareProcessTest : public ::testing::Test {
 protected:
  // The order for the picture at half its size, as the file is now.
  Preparer::Order orderFor(const QString& path) {
    FileContents file = ReadFileContents(path, kMaxPictureFileBytes);
    const JpegHeader header = ReadJpegHeader(file.bytes);
    const DecodePlan plan = PlanDecode(header, QSizeF(header.natural) / 2, 1);
    return {path, file.keepWhile.value_or(FileIdentity{}), file.bytes, header, plan};
  }

  test::TempFolder folder;
  const QString picture =
      test::Settled(test::WriteJpeg(folder.path("a.jpg"), test::PatternImage(800, 600)));
};

TEST_F(PrepareProcessTest, AHelperAtIdlePriorityDecodesTheOrderAsThisProcessWould) {
  PrepareProcess preparer;
  const Preparer::Order order = orderFor(picture);
  preparer.start(order);
  preparer.waitUntilIdle();
  const Preparer::Outcome outcome = preparer.poll();
  ASSERT_EQ(outcome.state, Preparer::Outcome::Done);
  const Picture here = DecodeJpeg(order.file, order.header, order.plan);
  EXPECT_EQ(outcome.picture.naturalSize(), QSize(800, 600));
  EXPECT_EQ(outcome.picture.pixels(), here.pixels());

  const pid_t helper = preparer.helperForTest();
  ASSERT_GT(helper, 0);
  EXPECT_NE(helper, getpid());
  const Seen seen = SeenFromOutside(helper);
  EXPECT_EQ(seen.name, "decode prepare");
  EXPECT_EQ(seen.policy, SCHED_IDLE);
}

// Pixels of another version of the file would be handed out for this one.
TEST_F(PrepareProcessTest, AFileChangedSinceTheOrderWasReadIsNotPrepared) {
  PrepareProcess preparer;
  const Preparer::Order order = orderFor(picture);
  test::Settled(test::WriteJpeg(picture, test::PatternImage(600, 800)));
  preparer.start(order);
  preparer.waitUntilIdle();
  EXPECT_EQ(preparer.poll().state, Preparer::Outcome::Failed);
}

// Stopped, the helper is killed and its memory taken back without waiting for it to run; the
// next order starts another, and the end of the preparer waits for none.
TEST_F(PrepareProcessTest, AStopEndsTheHelperAtOnceAndTheNextOrderStartsAnother) {
  auto preparer = std::make_unique<PrepareProcess>();
  preparer->start(orderFor(picture));
  const pid_t first = preparer->helperForTest();
  preparer->stop();
  EXPECT_EQ(preparer->helperForTest(), -1);
  EXPECT_EQ(preparer->poll().state, Preparer::Outcome::Failed);  // nothing under way

  preparer->start(orderFor(picture));
  EXPECT_NE(preparer->helperForTest(), first);
  preparer->waitUntilIdle();
  EXPECT_EQ(preparer->poll().state, Preparer::Outcome::Done);
  preparer->start(orderFor(picture));
  preparer.reset();
}

}  // namespace
}  // namespace brindlewick
