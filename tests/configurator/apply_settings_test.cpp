#include "configurator/apply_settings.h"

#include <gtest/gtest.h>

#include <map>

#include "common/files.h"
#include "common/profile.h"
#include "common/text_util.h"
#include "configurator/messages.h"
#include "tests/configurator/fake_service_manager.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

using Journal = std::vector<std::string>;

class FakeView : public SettingsView {
 public:
  explicit FakeView(Journal& journal) : journal_(journal) {}
  std::map<Field, std::wstring> fields;
  std::vector<std::uint32_t> stateImages;
  std::int32_t selector = -1;
  std::vector<std::wstring> shown;

  void EnableRegister(bool enabled) override {
    journal_.push_back(enabled ? "enable" : "disable");
  }
  void ShowBusy(bool busy) override { journal_.push_back(busy ? "busy" : "idle"); }
  std::wstring FieldText(Field field) override { return fields[field]; }
  std::optional<std::uint32_t> RowStateImage(std::size_t row) override {
    if (row >= stateImages.size()) return std::nullopt;
    return stateImages[row];
  }
  std::int32_t SelectorIndex() override { return selector; }
  void ShowResult(std::wstring_view text) override {
    journal_.push_back("message");
    shown.emplace_back(text);
  }

 private:
  Journal& journal_;
};

class ApplySettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteBytes(dir.File(L"quorvanex.ini"),
                     "[Config]\r\nCount=3\r\n"
                     "[Quorvanex_1]\r\nServer=127.0.0.1\r\nDisplay=one\r\n"
                     "[Quorvanex_2]\r\nServer=127.0.0.2\r\nEnabled=0\r\n"
                     "[Quorvanex_3]\r\nServer=127.0.0.3\r\n");
    LoadDialogSettings(settings, dir.Path());
    view.fields = {{SettingsView::Field::Interval, L"7"},
                   {SettingsView::Field::Ping, L"8"},
                   {SettingsView::Field::Device, L"9"}};
    view.stateImages = {2, 2, 2};
    test::JournalSleeps(sleeper, journal);
  }
  std::wstring Value(const wchar_t* file, const wchar_t* section, const wchar_t* key) {
    return ProfileReader(dir.File(file)).GetString(section, key, L"<missing>");
  }
  void Apply() { ApplySettings(settings, view, scm, sleeper); }

  test::TempDir dir;
  ConfiguratorSettings settings;
  Journal journal;
  FakeView view{journal};
  test::FakeServiceManager scm{journal};
  test::FakeClock sleeper;
};

TEST_F(ApplySettingsTest, SavesBeforeTheRestartAndReportsSuccessWithTheButtonOffMeanwhile) {
  scm.states = {kServiceRunning, kServiceStopped, kServiceRunning};
  std::wstring intervalWhenRestarting;
  scm.onOpenManager = [&] { intervalWhenRestarting = Value(L"config.ini", L"Config", L"Interval"); };
  Apply();
  EXPECT_EQ(intervalWhenRestarting, L"7");
  ASSERT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(view.shown[0], msg::kApplySucceeded);
  ASSERT_GE(journal.size(), 5u);
  EXPECT_EQ(journal[0], "disable");
  EXPECT_EQ(journal[1], "busy");
  // Typed-ahead keys are dropped before the box comes up, not after.
  EXPECT_EQ(journal[journal.size() - 3], "idle");
  EXPECT_EQ(journal[journal.size() - 2], "message");
  EXPECT_EQ(journal.back(), "enable");
  EXPECT_EQ(Value(L"config.ini", L"Threshold", L"Ping"), L"8");
  EXPECT_EQ(Value(L"config.ini", L"Threshold", L"DeviceManager"), L"9");
}

TEST_F(ApplySettingsTest, FailedRestartReportsFailureAndKeepsTheNewValues) {
  scm.serviceInstalled = false;
  view.stateImages = {1, 2, 2};
  Apply();
  ASSERT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(view.shown[0], L"設定の反映に失敗しました。\n再度実行してください。");
  EXPECT_EQ(journal.back(), "enable");
  EXPECT_EQ(Value(L"config.ini", L"Config", L"Interval"), L"7");
  EXPECT_EQ(Value(L"quorvanex.ini", L"Quorvanex_1", L"Enabled"), L"0");
  EXPECT_EQ(Value(L"quorvanex.ini", L"Quorvanex_2", L"Enabled"), L"1");
}

TEST_F(ApplySettingsTest, FailedSaveReportsFailureAndLeavesTheServiceAlone) {
  // quorvanex.ini cannot be replaced: a directory stands in its place.
  const std::wstring quorvanex = dir.File(L"quorvanex.ini");
  RemoveFile(quorvanex);
  MakeDirectory(quorvanex);
  scm.states = {kServiceRunning, kServiceStopped, kServiceRunning};
  Apply();
  ASSERT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(view.shown[0], msg::kApplyFailed);
  EXPECT_EQ(journal, (Journal{"disable", "busy", "idle", "message", "enable"}));
  // What could be written was written.
  EXPECT_EQ(Value(L"config.ini", L"Config", L"Interval"), L"7");
}

TEST_F(ApplySettingsTest, OnlyAnUncheckedBoxSwitchesAServerOff) {
  view.stateImages = {0 /*no box*/, 1 /*unchecked*/, 3 /*anything else*/};
  Apply();
  ASSERT_EQ(settings.servers.size(), 3u);
  EXPECT_TRUE(settings.servers[0].enabled);
  EXPECT_FALSE(settings.servers[1].enabled);
  EXPECT_TRUE(settings.servers[2].enabled);
  EXPECT_EQ(settings.servers[0].display, L"one");  // nothing else of a record changes
}

TEST_F(ApplySettingsTest, ServerWithoutARowKeepsItsFlag) {
  // The list stopped filling after the first row.
  view.stateImages = {1};
  Apply();
  EXPECT_FALSE(settings.servers[0].enabled);
  EXPECT_FALSE(settings.servers[1].enabled);  // disabled in the file, not switched on
  EXPECT_TRUE(settings.servers[2].enabled);
  EXPECT_EQ(Value(L"quorvanex.ini", L"Quorvanex_2", L"Enabled"), L"0");
}

TEST_F(ApplySettingsTest, FieldsAreReadLikeWtoi) {
  view.fields = {{SettingsView::Field::Interval, L""},
                 {SettingsView::Field::Ping, L"99999999999"},
                 {SettingsView::Field::Device, L"12abc"}};
  view.selector = -1;
  Apply();
  EXPECT_EQ(settings.intervalMinutes, 0);
  EXPECT_EQ(settings.pingThreshold, 2147483647);
  EXPECT_EQ(settings.deviceThreshold, 12);
  EXPECT_EQ(settings.mailSelection, -1);
  EXPECT_EQ(Value(L"config.ini", L"Config", L"Interval"), L"0");
  EXPECT_EQ(Value(L"config.ini", L"Threshold", L"Ping"), L"2147483647");
  // The selector is never stored.
  EXPECT_EQ(test::ReadBytes(dir.File(L"mail.ini")), "");
}

}  // namespace
}  // namespace qv
