#pragma once
// The main dialog (template 102) and the About box (template 100), modal
// dialogs over plain Win32.
#include <windows.h>

#include <string>

#include "configurator/apply_settings.h"
#include "configurator/configurator_settings.h"

class CAboutDlg {
 public:
  INT_PTR DoModal(HWND owner);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

class CConfiguratorDlg : private qv::SettingsView {
 public:
  explicit CConfiguratorDlg(qv::ConfiguratorSettings& settings);
  INT_PTR DoModal();

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  BOOL OnInitDialog();
  bool OnSysCommand(WPARAM command);
  bool OnPaint();
  void ApplySettings();
  // False when a column, a row or a check box could not be made.
  bool FillServerList();

  // qv::SettingsView
  void EnableRegister(bool enabled) override;
  void ShowBusy(bool busy) override;
  std::wstring FieldText(Field field) override;
  std::optional<std::uint32_t> RowStateImage(std::size_t row) override;
  std::int32_t SelectorIndex() override;
  void ShowResult(std::wstring_view text) override;

  qv::ConfiguratorSettings& settings_;
  HICON icon_;  // shared resource icon: never destroyed
  HWND hwnd_ = nullptr;
  HWND serverList_ = nullptr;
  HWND pingEdit_ = nullptr;
  HWND deviceEdit_ = nullptr;
  HWND intervalEdit_ = nullptr;
  HWND registerButton_ = nullptr;
  HWND mailSelector_ = nullptr;
  bool serverListShown_ = false;
  HCURSOR cursorBeforeBusy_ = nullptr;  // shared system cursor: never destroyed
};
