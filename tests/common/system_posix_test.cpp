// What the Monitor undoes at its start of what its launcher left behind.
#include <signal.h>

#include <gtest/gtest.h>

#include "common/system.h"

namespace qv {
namespace {

bool IsDefault(int signal) {
  struct sigaction now {};
  sigaction(signal, nullptr, &now);
  return now.sa_handler == SIG_DFL;
}

TEST(InheritedSignals, IgnoredAndBlockedSignalsAreResetAtTheStart) {
  // As a launcher that ignores SIGCHLD and blocks SIGTERM would leave them.
  signal(SIGCHLD, SIG_IGN);
  signal(SIGHUP, SIG_IGN);
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGUSR1);
  sigset_t saved;
  ASSERT_EQ(sigprocmask(SIG_BLOCK, &blocked, &saved), 0);

  ResetInheritedSignalState();

  EXPECT_TRUE(IsDefault(SIGCHLD));
  EXPECT_TRUE(IsDefault(SIGHUP));
  sigset_t now;
  sigprocmask(SIG_SETMASK, nullptr, &now);
  EXPECT_FALSE(sigismember(&now, SIGTERM));
  EXPECT_FALSE(sigismember(&now, SIGUSR1));
  sigprocmask(SIG_SETMASK, &saved, nullptr);
}

}  // namespace
}  // namespace qv
