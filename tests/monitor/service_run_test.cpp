#include "monitor/service/service_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "common/service_names.h"
#include "tests/support/fake_clock.h"

namespace qv {
namespace {

// The part of a status report that changes.
struct Report {
  std::uint32_t state;
  std::uint32_t checkPoint;
  std::uint32_t waitHint;
  bool operator==(const Report&) const = default;
};

void PrintTo(const Report& r, std::ostream* out) {
  *out << "{" << r.state << ", " << r.checkPoint << ", " << r.waitHint << "}";
}

constexpr Report kStartPending{kServiceStartPending, 1, 30000};
constexpr Report kRunning{kServiceRunning, 0, 0};
constexpr Report kStopped{kServiceStopped, 0, 0};
Report StopPending(std::uint32_t checkPoint) { return {kServiceStopPending, checkPoint, 3000}; }

// Runs the service's main function on the dispatching thread, as the
// service manager does on one of its own, and keeps every report.
class FakeServiceHost final : public ServiceHost {
 public:
  bool RunDispatcher(const wchar_t* serviceName, ServiceCallbacks& service) override {
    EXPECT_EQ(std::wstring(serviceName), kMonitorServiceName);
    service_ = &service;
    service.Main();
    return true;
  }
  void RegisterControl(const wchar_t* serviceName) override {
    EXPECT_EQ(std::wstring(serviceName), kMonitorServiceName);
    registered_ = true;
  }
  void ReportStatus(const ServiceStatusRecord& status) override {
    EXPECT_TRUE(registered_);
    EXPECT_EQ(status.serviceType, kServiceWin32OwnProcess);
    EXPECT_EQ(status.controlsAccepted, kServiceAcceptStop);
    EXPECT_EQ(status.win32ExitCode, 0u);
    EXPECT_EQ(status.serviceSpecificExitCode, 0u);
    const std::lock_guard<std::mutex> hold(lock_);
    reports_.push_back({status.currentState, status.checkPoint, status.waitHint});
    threads_.push_back(std::this_thread::get_id());
    reported_.notify_all();
  }

  // Delivers `control` as the dispatcher does; the reports it made.
  std::vector<Report> Send(std::uint32_t control) {
    std::size_t from = Reports().size();
    service_->Control(control);
    const std::lock_guard<std::mutex> hold(lock_);
    std::vector<Report> made;
    for (; from < reports_.size(); ++from) {
      if (threads_[from] == std::this_thread::get_id()) made.push_back(reports_[from]);
    }
    return made;
  }
  // Until STOP_PENDING has been reported with `checkPoint` or a later one.
  void AwaitCheckPoint(std::uint32_t checkPoint) {
    std::unique_lock<std::mutex> hold(lock_);
    // Bounded only so that a checkpoint that never moves fails, not hangs.
    const bool reached = reported_.wait_for(hold, std::chrono::seconds(20), [&] {
      return !reports_.empty() && reports_.back().state == kServiceStopPending &&
             reports_.back().checkPoint >= checkPoint;
    });
    EXPECT_TRUE(reached) << "no STOP_PENDING checkpoint " << checkPoint;
  }
  std::vector<Report> Reports() {
    const std::lock_guard<std::mutex> hold(lock_);
    return reports_;
  }

 private:
  ServiceCallbacks* service_ = nullptr;
  bool registered_ = false;
  std::mutex lock_;
  std::condition_variable reported_;
  std::vector<Report> reports_;
  std::vector<std::thread::id> threads_;
};

// One service run over the fake host, with start and stop sequences that
// count their runs and do what the case asks.
struct ServiceRunner {
  ServiceRunner() { clock.TickOnEverySleep(); }

  // Runs the service to its end; `whileRunning` runs on the test's thread
  // once the start sequence has returned.
  void Run(const std::function<void()>& whileRunning) {
    std::promise<void> started;
    ServiceRun run(host, clock, {[&] {
                                   ++starts;
                                   duringStart();
                                   started.set_value();
                                 },
                                 [&] {
                                   ++stops;
                                   duringStop();
                                 }});
    std::jthread dispatcher([&] { dispatched = run.Run(); });
    started.get_future().wait();
    whileRunning();
  }
  FakeServiceHost host;
  // Each wait is a real millisecond: the checkpoints move on at once.
  test::FakeClock clock;
  std::function<void()> duringStart = [] {};
  std::function<void()> duringStop = [] {};
  int starts = 0;
  int stops = 0;
  bool dispatched = false;
};

TEST(ServiceRun, RunsEachSequenceOnceAndEndsStoppedWhereverTheStopComes) {
  const struct {
    const char* name;
    bool duringStart;
  } cases[] = {{"while running", false}, {"during the start sequence", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ServiceRunner service;
    service.duringStart = [&] {
      if (c.duringStart) service.host.Send(kServiceControlStop);
    };
    // A stop sequence that lasts three checkpoint periods.
    service.duringStop = [&] { service.host.AwaitCheckPoint(3); };
    service.Run([&] {
      if (!c.duringStart) service.host.Send(kServiceControlStop);
    });
    EXPECT_TRUE(service.dispatched);
    EXPECT_EQ(service.starts, 1);
    EXPECT_EQ(service.stops, 1);
    const std::vector<Report> reports = service.host.Reports();
    ASSERT_GE(reports.size(), 7u);
    std::vector<Report> expected = {kStartPending, kRunning};
    for (std::uint32_t point = 0; expected.size() + 1 < reports.size(); ++point) {
      expected.push_back(StopPending(point));
    }
    expected.push_back(kStopped);
    EXPECT_EQ(reports, expected);
  }
}

TEST(ServiceRun, ControlDuringTheStopReportsTheRecordWithoutTakingTheCheckpointBack) {
  for (const std::uint32_t control : {kServiceControlStop, kServiceControlInterrogate}) {
    SCOPED_TRACE(control);
    ServiceRunner service;
    std::vector<Report> made;
    service.duringStop = [&] {
      service.host.AwaitCheckPoint(2);
      made = service.host.Send(control);
    };
    service.Run([&] { service.host.Send(kServiceControlStop); });
    EXPECT_EQ(service.stops, 1);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0], StopPending(made[0].checkPoint));
    EXPECT_GE(made[0].checkPoint, 2u);
  }
}

TEST(ServiceRun, ControlWhileRunningChangesNoState) {
  const struct {
    std::uint32_t control;
    std::vector<Report> reported;
  } cases[] = {
      {kServiceControlInterrogate, {kRunning}},
      {2, {}},  // PAUSE
      {5, {}},  // SHUTDOWN: not accepted, so no stop sequence
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.control);
    ServiceRunner service;
    service.Run([&] {
      EXPECT_EQ(service.host.Send(c.control), c.reported);
      EXPECT_EQ(service.stops, 0);
      service.host.Send(kServiceControlStop);
    });
  }
}

}  // namespace
}  // namespace qv
