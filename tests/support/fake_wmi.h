#pragma once
// A WMI that answers from a script and records what it was asked, over all
// the connections made from it.
#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/server_info.h"
#include "monitor/wmi/wmi_connection.h"

namespace qv::test {

struct FakeWmi {
  // Answers.
  bool connects = true;
  std::deque<bool> connectResults;  // one per Connect, before `connects`
  std::deque<std::pair<bool, std::wstring>> statuses;  // one per query, before `laterStatus`
  std::pair<bool, std::wstring> laterStatus{true, L"OK"};
  std::vector<DeviceIdAndStatus> devices;  // what QueryAllDevices lists
  bool createRuns = true;                 // Win32_Process.Create gives a return value
  std::wstring createReturnValue = L"0";  // and this is it
  // Starts the program for real instead, when set.
  std::function<bool(const std::wstring&, const std::wstring&, std::wstring&)> startProcess;

  // What was asked.
  int created = 0;
  std::vector<std::wstring> calls;  // "Connect", "QueryDeviceStatus", "StartProcess", "Release"
  QuorvanexServerInfo connectedTo;  // at the last Connect
  std::wstring lastPattern;
  std::vector<std::wstring> startedCommands;
  std::vector<std::wstring> startDirectories;

  int Count(std::wstring_view call) const { return static_cast<int>(std::count(calls.begin(), calls.end(), call)); }
  // New connections on this WMI, as CheckerPorts makes them.
  std::function<std::unique_ptr<WmiConnection>()> Connections();
};

class FakeWmiConnection final : public WmiConnection {
 public:
  explicit FakeWmiConnection(FakeWmi& wmi) : wmi_(wmi) { ++wmi_.created; }
  bool Connect(QuorvanexServerInfo info) override {
    wmi_.calls.push_back(L"Connect");
    wmi_.connectedTo = std::move(info);
    return Next(wmi_.connectResults, wmi_.connects);
  }
  bool QueryDeviceStatus(const std::wstring& pattern, std::wstring& status) override {
    wmi_.calls.push_back(L"QueryDeviceStatus");
    wmi_.lastPattern = pattern;
    const auto [found, value] = Next(wmi_.statuses, wmi_.laterStatus);
    if (found) status = value;
    return found;
  }
  bool QueryAllDevices(std::vector<DeviceIdAndStatus>& devices) override {
    wmi_.calls.push_back(L"QueryAllDevices");
    devices = wmi_.devices;
    return true;
  }
  bool StartProcess(const std::wstring& commandLine, const std::wstring& currentDirectory,
                    std::wstring& returnValue) override {
    wmi_.calls.push_back(L"StartProcess");
    wmi_.startedCommands.push_back(commandLine);
    wmi_.startDirectories.push_back(currentDirectory);
    if (wmi_.startProcess) return wmi_.startProcess(commandLine, currentDirectory, returnValue);
    if (wmi_.createRuns) returnValue = wmi_.createReturnValue;
    return wmi_.createRuns;
  }
  void Release() override { wmi_.calls.push_back(L"Release"); }

 private:
  template <class T>
  static T Next(std::deque<T>& scripted, const T& otherwise) {
    if (scripted.empty()) return otherwise;
    T value = std::move(scripted.front());
    scripted.pop_front();
    return value;
  }

  FakeWmi& wmi_;
};

inline std::function<std::unique_ptr<WmiConnection>()> FakeWmi::Connections() {
  return [this] { return std::make_unique<FakeWmiConnection>(*this); };
}

}  // namespace qv::test
