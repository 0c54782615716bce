#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/posix/signal_end_requests.h"

namespace fu {
namespace {

// Each case runs in a child process, so that a signal that is not held ends
// the child, not the test program.
TEST(SignalEndRequestsDeathTest, SignalIsHeldDuringAHoldAndEndsTheProgramOutsideOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    EXPECT_EXIT(
        {
          SignalEndRequests requests;
          requests.Hold();
          std::raise(signal);
          const bool reported = requests.Release();
          requests.Hold();
          const bool again = requests.Release();
          std::_Exit(reported && !again ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
          SignalEndRequests requests;
          requests.Hold();
          requests.Release();
          std::raise(signal);
          std::_Exit(0);
        },
        ::testing::KilledBySignal(signal), "");
    // A console program says why it ends; a hold before does not keep it silent.
    EXPECT_EXIT(
        {
          SignalEndRequests requests("\nAbbruch\n");
          requests.Hold();
          requests.Release();
          std::raise(signal);
          std::_Exit(0);
        },
        ::testing::KilledBySignal(signal), "\nAbbruch\n");
  }
}

TEST(SignalEndRequestsDeathTest, ClosedOutputFailsTheWriteInsteadOfEndingTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const SignalEndRequests requests;
        int pipe_ends[2];
        if (::pipe(pipe_ends) != 0) {
          std::_Exit(2);
        }
        ::close(pipe_ends[0]);
        const bool failed = ::write(pipe_ends[1], "x", 1) == -1 && errno == EPIPE;
        std::_Exit(failed ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace fu
