#include "common/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>

namespace qv {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST(SystemClockWait, AStopFromAnotherThreadEndsTheWaitEarlyAndNoStopRunsItOut) {
  std::stop_source stop;
  const steady_clock::time_point begin = steady_clock::now();
  std::jthread requester([&stop] {
    std::this_thread::sleep_for(milliseconds(50));
    stop.request_stop();
  });
  EXPECT_TRUE(SystemClock().WaitMs(60000, stop.get_token()));
  EXPECT_LT(steady_clock::now() - begin, std::chrono::seconds(30));
  EXPECT_FALSE(SystemClock().WaitMs(1, std::stop_source().get_token()));
}

// A stop requested from another thread just as the wait runs out: the wait
// must end all the same. (A wake-up lost there once left the service stopping
// for good.) One waiting thread takes round after round.
TEST(SystemClockWait, AStopAsTheWaitEndsNeverKeepsItWaiting) {
  struct Rounds {
    std::mutex lock;
    std::condition_variable changed;
    std::optional<std::stop_token> next;
    int ended = 0;
    bool quit = false;
  };
  auto rounds = std::make_shared<Rounds>();
  // Detached, so that a wait that never ends fails the test instead of hanging it.
  std::thread([rounds] {
    for (;;) {
      std::unique_lock<std::mutex> hold(rounds->lock);
      rounds->changed.wait(hold, [&] { return rounds->quit || rounds->next; });
      if (rounds->quit) return;
      const std::stop_token token = *std::exchange(rounds->next, std::nullopt);
      hold.unlock();
      SystemClock().WaitMs(1, token);
      hold.lock();
      ++rounds->ended;
      rounds->changed.notify_all();
    }
  }).detach();

  for (int round = 0; round < 3000; ++round) {
    std::stop_source stop;
    {
      std::lock_guard<std::mutex> hold(rounds->lock);
      rounds->next = stop.get_token();
    }
    rounds->changed.notify_all();
    std::this_thread::sleep_for(milliseconds(round % 3));
    stop.request_stop();
    std::unique_lock<std::mutex> hold(rounds->lock);
    ASSERT_TRUE(rounds->changed.wait_for(hold, std::chrono::seconds(20),
                                         [&] { return rounds->ended == round + 1; }))
        << "round " << round;
  }
  std::lock_guard<std::mutex> hold(rounds->lock);
  rounds->quit = true;
  rounds->changed.notify_all();
}

}  // namespace
}  // namespace qv
