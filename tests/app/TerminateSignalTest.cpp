#include "app/TerminateSignal.h"

#include <gtest/gtest.h>

#include <csignal>

#include <QCoreApplication>
#include <QDeadlineTimer>

namespace brindlewick {
namespace {

TEST(TerminateSignal, ARequestToEndArrivesOnTheEventLoopAndTheDefaultComesBackAfter) {
  {
    TerminateSignal terminate;
    int received = 0;
    QObject::connect(&terminate, &TerminateSignal::received, [&] { ++received; });
    // The process survives both; two requests before the loop runs are one.
    ASSERT_EQ(std::raise(SIGTERM), 0);
    ASSERT_EQ(std::raise(SIGTERM), 0);
    EXPECT_EQ(received, 0);
    for (QDeadlineTimer deadline(2000); received == 0 && !deadline.hasExpired();) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    EXPECT_EQ(received, 1);
  }
  struct sigaction now {};
  ASSERT_EQ(::sigaction(SIGTERM, nullptr, &now), 0);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
}

}  // namespace
}  // namespace brindlewick
