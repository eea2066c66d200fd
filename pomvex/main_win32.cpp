#include <windows.h>

#include "common/entry.h"
#include "common/system.h"
#include "common/unique_handle.h"
#include "pomvex/pomvex.h"

namespace {

struct HookTraits {
  using Handle = HHOOK;
  static HHOOK Invalid() noexcept { return nullptr; }
  static bool IsValid(HHOOK hook) noexcept { return hook != nullptr; }
  static void Close(HHOOK hook) noexcept { UnhookWindowsHookEx(hook); }
};
using UniqueHook = qv::UniqueHandle<HookTraits>;

// Wine ignores MB_TOPMOST on an application-modal box; pin the box above
// other windows ourselves when it is first activated. On Windows this
// repeats what MB_TOPMOST already did.
LRESULT CALLBACK PinBoxOnTop(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND window = reinterpret_cast<HWND>(wParam);
    wchar_t cls[16] = {};
    if (GetClassNameW(window, cls, 16) > 0 && lstrcmpW(cls, L"#32770") == 0) {
      SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool ShowWarningBox(const qv::pomvex::BoxRequest& box) {
  const UniqueHook pin(SetWindowsHookExW(WH_CBT, PinBoxOnTop, nullptr, GetCurrentThreadId()));
  // Which button closed the box does not matter. Windows returns 0 when the
  // box never appeared, Wine the -1 of its failed dialog.
  return MessageBoxW(nullptr, box.text.c_str(), box.caption.c_str(),
                     MB_OK | MB_ICONWARNING | MB_TOPMOST) > 0;
}

}  // namespace

int ProgramMain(const std::vector<std::wstring>& args) {
  return qv::pomvex::RunProgram(args, {qv::InitializePlatform, ShowWarningBox, qv::ConsoleWrite});
}
