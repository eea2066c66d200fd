// Test-only helper for the end-to-end scripts: reads the Configurator's
// dialog from outside the process (list rows, check boxes, edits, selector,
// message boxes) and prints what it finds as UTF-8 lines.
//   dlgprobe dump                 rows, fields and selector of the main dialog
//   dlgprobe point ID|row:N       screen point to click: a control's centre, a row's check box
//   dlgprobe message [ms]         waits for a message box owned by the dialog
//   dlgprobe about [ms]           waits for the About box
//   dlgprobe syscommand N         posts WM_SYSCOMMAND N to the dialog
//   dlgprobe minimize|restore     minimises / restores the dialog
//   dlgprobe widths               the server list's column widths and the display DPI
//   dlgprobe textfit TEXT         width the label TEXT needs in the dialog font, and has
// Exit code 0 when found, 1 when not.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/handles_win32.h"
#include "common/text_util.h"

namespace {

const wchar_t kMainCaption[] = L"Quorvanexデバイスサーバ監視";
const wchar_t kAboutCaption[] = L"Configurator について";

void Print(const std::wstring& line) {
  std::string utf8 = qv::WideToUtf8(line);
  utf8.push_back('\n');
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

std::wstring Escaped(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\n') out += L"\\n";
    else if (c == L'\r') out += L"\\r";
    else out.push_back(c);
  }
  return out;
}

std::wstring TextOf(HWND hwnd) {
  wchar_t buffer[1024] = {};
  SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000,
                      nullptr);
  return buffer;
}

HWND WaitForTopLevel(const wchar_t* caption, DWORD ms) {
  for (DWORD waited = 0;; waited += 50) {
    HWND hwnd = FindWindowW(L"#32770", caption);
    if (hwnd && IsWindowVisible(hwnd)) return hwnd;
    if (waited >= ms) return nullptr;
    Sleep(50);
  }
}

// Memory in the dialog's process for list-view messages, which are not
// marshalled between processes.
class RemoteBuffer {
 public:
  RemoteBuffer(HWND window, std::size_t size) : size_(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_.Reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    if (process_) address_ = VirtualAllocEx(process_.Get(), nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (address_) VirtualFreeEx(process_.Get(), address_, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
  bool Ok() const { return address_ != nullptr; }
  char* Address() const { return static_cast<char*>(address_); }
  bool Write(std::size_t offset, const void* data, std::size_t n) {
    return WriteProcessMemory(process_.Get(), Address() + offset, data, n, nullptr) != 0;
  }
  bool Read(std::size_t offset, void* data, std::size_t n) {
    return ReadProcessMemory(process_.Get(), Address() + offset, data, n, nullptr) != 0;
  }

 private:
  qv::UniqueKernelHandle process_;
  void* address_ = nullptr;
  std::size_t size_;
};

std::wstring ItemText(HWND list, int row, int subItem) {
  RemoteBuffer remote(list, sizeof(LVITEMW) + 1024 * sizeof(wchar_t));
  if (!remote.Ok()) return L"<no access>";
  LVITEMW item{};
  item.iSubItem = subItem;
  item.pszText = reinterpret_cast<LPWSTR>(remote.Address() + sizeof(LVITEMW));
  item.cchTextMax = 1024;
  remote.Write(0, &item, sizeof(item));
  SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote.Address()));
  wchar_t text[1024] = {};
  remote.Read(sizeof(LVITEMW), text, sizeof(text) - sizeof(wchar_t));
  return text;
}

std::wstring ColumnHeader(HWND list, int column) {
  RemoteBuffer remote(list, sizeof(LVCOLUMNW) + 256 * sizeof(wchar_t));
  if (!remote.Ok()) return L"<no access>";
  LVCOLUMNW col{};
  col.mask = LVCF_TEXT | LVCF_WIDTH;
  col.pszText = reinterpret_cast<LPWSTR>(remote.Address() + sizeof(LVCOLUMNW));
  col.cchTextMax = 256;
  remote.Write(0, &col, sizeof(col));
  if (!SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(remote.Address()))) {
    return L"<none>";
  }
  wchar_t text[256] = {};
  remote.Read(sizeof(LVCOLUMNW), text, sizeof(text) - sizeof(wchar_t));
  return text;
}

int Dump(HWND dialog) {
  HWND list = GetDlgItem(dialog, 1001);
  const auto rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  const auto style = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  Print(L"liststyle=" + std::to_wstring(style & 0x25));
  for (int c = 0; c < 3; ++c) Print(L"column" + std::to_wstring(c) + L"=" + ColumnHeader(list, c));
  Print(L"rows=" + std::to_wstring(rows));
  for (int r = 0; r < rows; ++r) {
    const auto state = static_cast<UINT>(SendMessageW(list, LVM_GETITEMSTATE, r, LVIS_STATEIMAGEMASK));
    Print(L"row" + std::to_wstring(r) + L"=" + std::to_wstring(state >> 12) + L"|" +
          ItemText(list, r, 1) + L"|" + ItemText(list, r, 2));
  }
  Print(L"ping=" + TextOf(GetDlgItem(dialog, 1003)));
  Print(L"device=" + TextOf(GetDlgItem(dialog, 1005)));
  Print(L"interval=" + TextOf(GetDlgItem(dialog, 1004)));
  HWND combo = GetDlgItem(dialog, 1009);
  Print(L"selector=" + std::to_wstring(static_cast<long long>(SendMessageW(combo, CB_GETCURSEL, 0, 0))) +
        L"/" + std::to_wstring(static_cast<long long>(SendMessageW(combo, CB_GETCOUNT, 0, 0))) +
        (IsWindowVisible(combo) ? L" visible" : L" hidden"));
  Print(std::wstring(L"register=") + (IsWindowEnabled(GetDlgItem(dialog, IDOK)) ? L"enabled" : L"disabled"));
  return 0;
}

void PrintPoint(POINT p) { Print(std::to_wstring(p.x) + L" " + std::to_wstring(p.y)); }

int Point(HWND dialog, const std::wstring& what) {
  if (what.rfind(L"row:", 0) == 0) {
    HWND list = GetDlgItem(dialog, 1001);
    RemoteBuffer remote(list, sizeof(RECT));
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    remote.Write(0, &rect, sizeof(rect));
    if (!SendMessageW(list, LVM_GETITEMRECT, qv::Wtoi(what.substr(4)),
                      reinterpret_cast<LPARAM>(remote.Address()))) {
      return 1;
    }
    remote.Read(0, &rect, sizeof(rect));
    POINT p{rect.left + 9, (rect.top + rect.bottom) / 2};
    ClientToScreen(list, &p);
    PrintPoint(p);
    return 0;
  }
  HWND control = GetDlgItem(dialog, qv::Wtoi(what));
  RECT rect{};
  if (!control || !GetWindowRect(control, &rect)) return 1;
  PrintPoint(POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
  return 0;
}

struct OwnedSearch {
  HWND owner;
  HWND found;
};

int Message(HWND dialog, DWORD ms) {
  for (DWORD waited = 0;; waited += 50) {
    OwnedSearch search{dialog, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lParam) -> BOOL {
          auto* s = reinterpret_cast<OwnedSearch*>(lParam);
          wchar_t cls[64] = {};
          GetClassNameW(hwnd, cls, 64);
          if (hwnd != s->owner && GetWindow(hwnd, GW_OWNER) == s->owner && IsWindowVisible(hwnd) &&
              std::wstring(cls) == L"#32770" && GetDlgItem(hwnd, 0xFFFF)) {
            s->found = hwnd;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found) {
      Print(L"title=[" + TextOf(search.found) + L"]");
      Print(L"text=[" + Escaped(TextOf(GetDlgItem(search.found, 0xFFFF))) + L"]");
      std::wstring buttons;
      for (int id : {IDOK, IDCANCEL, IDYES, IDNO, IDABORT, IDRETRY, IDIGNORE}) {
        if (GetDlgItem(search.found, id)) buttons += std::to_wstring(id) + L" ";
      }
      Print(L"buttons=" + buttons);
      return 0;
    }
    if (waited >= ms) return 1;
    Sleep(50);
  }
}

// A display information context, for the DPI and for measuring text.
struct InfoContextTraits {
  using Handle = HDC;
  static HDC Invalid() noexcept { return nullptr; }
  static bool IsValid(HDC dc) noexcept { return dc != nullptr; }
  static void Close(HDC dc) noexcept { ::DeleteDC(dc); }
};
using UniqueInfoContext = qv::UniqueHandle<InfoContextTraits>;

struct FontTraits {
  using Handle = HFONT;
  static HFONT Invalid() noexcept { return nullptr; }
  static bool IsValid(HFONT font) noexcept { return font != nullptr; }
  static void Close(HFONT font) noexcept { ::DeleteObject(font); }
};

int Widths(HWND dialog) {
  HWND list = GetDlgItem(dialog, 1001);
  const UniqueInfoContext display(CreateICW(L"DISPLAY", nullptr, nullptr, nullptr));
  Print(L"dpi=" + std::to_wstring(GetDeviceCaps(display.Get(), LOGPIXELSX)));
  for (int c = 0; c < 3; ++c) {
    Print(L"width" + std::to_wstring(c) + L"=" +
          std::to_wstring(static_cast<long long>(SendMessageW(list, LVM_GETCOLUMNWIDTH, c, 0))));
  }
  return 0;
}

struct TextSearch {
  const std::wstring* text;
  HWND found;
};

// The dialog's font is 9 points of "MS UI Gothic"; font handles do not cross
// processes, so the same font is made here, through the same substitutes.
int TextFit(HWND dialog, const std::wstring& text) {
  TextSearch search{&text, nullptr};
  EnumChildWindows(
      dialog,
      [](HWND hwnd, LPARAM lParam) -> BOOL {
        auto* s = reinterpret_cast<TextSearch*>(lParam);
        if (TextOf(hwnd) != *s->text) return TRUE;
        s->found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  if (!search.found) return 1;
  const UniqueInfoContext display(CreateICW(L"DISPLAY", nullptr, nullptr, nullptr));
  LOGFONTW font{};
  font.lfHeight = -MulDiv(9, GetDeviceCaps(display.Get(), LOGPIXELSY), 72);
  font.lfCharSet = DEFAULT_CHARSET;
  wcscpy_s(font.lfFaceName, L"MS UI Gothic");
  const qv::UniqueHandle<FontTraits> handle(CreateFontIndirectW(&font));
  const HGDIOBJ old = SelectObject(display.Get(), handle.Get());
  SIZE needed{};
  GetTextExtentPoint32W(display.Get(), text.c_str(), static_cast<int>(text.size()), &needed);
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(display.Get(), LF_FACESIZE, face);
  SelectObject(display.Get(), old);
  RECT client{};
  GetClientRect(search.found, &client);
  Print(L"face=" + std::wstring(face));
  Print(L"needed=" + std::to_wstring(needed.cx));
  Print(L"width=" + std::to_wstring(client.right - client.left));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  const DWORD wait = argc > 2 ? static_cast<DWORD>(qv::Wtoi(argv[2])) : 0;
  if (command == L"about") {
    HWND about = WaitForTopLevel(kAboutCaption, wait);
    if (!about) return 1;
    Print(L"about=" + TextOf(about));
    return 0;
  }
  HWND dialog = WaitForTopLevel(kMainCaption, command == L"dump" ? wait : 0);
  if (!dialog) return 1;
  if (command == L"dump") return Dump(dialog);
  if (command == L"point" && argc > 2) return Point(dialog, argv[2]);
  if (command == L"message") return Message(dialog, wait);
  if (command == L"syscommand" && argc > 2) {
    return PostMessageW(dialog, WM_SYSCOMMAND, static_cast<WPARAM>(qv::Wtoi(argv[2])), 0) ? 0 : 1;
  }
  if (command == L"widths") return Widths(dialog);
  if (command == L"textfit" && argc > 2) return TextFit(dialog, argv[2]);
  if (command == L"minimize") {
    ShowWindow(dialog, SW_MINIMIZE);
    Print(std::wstring(L"iconic=") + (IsIconic(dialog) ? L"1" : L"0"));
    return 0;
  }
  if (command == L"restore") {
    ShowWindow(dialog, SW_RESTORE);
    Print(std::wstring(L"iconic=") + (IsIconic(dialog) ? L"1" : L"0"));
    return 0;
  }
  return 2;
}
