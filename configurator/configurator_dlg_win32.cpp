#include "configurator/configurator_dlg_win32.h"

#include <commctrl.h>

#include <vector>

#include "common/clock.h"
#include "common/format.h"
#include "common/system.h"
#include "common/unique_handle.h"
#include "configurator/messages.h"
#include "configurator/resource.h"
#include "configurator/service_restart.h"

namespace {

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// A display information context: the DPI the dialog is drawn at.
struct InfoContextTraits {
  using Handle = HDC;
  static HDC Invalid() noexcept { return nullptr; }
  static bool IsValid(HDC dc) noexcept { return dc != nullptr; }
  static void Close(HDC dc) noexcept { ::DeleteDC(dc); }
};

constexpr int kDesignDpi = 96;

int DisplayDpi() {
  const qv::UniqueHandle<InfoContextTraits> display(CreateICW(L"DISPLAY", nullptr, nullptr, nullptr));
  const int dpi = display ? GetDeviceCaps(display.Get(), LOGPIXELSX) : 0;
  return dpi > 0 ? dpi : kDesignDpi;
}

std::wstring WindowText(HWND hwnd) {
  std::vector<wchar_t> buffer(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1);
  const int n = GetWindowTextW(hwnd, buffer.data(), static_cast<int>(buffer.size()));
  return std::wstring(buffer.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
}

}  // namespace

INT_PTR CAboutDlg::DoModal(HWND owner) {
  return DialogBoxParamW(Instance(), MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, DialogProc, 0);
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
      }
      break;
  }
  return FALSE;
}

CConfiguratorDlg::CConfiguratorDlg(qv::ConfiguratorSettings& settings)
    : settings_(settings), icon_(LoadIconW(Instance(), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

INT_PTR CConfiguratorDlg::DoModal() {
  return DialogBoxParamW(Instance(), MAKEINTRESOURCEW(IDD_CONFIGURATOR_DIALOG), nullptr, DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CConfiguratorDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<CConfiguratorDlg*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    self->hwnd_ = hwnd;
  }
  auto* self = reinterpret_cast<CConfiguratorDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  return self ? self->HandleMessage(message, wParam, lParam) : FALSE;
}

INT_PTR CConfiguratorDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_SYSCOMMAND:
      return OnSysCommand(wParam) ? TRUE : FALSE;
    case WM_PAINT:
      return OnPaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
      // One of the messages whose dialog-procedure result is the answer itself.
      return reinterpret_cast<INT_PTR>(icon_);
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) {
        ApplySettings();
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        // 終了, Escape and the close box: nothing is saved.
        EndDialog(hwnd_, IDCANCEL);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

BOOL CConfiguratorDlg::OnInitDialog() {
  serverList_ = GetDlgItem(hwnd_, IDC_SERVER_LIST);
  pingEdit_ = GetDlgItem(hwnd_, IDC_PING_EDIT);
  deviceEdit_ = GetDlgItem(hwnd_, IDC_DEVICE_EDIT);
  intervalEdit_ = GetDlgItem(hwnd_, IDC_INTERVAL_EDIT);
  registerButton_ = GetDlgItem(hwnd_, IDOK);
  mailSelector_ = GetDlgItem(hwnd_, IDC_MAIL_COMBO);

  if (HMENU systemMenu = GetSystemMenu(hwnd_, FALSE)) {
    const wchar_t* text = nullptr;
    const int length = LoadStringW(Instance(), IDS_ABOUTBOX, reinterpret_cast<LPWSTR>(&text), 0);
    if (length > 0) {
      const std::wstring aboutText(text, static_cast<std::size_t>(length));
      AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText.c_str());
    }
  }

  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  qv::LoadDialogSettings(settings_, qv::ExecutableDirectory());

  constexpr DWORD kListStyles = LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
  SendMessageW(serverList_, LVM_SETEXTENDEDLISTVIEWSTYLE, kListStyles, kListStyles);
  // A list that does not show every server as it is must not decide the
  // flags: 登録 then keeps them as they were read.
  serverListShown_ = FillServerList();
  if (!serverListShown_) EnableWindow(serverList_, FALSE);

  SetWindowTextW(intervalEdit_, qv::Format(L"%d", settings_.intervalMinutes).c_str());
  SetWindowTextW(pingEdit_, qv::Format(L"%d", settings_.pingThreshold).c_str());
  SetWindowTextW(deviceEdit_, qv::Format(L"%d", settings_.deviceThreshold).c_str());

  for (const wchar_t* item : qv::msg::kMailItems) {
    SendMessageW(mailSelector_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  }
  // 99 (and anything else outside the list) leaves no item selected.
  SendMessageW(mailSelector_, CB_SETCURSEL, static_cast<WPARAM>(settings_.mailSelection), 0);
  return TRUE;
}

bool CConfiguratorDlg::OnSysCommand(WPARAM command) {
  if ((command & 0xFFF0) != IDM_ABOUTBOX) return false;
  CAboutDlg about;
  about.DoModal(hwnd_);
  return true;
}

bool CConfiguratorDlg::OnPaint() {
  if (!IsIconic(hwnd_)) return false;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd_, &paint);
  SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(hwnd_, &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, icon_);
  EndPaint(hwnd_, &paint);
  return true;
}

bool CConfiguratorDlg::FillServerList() {
  struct Column {
    int width;
    const wchar_t* header;
  };
  // Pixels at 96 DPI. The manifest declares the program DPI-aware, so nothing
  // scales them for us.
  const Column columns[] = {{25, L""}, {150, qv::msg::kColumnName}, {150, qv::msg::kColumnAddress}};
  const int dpi = DisplayDpi();
  for (int i = 0; i < 3; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = MulDiv(columns[i].width, dpi, kDesignDpi);
    column.pszText = const_cast<LPWSTR>(columns[i].header);
    column.iSubItem = i;
    if (SendMessageW(serverList_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column)) == -1) {
      return false;
    }
  }

  auto setText = [this](int row, int subItem, const std::wstring& text) {
    LVITEMW item{};
    item.iSubItem = subItem;
    item.pszText = const_cast<LPWSTR>(text.c_str());
    return SendMessageW(serverList_, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)) != 0;
  };
  for (std::size_t r = 0; r < settings_.servers.size(); ++r) {
    const qv::QuorvanexServerInfo& info = settings_.servers[r];
    const int row = static_cast<int>(r);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<LPWSTR>(L"");
    if (SendMessageW(serverList_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) == -1) return false;
    if (!setText(row, 1, info.display) || !setText(row, 2, info.server)) return false;
    if (info.enabled) {
      LVITEMW state{};
      state.stateMask = LVIS_STATEIMAGEMASK;
      state.state = INDEXTOSTATEIMAGEMASK(2);
      if (!SendMessageW(serverList_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state))) return false;
    }
  }
  return true;
}

void CConfiguratorDlg::ApplySettings() {
  qv::ApplySettings(settings_, *this, qv::SystemServiceManager(), qv::SystemClock());
}

void CConfiguratorDlg::EnableRegister(bool enabled) { EnableWindow(registerButton_, enabled ? TRUE : FALSE); }

void CConfiguratorDlg::ShowBusy(bool busy) {
  if (busy) {
    // The dialog reads no messages until the restart is over, so nothing
    // resets the cursor meanwhile.
    cursorBeforeBusy_ = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    return;
  }
  // A key typed ahead (a second Enter) would otherwise close the result box
  // before anyone has seen it.
  MSG typed;
  while (PeekMessageW(&typed, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  SetCursor(cursorBeforeBusy_ != nullptr ? cursorBeforeBusy_ : LoadCursorW(nullptr, IDC_ARROW));
}

std::wstring CConfiguratorDlg::FieldText(Field field) {
  switch (field) {
    case Field::Interval: return WindowText(intervalEdit_);
    case Field::Ping: return WindowText(pingEdit_);
    case Field::Device: return WindowText(deviceEdit_);
  }
  return {};
}

std::optional<std::uint32_t> CConfiguratorDlg::RowStateImage(std::size_t row) {
  if (!serverListShown_) return std::nullopt;
  const LRESULT rows = SendMessageW(serverList_, LVM_GETITEMCOUNT, 0, 0);
  if (rows < 0 || row >= static_cast<std::size_t>(rows)) return std::nullopt;
  const LRESULT state = SendMessageW(serverList_, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK);
  return static_cast<std::uint32_t>((state & LVIS_STATEIMAGEMASK) >> 12);
}

std::int32_t CConfiguratorDlg::SelectorIndex() {
  return static_cast<std::int32_t>(SendMessageW(mailSelector_, CB_GETCURSEL, 0, 0));
}

void CConfiguratorDlg::ShowResult(std::wstring_view text) {
  MessageBoxW(hwnd_, std::wstring(text).c_str(), qv::msg::kResultTitle, MB_OK);
}
