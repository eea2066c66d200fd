#pragma once
// A scripted Service Control Manager that records every call, and a clock
// whose sleeps record instead of sleeping, both into one journal.
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/text_util.h"
#include "configurator/service_restart.h"
#include "tests/support/fake_clock.h"

namespace qv::test {

class FakeServiceManager : public ServiceManager {
 public:
  explicit FakeServiceManager(std::vector<std::string>& journal) : journal_(journal) {}

  bool managerOpens = true;
  bool serviceInstalled = true;
  std::deque<std::optional<std::uint32_t>> states;  // answers to QueryState, in turn
  bool startAccepted = true;
  std::function<void()> onOpenManager;
  std::wstring openedName;

  Handle OpenManager() override {
    journal_.push_back("open manager");
    if (onOpenManager) onOpenManager();
    return managerOpens ? Track() : 0;
  }
  Handle OpenNamedService(Handle manager, std::wstring_view name) override {
    journal_.push_back("open service");
    openedName = name;
    if (open_.count(manager) == 0) journal_.push_back("BAD manager handle");
    return serviceInstalled ? Track() : 0;
  }
  std::optional<std::uint32_t> QueryState(Handle service) override {
    journal_.push_back("query");
    Use(service);
    if (states.empty()) return std::nullopt;
    auto state = states.front();
    states.pop_front();
    return state;
  }
  bool SendStop(Handle service) override {
    journal_.push_back("stop");
    Use(service);
    return true;
  }
  bool StartWithoutArguments(Handle service) override {
    journal_.push_back("start");
    Use(service);
    return startAccepted;
  }
  void Close(Handle handle) override {
    journal_.push_back("close " + std::to_string(handle));
    if (open_.erase(handle) == 0) journal_.push_back("BAD close");
  }

  std::size_t OpenHandles() const { return open_.size(); }

 private:
  Handle Track() {
    open_.insert(next_);
    return next_++;
  }
  void Use(Handle h) {
    if (open_.count(h) == 0) journal_.push_back("BAD service handle");
  }

  std::vector<std::string>& journal_;
  std::set<Handle> open_;
  Handle next_ = 1;
};

// Makes the clock's sleeps leave only a line in the journal.
inline void JournalSleeps(FakeClock& clock, std::vector<std::string>& journal) {
  clock.onSleep = [&journal](std::uint32_t millis) { journal.push_back("sleep " + std::to_string(millis)); };
}

}  // namespace qv::test
